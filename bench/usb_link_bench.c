/* The link's own time per command on a real USB HID module (the rig's
 * guest, tests/usbsim), against the floor measured in the same run:
 *
 *   usb_link_bench HIDRAW_NODE ZELIOCTL COUNT
 *
 * floor:    open, write the firmware-version report, read its reply, close,
 *           on the node while another handle to it is held (no first-open
 *           sleep), as bare as the system allows;
 * context:  one library context's firmware-version commands after its first,
 *           the 40 ms pause taken off;
 * one-shot: `zelioctl version` as a new process, whole, and `zelioctl
 *           --version` (process start, no module) for reference.
 * Medians, in milliseconds. */
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "zelio.h"

extern char** environ;

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int by_value(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double median(double* ms, int n) {
    qsort(ms, (size_t)n, sizeof *ms, by_value);
    return ms[n / 2];
}

static double run(const char* program, const char* argument) {
    char* argv[] = {(char*)program, (char*)argument, NULL};
    pid_t pid;
    const double start = now_ms();
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, program, &quiet, NULL, argv, environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&quiet);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? now_ms() - start : -1;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: usb_link_bench HIDRAW_NODE ZELIOCTL COUNT\n");
        return 2;
    }
    const int count = atoi(argv[3]);
    double* ms = calloc((size_t)count, sizeof *ms);
    const unsigned char report[9] = {0, 0x55, 0xAA, 0x40};
    unsigned char reply[64];

    const int held = open(argv[1], O_RDWR);
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const double start = now_ms();
        const int fd = open(argv[1], O_RDWR);
        struct pollfd p = {fd, POLLIN, 0};
        if (fd < 0 || write(fd, report, sizeof report) < 0 || poll(&p, 1, 2000) != 1 ||
            read(fd, reply, sizeof reply) <= 0) {
            if (fd >= 0) close(fd);
            continue;
        }
        close(fd);
        ms[n++] = now_ms() - start;
        usleep(40000);  /* the module's pause between commands */
    }
    if (held >= 0) close(held);
    const double floor = n ? median(ms, n) : -1;

    zelio_context* ctx = NULL;
    uint8_t version = 0;
    n = 0;
    if (zelio_open(&ctx) == 0 && zelio_firmware_version(ctx, 0x280, &version) == 0) {
        for (int i = 0; i < count; ++i) {
            const double start = now_ms();
            if (zelio_firmware_version(ctx, 0x280, &version) == 0) ms[n++] = now_ms() - start - 40;
        }
    }
    zelio_close(ctx);
    const double context = n ? median(ms, n) : -1;

    double oneshot, start;
    n = 0;
    for (int i = 0; i < count / 4 + 1; ++i)
        if ((ms[n] = run(argv[2], "version")) >= 0) ++n;
    oneshot = n ? median(ms, n) : -1;
    n = 0;
    for (int i = 0; i < count / 4 + 1; ++i)
        if ((ms[n] = run(argv[2], "--version")) >= 0) ++n;
    start = n ? median(ms, n) : -1;
    printf("floor %.2f ms; context command beyond the pause %.2f ms (floor + %.2f); "
           "zelioctl version %.1f ms, process start %.1f ms\n",
           floor, context, context - floor, oneshot, start);
    free(ms);
    return 0;
}
