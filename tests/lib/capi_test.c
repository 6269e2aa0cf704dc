/* The C interface as a C program sees it: compiled as C, only zelio.h, linked
 * against the shared library, run on the emulated modules. */
#include <stdio.h>
#include <string.h>

#include "zelio.h"

static int failures = 0;

#define CHECK(cond)                                                             \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                         \
        }                                                                       \
    } while (0)

/* The call returns `expected` and leaves a reason exactly when it failed. */
#define EXPECT_RC(ctx, expected, call)                                                      \
    do {                                                                                    \
        int rc_ = (call);                                                                   \
        const char* why_ = zelio_last_error(ctx);                                           \
        if (rc_ != (expected) || (rc_ == ZELIO_OK) != (why_[0] == '\0')) {                  \
            fprintf(stderr, "%s:%d: %s returned %d (%s), expected %d\n", __FILE__, __LINE__, \
                    #call, rc_, why_, (int)(expected));                                     \
            ++failures;                                                                     \
        }                                                                                   \
    } while (0)

/* The entry with `product_id` in a fresh list, or NULL. */
static const zelio_module_info* find(zelio_context* ctx, uint16_t product_id, size_t* count) {
    static zelio_module_info list[8];
    *count = 0;
    if (zelio_list(ctx, list, 8, count) != ZELIO_OK) return NULL;
    for (size_t i = 0; i < *count && i < 8; ++i)
        if (list[i].product_id == product_id) return &list[i];
    return NULL;
}

static void error_texts(void) {
    /* Every code has a text of its own. */
    for (int a = ZELIO_OK; a <= ZELIO_ERR_BUSY; ++a) {
        CHECK(zelio_strerror(a)[0] != '\0');
        for (int b = a + 1; b <= ZELIO_ERR_BUSY + 1; ++b) CHECK(strcmp(zelio_strerror(a), zelio_strerror(b)) != 0);
    }
    CHECK(zelio_last_error(NULL)[0] != '\0');
    CHECK(zelio_open(NULL) == ZELIO_ERR_USAGE);
    CHECK(zelio_firmware_version(NULL, 0x280, NULL) == ZELIO_ERR_USAGE);
    zelio_close(NULL);
}

/* Each row of tests/support/selections.tsv on a fresh pair of emulated
 * modules, which their firmware versions tell apart. */
static void selections(FILE* in) {
    char line[512], by[8] = "", value[256] = "", expect[16] = "";
    int rows = 0;
    while (in != NULL && fgets(line, sizeof line, in) != NULL) {
        if (line[0] == '#') continue;
        if (sscanf(line, "%7[^\t]\t%255[^\t]\t%15s", by, value, expect) != 3)
            value[0] = '\0', sscanf(line, "%7[^\t]\t\t%15s", by, expect); /* an empty value */
        const int want = !strcmp(expect, "usage") ? ZELIO_ERR_USAGE : !strcmp(expect, "no-module") ? ZELIO_ERR_NO_MODULE
                       : !strcmp(expect, "ambiguous") ? ZELIO_ERR_AMBIGUOUS : ZELIO_OK;
        zelio_context* ctx = NULL;
        uint8_t version = 0;
        CHECK(zelio_open_emulated(&ctx) == ZELIO_OK);
        const int rc = (by[1] == 'a' ? zelio_select_path : by[1] == 'o' ? zelio_select_port : zelio_select_serial)(ctx, value);
        if (rc == ZELIO_OK) zelio_firmware_version(ctx, 0, &version);
        if (rc != want || version != (want ? 0 : strcmp(expect, "0x280") ? 0x10 : 0x12))
            fprintf(stderr, "%s '%s': %d (%s), expected %s\n", by, value, rc, zelio_last_error(ctx), expect), ++failures;
        zelio_close(ctx);
        ++rows;
    }
    CHECK(rows > 10);
}

static void real_context(void) {
    zelio_context* ctx = NULL;
    CHECK(zelio_open(&ctx) == ZELIO_OK && ctx != NULL);
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_emulate(ctx, 0x280, ZELIO_EMULATE_SILENT));
    zelio_close(ctx);
}

