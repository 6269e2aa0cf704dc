// The HID report-descriptor parser on any bytes: no read past the
// descriptor, no undefined behaviour, and report lengths a host can use.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/hidapi_hid_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that a read one byte past the end is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    const auto info = zelio::parseReportDescriptor(bytes.data(), bytes.size());
    if (!info) return 0;
    // A length counts the report-ID byte: 0 (no such report) or at least 2.
    for (const uint16_t length : {info->caps.inputReportLength, info->caps.outputReportLength}) {
        if (length == 1) {
            std::fprintf(stderr, "report length 1\n");
            std::abort();
        }
    }
    // The same bytes give the same answer when followed by a long item.
    std::vector<uint8_t> longer = bytes;
    longer.insert(longer.end(), {0xFE, 0x01, 0x00, 0x00});
    const auto again = zelio::parseReportDescriptor(longer.data(), longer.size());
    if (!again || again->caps.inputReportLength != info->caps.inputReportLength ||
        again->caps.outputReportLength != info->caps.outputReportLength ||
        again->numberedReports != info->numberedReports) {
        std::fprintf(stderr, "a trailing long item changed the result\n");
        std::abort();
    }
    return 0;
}
