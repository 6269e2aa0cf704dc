/* blink: lists the attached modules and blinks output 3 of one of them.
 *
 *   blink [--emulate] [PRODUCT_ID]
 *
 * PRODUCT_ID (hexadecimal, e.g. 280) picks the module; without it the first
 * module in setting mode is used, else the first one listed. --emulate runs
 * against the library's emulated modules instead of the attached ones.
 * Build: cc blink.c $(pkg-config --cflags --libs zelio)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zelio.h>

#define MAX_MODULES 16

static int report(zelio_context* ctx, const char* what, int rc) {
    fprintf(stderr, "blink: %s: %s (%s)\n", what, zelio_strerror(rc), zelio_last_error(ctx));
    return rc;
}

int main(int argc, char** argv) {
    int emulate = 0;
    unsigned long wanted = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--emulate") == 0) {
            emulate = 1;
        } else {
            char* end = NULL;
            wanted = strtoul(argv[i], &end, 16);
            if (*end != '\0' || wanted == 0 || wanted > 0xFFFF) {
                fprintf(stderr, "usage: blink [--emulate] [PRODUCT_ID]\n");
                return ZELIO_ERR_USAGE;
            }
        }
    }

    zelio_context* ctx = NULL;
    int rc = emulate ? zelio_open_emulated(&ctx) : zelio_open(&ctx);
    if (rc != ZELIO_OK) {
        fprintf(stderr, "blink: cannot open the library: %s\n", zelio_strerror(rc));
        return rc;
    }

    zelio_module_info modules[MAX_MODULES];
    size_t count = 0;
    rc = zelio_list(ctx, modules, MAX_MODULES, &count);
    if (rc != ZELIO_OK) {
        report(ctx, "list", rc);
        zelio_close(ctx);
        return rc;
    }
    if (count > MAX_MODULES) count = MAX_MODULES;
    for (size_t i = 0; i < count; ++i) {
        printf("0x%03x %s %s %s\n", (unsigned)modules[i].product_id, modules[i].model,
               modules[i].mode == ZELIO_MODE_SETTING ? "setting" : "io", modules[i].path);
        if (wanted == 0 && modules[i].mode == ZELIO_MODE_SETTING) wanted = modules[i].product_id;
    }
    if (wanted == 0 && count > 0) wanted = modules[0].product_id;
    if (wanted == 0) {
        fprintf(stderr, "blink: no module is attached\n");
        zelio_close(ctx);
        return ZELIO_ERR_NO_MODULE;
    }

    /* 0.5 s high, 0.5 s low: the blink byte 0x55. */
    rc = zelio_blink(ctx, (uint16_t)wanted, 3, 5, 5);
    if (rc == ZELIO_OK)
        printf("blinking channel 3 of 0x%03lx\n", wanted);
    else
        report(ctx, "blink", rc);
    zelio_close(ctx);
    return rc;
}