int main(int argc, char** argv) {
    error_texts();
    real_context();
    selections(argc == 2 ? fopen(argv[1], "r") : NULL);

    zelio_context* ctx = NULL;
    CHECK(zelio_open_emulated(&ctx) == ZELIO_OK && ctx != NULL);
    if (ctx == NULL) return 1;

    /* The two modules of zelioctl --emulate. */
    size_t count = 99;
    EXPECT_RC(ctx, ZELIO_OK, zelio_list(ctx, NULL, 0, &count));
    CHECK(count == 2);
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_list(ctx, NULL, 2, &count));
    zelio_module_info list[2];
    EXPECT_RC(ctx, ZELIO_OK, zelio_list(ctx, list, 2, &count));
    CHECK(list[0].product_id == 0x280 && strcmp(list[0].model, "ZEL280") == 0 && list[0].mode == ZELIO_MODE_SETTING);
    CHECK(list[1].product_id == 0x261 && strcmp(list[1].model, "ZEL260") == 0 && list[1].mode == ZELIO_MODE_IO);
    CHECK(list[0].path[0] != '\0' && strcmp(list[0].path, list[1].path) != 0);
    char path280[ZELIO_PATH_MAX], path260[ZELIO_PATH_MAX];
    strcpy(path280, list[0].path);
    strcpy(path260, list[1].path);

    uint8_t version = 0;
    EXPECT_RC(ctx, ZELIO_OK, zelio_firmware_version(ctx, 0x280, &version));
    CHECK(version == 0x12);
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_firmware_version(ctx, 0x280, NULL));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_firmware_version(ctx, 0x123, &version));
    EXPECT_RC(ctx, ZELIO_ERR_NO_MODULE, zelio_firmware_version(ctx, 0x285, &version));
    /* Product ID 0 before anything is selected. */
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_firmware_version(ctx, 0, &version));

    /* Configuration through the selected module. */
    EXPECT_RC(ctx, ZELIO_ERR_NO_MODULE, zelio_select(ctx, 0x285));
    EXPECT_RC(ctx, ZELIO_OK, zelio_select(ctx, 0x280));
    zelio_config config = {0, 0xEE, 0xEE, 0xEE};
    EXPECT_RC(ctx, ZELIO_OK, zelio_read_config(ctx, 0, &config));
    CHECK(config.product_id == 0x281 && config.open_drain_mask == 0 && config.high_mask == 0 && config.input_mask == 0);
    const zelio_config wanted = {0x283, 0x40, 0x81, 0x01};
    EXPECT_RC(ctx, ZELIO_OK, zelio_write_config(ctx, 0, &wanted, ZELIO_WRITE_VERIFY));
    EXPECT_RC(ctx, ZELIO_OK, zelio_read_config(ctx, 0x280, &config));
    CHECK(config.product_id == 0x283 && config.open_drain_mask == 0x40 && config.high_mask == 0x81 &&
          config.input_mask == 0x01);
    const zelio_config other_family = {0x263, 0, 0, 0};
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_write_config(ctx, 0, &other_family, 0));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_write_config(ctx, 0, &wanted, 0x80));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_read_config(ctx, 0, NULL));

    /* Output tests. */
    EXPECT_RC(ctx, ZELIO_OK, zelio_output(ctx, 0x280, 3, 1));
    EXPECT_RC(ctx, ZELIO_OK, zelio_output(ctx, 0, 8, 0));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_output(ctx, 0x280, 9, 1));
    EXPECT_RC(ctx, ZELIO_OK, zelio_blink(ctx, 0x280, 3, 5, 5));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_blink(ctx, 0x280, 0, 5, 5));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_blink(ctx, 0x280, 3, 16, 5));

    /* Reset: the ZEL280 comes back under the ID just written (its serial number still chooses it). */
    EXPECT_RC(ctx, ZELIO_OK, zelio_select_serial(ctx, "EMU0001"));
    EXPECT_RC(ctx, ZELIO_OK, zelio_reset(ctx, 0));
    const zelio_module_info* m = find(ctx, 0x283, &count);
    CHECK(m != NULL && m->mode == ZELIO_MODE_IO && count == 2);
    EXPECT_RC(ctx, ZELIO_OK, zelio_firmware_version(ctx, 0, &version));

    /* ID change: the ZEL260 at 0x261 comes back as 0x260. */
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_change_id_to_260(ctx, 0x283));
    EXPECT_RC(ctx, ZELIO_OK, zelio_change_id_to_260(ctx, 0x261));
    m = find(ctx, 0x260, &count);
    CHECK(m != NULL && m->mode == ZELIO_MODE_SETTING && strcmp(m->path, path260) == 0);

    /* Selection by path. */
    EXPECT_RC(ctx, 3 * ZELIO_ERR_USAGE, zelio_select_path(ctx, NULL) + zelio_select_serial(ctx, NULL) + zelio_select_port(ctx, NULL));

    /* Two modules at 0x260 with one serial number: their paths and ports tell them apart. */
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0x260, ZELIO_EMULATE_TWIN));
    EXPECT_RC(ctx, ZELIO_ERR_AMBIGUOUS, zelio_select(ctx, 0x260));
    EXPECT_RC(ctx, ZELIO_ERR_AMBIGUOUS, zelio_select_serial(ctx, "EMU0002"));
    EXPECT_RC(ctx, ZELIO_OK, zelio_select_port(ctx, "1-1.3") | zelio_select_path(ctx, path260));
    EXPECT_RC(ctx, ZELIO_ERR_AMBIGUOUS, zelio_reset(ctx, 0x260));
    EXPECT_RC(ctx, ZELIO_OK, zelio_read_config(ctx, 0, &config));

    /* A module that replies with the wrong bytes fails verification. */
    const zelio_config for260 = {0x262, 0x01, 0x02, 0x04};
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0, ZELIO_EMULATE_GARBLED));
    EXPECT_RC(ctx, ZELIO_OK, zelio_write_config(ctx, 0, &for260, 0));
    EXPECT_RC(ctx, ZELIO_ERR_VERIFY, zelio_write_config(ctx, 0, &for260, ZELIO_WRITE_VERIFY));

    /* Time-out and a refused write; HEALTHY mends both. */
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0x283, ZELIO_EMULATE_SILENT));
    EXPECT_RC(ctx, ZELIO_ERR_TIMEOUT, zelio_firmware_version(ctx, 0x283, &version));
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0x283, ZELIO_EMULATE_REFUSE_WRITES));
    EXPECT_RC(ctx, ZELIO_ERR_IO, zelio_output(ctx, 0x283, 1, 1));
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0x283, ZELIO_EMULATE_HEALTHY));
    EXPECT_RC(ctx, ZELIO_OK, zelio_firmware_version(ctx, 0x283, &version));
    CHECK(version == 0x12);

    /* A module the system will not open: listed (nothing is opened to list
       it), and its path and commands to it are refused. */
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0x283, ZELIO_EMULATE_LOCKED));
    CHECK(find(ctx, 0x283, &count) != NULL && count == 3);
    EXPECT_RC(ctx, ZELIO_ERR_ACCESS, zelio_select_path(ctx, path280));
    EXPECT_RC(ctx, ZELIO_ERR_ACCESS, zelio_output(ctx, 0x283, 1, 1));
    EXPECT_RC(ctx, ZELIO_OK, zelio_emulate(ctx, 0x283, ZELIO_EMULATE_HEALTHY));
    EXPECT_RC(ctx, ZELIO_OK, zelio_select_path(ctx, path280));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_emulate(ctx, 0, 99));

    /* Clearing the selection. */
    EXPECT_RC(ctx, ZELIO_OK, zelio_select(ctx, 0));
    EXPECT_RC(ctx, ZELIO_ERR_USAGE, zelio_reset(ctx, 0));

    zelio_close(ctx);
    if (failures != 0) {
        fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    printf("all checks passed\n");
    return 0;
}
