// Contexts in several threads of one process: four threads, each with a
// context of its own, list the modules, ask for the firmware version and read
// the configuration, again and again. Once on emulated modules, once through
// the system's HID library (hidapi on Linux) with module interfaces that the
// system refuses to open, as without access rights: each refusal replaces
// hidapi's process-wide error text. Every thread must see exactly what one
// thread alone sees, and nothing may crash.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zelio.h"

#if defined(__linux__)
#include <dlfcn.h>
#include <hidapi/hidapi.h>

namespace {
// Read-only files of the kernel: opening them for reading and writing fails
// with "Permission denied", for root too.
const char* const kRefusing[] = {"/sys/devices/system/cpu/online", "/sys/devices/system/cpu/possible",
                                 "/sys/devices/system/cpu/present", "/sys/kernel/uevent_seqnum"};
}  // namespace

// The library's hid_enumerate, with the refusing interfaces listed as ZEL280s
// in setting mode after the real devices. Entries are allocated as hidapi's
// own, so that hid_free_enumeration frees them.
extern "C" hid_device_info* hid_enumerate(unsigned short vendorId, unsigned short productId) {
    using Enumerate = hid_device_info* (*)(unsigned short, unsigned short);
    static const auto real = reinterpret_cast<Enumerate>(dlsym(RTLD_NEXT, "hid_enumerate"));
    hid_device_info* list = real(vendorId, productId);
    hid_device_info** tail = &list;
    while (*tail != nullptr) tail = &(*tail)->next;
    if ((vendorId != 0 && vendorId != 0x1D5A) || (productId != 0 && productId != 0x280)) return list;
    for (const char* path : kRefusing) {
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup(path);
        info->vendor_id = 0x1D5A;
        info->product_id = 0x280;
        *tail = info;
        tail = &info->next;
    }
    return list;
}
#endif

namespace {

// What one round of list, version and read gave: codes, values, reasons.
std::string round(int (*open)(zelio_context**)) {
    zelio_context* ctx = nullptr;
    if (open(&ctx) != ZELIO_OK) return "no context";
    std::string out;
    auto note = [&](const char* what, int rc, unsigned value) {
        out += std::string(what) + " " + std::to_string(rc) + " " + std::to_string(value) + " " +
               zelio_last_error(ctx) + "\n";
    };
    zelio_module_info modules[4];
    size_t count = 0;
    note("list", zelio_list(ctx, modules, 4, &count), static_cast<unsigned>(count));
    uint8_t version = 0;
    note("version", zelio_firmware_version(ctx, 0x280, &version), version);
    zelio_config config{};
    note("read", zelio_read_config(ctx, 0x280, &config), config.product_id * 0x1000000u + config.input_mask);
    zelio_close(ctx);
    return out;
}

int failures = 0;

void inThreads(const char* what, int (*open)(zelio_context**), int rounds) {
    const std::string alone = round(open);
    std::vector<std::string> seen(4);
    std::vector<std::thread> threads;
    for (std::string& s : seen)
        threads.emplace_back([&s, open, rounds, &alone] {
            for (int i = 0; i < rounds && s.empty(); ++i)
                if (std::string got = round(open); got != alone) s = got;
        });
    for (std::thread& t : threads) t.join();
    for (const std::string& s : seen)
        if (!s.empty()) {
            std::fprintf(stderr, "%s: a thread saw\n%sinstead of\n%s", what, s.c_str(), alone.c_str());
            ++failures;
        }
}

}  // namespace

int main() {
    inThreads("emulated", zelio_open_emulated, 3);
    inThreads("system", zelio_open, 200);
    return failures == 0 ? 0 : 1;
}
