#include "web/web_hid_host.h"

#include <emscripten.h>

#include <charconv>

// The script side, zelioHid, is in page.js: it keeps the granted devices,
// their queues of input reports and the reason of the last failure.

// Re-reads the granted devices; their count.
EM_ASYNC_JS(int, zelio_hid_refresh, (), { return await zelioHid.refresh(); });
// The number of the i-th device, as listed by the last refresh.
EM_JS(int, zelio_hid_device, (int index), { return zelioHid.listed[index] || 0; });
// Vendor ID << 16 | product ID; -1 for a device that is gone.
EM_JS(int, zelio_hid_ids, (int device), { return zelioHid.ids(device); });
// 0 when open, else a failure kind (the reason in zelioHid.reason).
EM_ASYNC_JS(int, zelio_hid_open, (int device), { return await zelioHid.open(device); });
// Longest input (input != 0) or output report, report-ID byte included.
EM_JS(int, zelio_hid_report_length, (int device, int input), { return zelioHid.reportLength(device, input); });
EM_ASYNC_JS(int, zelio_hid_send, (int device, const uint8_t* data, int length, int timeoutMs), {
    return await zelioHid.send(device, HEAPU8.slice(data, data + length), timeoutMs);
});
// 0: one report copied, 1: time-out, else a failure kind.
EM_ASYNC_JS(int, zelio_hid_read, (int device, uint8_t* buffer, int length, int timeoutMs), {
    const report = await zelioHid.read(device, timeoutMs);
    if (!Array.isArray(report)) return report;
    HEAPU8.fill(0, buffer, buffer + length);
    HEAPU8.set(report.slice(0, length), buffer);
    return 0;
});
// Connect and disconnect events seen so far.
EM_JS(int, zelio_hid_changes, (), { return zelioHid.changes; });
EM_JS(void, zelio_hid_reason, (char* buffer, int size), { stringToUTF8(zelioHid.reason, buffer, size); });

namespace zelio::web {
namespace {

class BrowserClock final : public Clock {
public:
    void sleepMs(int ms) override {
        if (ms > 0) emscripten_sleep(static_cast<unsigned>(ms));
    }
    int64_t nowMs() override { return static_cast<int64_t>(emscripten_get_now()); }
};

// Failure kinds as the script reports them.
FailureKind kindOf(int code) {
    switch (code) {
        case 2: return FailureKind::NotFound;
        case 3: return FailureKind::Access;
        case 4: return FailureKind::Gone;
        case 5: return FailureKind::Timeout;
        default: return FailureKind::Io;
    }
}

Failure failure(int code, const char* call) {
    char reason[256];
    zelio_hid_reason(reason, sizeof reason);
    return Failure{kindOf(code), call, reason};
}

int deviceOf(const std::string& path) {
    constexpr std::string_view kPrefix = "webhid:";
    int device = 0;
    if (path.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
    std::from_chars(path.data() + kPrefix.size(), path.data() + path.size(), device);
    return device;
}

bool idsOf(int device, HidAttributes& out) {
    const int ids = device > 0 ? zelio_hid_ids(device) : -1;
    if (ids < 0) return false;
    out = HidAttributes{static_cast<uint16_t>(ids >> 16), static_cast<uint16_t>(ids & 0xFFFF)};
    return true;
}

class WebHidHandle final : public HidHandle {
public:
    explicit WebHidHandle(int device) : device_(device) {}

    bool attributes(HidAttributes& out) override {
        if (idsOf(device_, out)) return true;
        failure_ = Failure{FailureKind::Gone, "attributes", "the device is no longer connected"};
        return false;
    }
    bool caps(HidCaps& out) override {
        out = HidCaps{static_cast<uint16_t>(zelio_hid_report_length(device_, 1)),
                      static_cast<uint16_t>(zelio_hid_report_length(device_, 0))};
        return true;
    }
    bool write(const uint8_t* data, size_t length) override {
        const int code = zelio_hid_send(device_, data, static_cast<int>(length), kWriteTimeoutMs);
        failure_ = code == 0 ? Failure{} : failure(code, "sendReport");
        return code == 0;
    }
    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        const int code = zelio_hid_read(device_, buffer, static_cast<int>(length), timeoutMs);
        if (code == 0 || code == 1) {
            failure_ = Failure{};
            return code == 0 ? ReadResult::Ok : ReadResult::Timeout;
        }
        failure_ = failure(code, "inputreport");
        return ReadResult::Error;
    }

private:
    int device_;
};

}  // namespace

Clock& browserClock() {
    static BrowserClock clock;
    return clock;
}

std::vector<std::string> WebHidHost::enumerate() {
    const int count = zelio_hid_refresh();
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back("webhid:" + std::to_string(zelio_hid_device(i)));
    failure_ = Failure{};
    return paths;
}

std::optional<uint64_t> WebHidHost::deviceChanges() { return static_cast<uint64_t>(zelio_hid_changes()); }

bool WebHidHost::attributes(const std::string& path, HidAttributes& out) {
    if (idsOf(deviceOf(path), out)) {
        failure_ = Failure{};
        return true;
    }
    failure_ = Failure{FailureKind::Gone, "attributes " + path, "no such device"};
    return false;
}

std::unique_ptr<HidHandle> WebHidHost::open(const std::string& path, bool) {
    const int device = deviceOf(path);
    if (device <= 0) {
        failure_ = Failure{FailureKind::NotFound, "open " + path, "no such device"};
        return nullptr;
    }
    const int code = zelio_hid_open(device);
    if (code != 0) {
        failure_ = failure(code, ("open " + path).c_str());
        return nullptr;
    }
    failure_ = Failure{};
    return std::make_unique<WebHidHandle>(device);
}

}  // namespace zelio::web
