// The HID host interface over the browser's WebHID (navigator.hid), and a
// clock whose pauses let the browser run. The link's waits (the 40 ms pause,
// a reply's wait, a write's bound) return to the browser's event loop while
// they last (ASYNCIFY); the C++ above them reads as if it blocked.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/hid_host.h"

namespace zelio::web {

// emscripten_sleep and the page's monotonic time.
Clock& browserClock();

// Devices this page was granted (navigator.hid.getDevices()), named
// "webhid:<n>". A device stays open once opened, until it goes away; its
// input reports queue up from then on, and reads take them from there.
class WebHidHost final : public HidHost {
public:
    std::vector<std::string> enumerate() override;
    bool attributes(const std::string& path, HidAttributes& out) override;
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;
    // navigator.hid's connect and disconnect events, counted.
    std::optional<uint64_t> deviceChanges() override;
};

}  // namespace zelio::web
