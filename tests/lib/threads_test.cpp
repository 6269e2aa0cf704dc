// Four threads, each with a context of its own, list the modules, ask for the
// firmware version and read the configuration, again and again: on emulated
// modules, and through the system's HID library (hidapi on Linux) with module
// interfaces that refuse to open, each refusal replacing hidapi's
// process-wide error text. Each thread must see what one thread alone sees.
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

// hidapi's hid_enumerate, with kernel files that refuse to open for writing
// ("Permission denied", for root too) listed as ZEL280s after the real
// devices, the last two with paths of 511 and 512 bytes (ZELIO_PATH_MAX).
extern "C" hid_device_info* hid_enumerate(unsigned short vendorId, unsigned short productId) {
    static const auto real = reinterpret_cast<decltype(&hid_enumerate)>(dlsym(RTLD_NEXT, "hid_enumerate"));
    hid_device_info* list = real(vendorId, productId);
    hid_device_info** tail = &list;
    while (*tail != nullptr) tail = &(*tail)->next;
    if ((vendorId != 0 && vendorId != 0x1D5A) || (productId != 0 && productId != 0x280)) return list;
    const std::string seqnum = "/sys/kernel/uevent_seqnum";
    for (const std::string& path : std::initializer_list<std::string>{"/sys/devices/system/cpu/online", "/sys/devices/system/cpu/possible",
                                    "/sys/devices/system/cpu/present", seqnum,
                                    std::string(ZELIO_PATH_MAX - 1 - seqnum.size(), '/') + seqnum,
                                    std::string(ZELIO_PATH_MAX - seqnum.size(), '/') + seqnum}) {
        *tail = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));  // freed by hidapi
        (*tail)->path = strdup(path.c_str());
        (*tail)->vendor_id = 0x1D5A;
        (*tail)->product_id = 0x280;
        tail = &(*tail)->next;
    }
    return list;
}
constexpr int kSystemRounds = 200;
#else
constexpr int kSystemRounds = 20;  // each round opens every HID interface
#endif

namespace {

// What one round gave: each call's code, value and reason.
std::string round(int (*open)(zelio_context**)) {
    zelio_context* ctx = nullptr;
    if (open(&ctx) != ZELIO_OK) return "no context";
    std::string out;
    auto note = [&](int rc, unsigned value) {
        out += std::to_string(rc) + " " + std::to_string(value) + " " + zelio_last_error(ctx) + "\n";
    };
    size_t count = 0;
    note(zelio_list(ctx, nullptr, 0, &count), static_cast<unsigned>(count));
    uint8_t version = 0;
    note(zelio_firmware_version(ctx, 0x280, &version), version);
    zelio_config config{};
    note(zelio_read_config(ctx, 0x280, &config), config.product_id * 0x100u + config.input_mask);
    zelio_close(ctx);
    return out;
}

bool sameInThreads(const char* what, int (*open)(zelio_context**), int rounds) {
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
        if (!s.empty()) std::fprintf(stderr, "%s: a thread saw\n%sinstead of\n%s", what, s.c_str(), alone.c_str());
    return seen == std::vector<std::string>(4);
}

}  // namespace

int main() {
    const bool emulated = sameInThreads("emulated", zelio_open_emulated, 3);
    const bool system = sameInThreads("system", zelio_open, kSystemRounds);
#if defined(__linux__)
    // A path that does not fit an entry with its NUL is empty; nothing is written past the entries.
    zelio_context* ctx = nullptr;
    size_t count = 0;
    zelio_open(&ctx);
    zelio_list(ctx, nullptr, 0, &count);
    std::vector<zelio_module_info> infos(count);
    const bool fit = count >= 2 && zelio_list(ctx, infos.data(), count, &count) == ZELIO_OK &&
                     std::strlen(infos[count - 2].path) == ZELIO_PATH_MAX - 1 && infos[count - 1].path[0] == '\0';
    zelio_close(ctx);
    if (!fit) return 1;
#endif
    return emulated && system ? 0 : 1;
}
