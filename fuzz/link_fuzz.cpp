// The module link and the command set over a fake HID host whose every
// answer comes from the input: the interfaces it lists, whether they open,
// their vendor and product IDs, their report lengths (0, 1, 8, 9, 65, 4096),
// whether writes succeed, and the bytes and outcome of every read.
//
// Checked besides memory safety: a report goes only to an interface that
// said it is the module addressed, and is exactly as long as its output
// report, the command report followed by zeros; a read asks for exactly the
// input report; a command reported as done got a reply, and the reply shown
// is that reply's bytes; a failed configuration read leaves the caller's
// copy alone; a failure says why.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/hid_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

namespace {

using namespace zelio;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}
void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

constexpr uint16_t kLengths[] = {0, 1, 8, 9, 65, 4096};
constexpr uint16_t kProductIds[] = {0x280, 0x260, 0x281, 0x265, 0x289, 0x300};

struct Device {
    HidAttributes attrs;
    HidCaps caps;
};

class FakeHost;

class FakeHandle final : public HidHandle {
public:
    FakeHandle(FakeHost& host, const Device& device) : host_(host), device_(device) {}
    bool attributes(HidAttributes& out) override;
    bool caps(HidCaps& out) override;
    bool write(const uint8_t* data, size_t length) override;
    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override;

private:
    FakeHost& host_;
    Device device_;
    bool attributesSaid_ = false;
};

class FakeHost final : public HidHost {
public:
    FakeHost(FuzzedDataProvider& in, Clock& clock) : in_(in), clock_(clock) {}

    std::vector<std::string> enumerate() override {
        devices_.clear();
        std::vector<std::string> paths;
        const int count = in_.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < count; ++i) {
            Device d;
            d.attrs.vendorId = in_.ConsumeBool() ? kModuleVendorId : 0x1234;
            d.attrs.productId = in_.PickValueInArray(kProductIds);
            d.caps.inputReportLength = in_.PickValueInArray(kLengths);
            d.caps.outputReportLength = in_.PickValueInArray(kLengths);
            paths.push_back("fake/" + std::to_string(i));
            devices_.push_back(d);
        }
        return paths;
    }

    std::unique_ptr<HidHandle> open(const std::string& path, bool) override {
        if (path.rfind("fake/", 0) != 0) fail("open of a path never listed");
        const size_t index = static_cast<size_t>(std::atoi(path.c_str() + 5));
        // A path from an earlier listing may be gone by now, as a device can.
        if (index >= devices_.size()) {
            failure_ = Failure{FailureKind::Gone, "open " + path, "no such device"};
            return nullptr;
        }
        if (in_.ConsumeIntegralInRange(0, 7) == 0) {
            failure_ = Failure{FailureKind::Access, "open " + path, "refused"};
            return nullptr;
        }
        failure_ = Failure{};
        return std::make_unique<FakeHandle>(*this, devices_[index]);
    }

    FuzzedDataProvider& in_;
    Clock& clock_;
    std::vector<Device> devices_;
    // What the command under test may write and to whom.
    std::optional<uint16_t> target;
    std::array<uint8_t, 9> command{};
    // The last read that delivered a report during the command, if any.
    std::optional<std::vector<uint8_t>> lastReport;
};

bool FakeHandle::attributes(HidAttributes& out) {
    if (host_.in_.ConsumeIntegralInRange(0, 15) == 0) {
        failure_ = Failure{FailureKind::Io, "attributes", "failed"};
        return false;
    }
    out = device_.attrs;
    attributesSaid_ = true;
    return true;
}

bool FakeHandle::caps(HidCaps& out) {
    if (host_.in_.ConsumeIntegralInRange(0, 15) == 0) {
        failure_ = Failure{FailureKind::Io, "caps", "failed"};
        return false;
    }
    out = device_.caps;
    return true;
}

bool FakeHandle::write(const uint8_t* data, size_t length) {
    check(host_.target.has_value(), "a write outside a command");
    check(attributesSaid_ && device_.attrs.vendorId == kModuleVendorId && device_.attrs.productId == *host_.target,
          "a report to an interface that is not the module addressed");
    check(length == device_.caps.outputReportLength, "a report not as long as the output report");
    const std::vector<uint8_t> report(data, data + length);  // every byte must be readable
    for (size_t i = 0; i < length; ++i)
        check(report[i] == (i < host_.command.size() ? host_.command[i] : 0), "report bytes");
    if (host_.in_.ConsumeIntegralInRange(0, 7) == 0) {
        failure_ = Failure{FailureKind::Io, "write", "failed"};
        return false;
    }
    failure_ = Failure{};
    return true;
}

