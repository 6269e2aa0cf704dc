// The module directory: the one place that asks a HID host which modules of
// the family are attached. It asks for the family's vendor only, so no other
// device is opened, keeps the answer until a hot-plug event makes it stale,
// and hands out module records that say where each module is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ids/report_size.h"
#include "link/hid_host.h"

namespace zelio {

// Whether reports of these lengths can carry a command and its reply.
constexpr bool reportsFit(const HidCaps& caps) {
    return caps.outputReportLength >= kCommandReportBytes && caps.inputReportLength >= kReplyReportBytes;
}

// The longest USB port and serial number a module is chosen by; longer
// texts name no module (the C interface's buffers hold these and a NUL).
inline constexpr size_t kMaxPortBytes = 63;
inline constexpr size_t kMaxSerialBytes = 127;

// One module of the family as the directory found it.
struct ModuleRecord {
    uint16_t productId = 0;
    std::string path;
    std::string port;    // empty when unknown
    std::string serial;  // empty when none
    HidCaps caps;        // report lengths; 0 where enumeration did not tell them
};

// The vendor and product ID written in a Windows device path
// ("\\?\hid#vid_1d5a&pid_0280#..."); nullopt when it names none.
std::optional<HidAttributes> idsInDevicePath(std::string_view path);

class ModuleDirectory {
public:
    explicit ModuleDirectory(HidHost& host) : host_(host) {}

    // The family's modules (vendor 0x1D5A, IDs 0x260-0x269 and 0x280-0x289)
    // whose reports can carry a command, in enumeration order. Enumerates
    // unless the host's hot-plug events say nothing changed since the last
    // time; a host without such events is asked every time.
    const std::vector<ModuleRecord>& modules();
    // Enumerates now, whatever the cache holds.
    const std::vector<ModuleRecord>& refresh();
    // The modules with `productId`, for a command that will open one and
    // check its IDs: from the cache while no hot-plug event made it stale.
    // Should none be there, a host without events is asked again.
    std::vector<ModuleRecord> find(uint16_t productId);
    // The module at `path` now (enumerates as modules() does); nullopt: none.
    std::optional<ModuleRecord> at(const std::string& path);
    // Forgets the cache (a hot-plug notice came another way, e.g. the
    // window's WM_DEVICECHANGE): the next look enumerates.
    void drop() { cached_ = false; }

    // Lists only the modules `scope` accepts (zelioctl's --path/--port);
    // an empty function accepts all. Drops the cache.
    void setScope(std::function<bool(const ModuleRecord&)> scope);
    // Why the last enumeration failed (kind None when it succeeded).
    const Failure& lastFailure() const { return failure_; }
    // How many enumerations ran, for diagnostics and benchmarks.
    uint64_t enumerations() const { return enumerations_; }

    HidHost& host() { return host_; }

private:
    bool current();

    HidHost& host_;
    std::vector<ModuleRecord> modules_;
    bool cached_ = false;
    std::optional<uint64_t> changesAtCache_;
    std::function<bool(const ModuleRecord&)> scope_;
    Failure failure_;
    uint64_t enumerations_ = 0;
};

}  // namespace zelio