ReadResult FakeHandle::read(uint8_t* buffer, size_t length, int timeoutMs) {
    check(length == device_.caps.inputReportLength, "a read not as long as the input report");
    switch (host_.in_.ConsumeIntegralInRange(0, 3)) {
        case 0:
            host_.clock_.sleepMs(timeoutMs);
            return ReadResult::Timeout;
        case 1:
            failure_ = Failure{FailureKind::Gone, "read", "gone"};
            return ReadResult::Error;
        default: {
            std::vector<uint8_t> report = host_.in_.ConsumeBytes<uint8_t>(length);
            report.resize(length, 0);
            std::copy(report.begin(), report.end(), buffer);  // every byte must be writable
            host_.lastReport = report;
            failure_ = Failure{};
            return ReadResult::Ok;
        }
    }
}

// The data bytes of a report as the link shows them: bytes 1-6.
Reply replyOf(const std::vector<uint8_t>& report) {
    Reply r{};
    for (size_t i = 0; i < r.size() && i + 1 < report.size(); ++i) r[i] = report[i + 1];
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    ManualClock clock;
    FakeHost host(in, clock);
    ModuleLink link(host, clock);
    CommandSet commands(link);

    for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
        host.lastReport.reset();
        host.target.reset();
        auto expectCommand = [&](uint16_t id, const CommandReport& report) {
            host.target = id;
            std::copy(report.begin(), report.end(), host.command.begin());
        };
        // Done: the last delivered report is the reply shown.
        auto replied = [&](bool done) {
            if (!done) {
                check(link.lastFailure().kind != FailureKind::None, "a failure without a reason");
                return;
            }
            check(host.lastReport.has_value(), "done without a reply");
            check(link.reply() == replyOf(*host.lastReport), "the reply shown is not the reply received");
        };
        const uint16_t attached = commands.attachedModuleId();
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0: {
                const uint16_t id = commands.attach();
                check(id == 0 || id == kSettingId280 || id == kSettingId260, "attach");
                break;
            }
            case 1: {
                expectCommand(attached, commandReport(cmd::kFirmwareVersion));
                const int version = commands.readFirmwareVersion();
                if (version != 0) {
                    replied(true);
                    check(version == link.reply()[1], "version");
                }
                break;
            }
            case 2: {
                expectCommand(attached, commandReport(cmd::kConfiguration, 0));
                const ChannelConfig before{0xDEAD, 1, 2, 3};
                ChannelConfig config = before;
                const bool done = commands.readConfiguration(config);
                replied(done);
                if (!done) check(config == before, "a failed read changed the configuration");
                break;
            }
            case 3: {
                const ChannelConfig config{in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint8_t>(),
                                           in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>()};
                expectCommand(attached, commandReport(cmd::kConfiguration, 1, static_cast<int>(config.productId & 0xF),
                                                      config.openDrainMask, config.highMask, config.inputMask));
                replied(commands.writeConfiguration(config));
                break;
            }
            case 4: {
                const int blink = in.ConsumeIntegral<uint8_t>();
                const int channel = in.ConsumeIntegralInRange(-9, 9);
                expectCommand(attached, commandReport(cmd::kOutputTest, blink, channel));
                const int sent = commands.outputTest(blink, channel);
                check(sent == 0 || sent == 1, "output test status");
                if (!sent) check(link.lastFailure().kind != FailureKind::None, "a failure without a reason");
                break;
            }
            case 5: {
                const uint16_t id = in.PickValueInArray(kProductIds);
                expectCommand(id, commandReport(cmd::kChangeId, 2));
                const int sent = commands.changeIdTo260(id);
                if (!sent) check(link.lastFailure().kind != FailureKind::None, "a failure without a reason");
                break;
            }
            case 6:
                expectCommand(attached, commandReport(cmd::kResetToIo));
                replied(commands.resetToIoMode() == 1);
                break;
            case 7: {
                // The IDs of interfaces listed with the family's vendor, in
                // their order (an interface that does not open is left out).
                const std::vector<uint16_t> ids = link.listModules();
                size_t next = 0;
                for (const uint16_t id : ids) {
                    while (next < host.devices_.size() && !(host.devices_[next].attrs.vendorId == kModuleVendorId &&
                                                            host.devices_[next].attrs.productId == id))
                        ++next;
                    check(next < host.devices_.size(), "a listed ID that no interface of the vendor has");
                    ++next;
                }
                break;
            }
        }
        check(link.linkStatus() == 0 || link.linkStatus() == 1, "link status");
    }
    return 0;
}
