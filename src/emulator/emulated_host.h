// Virtual ZEL280/ZEL260 modules behind the HID host interface, with fault
// injection, for tests, the demo build and the command-line tool.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/hid_host.h"
#include "ids/product_id.h"

namespace zelio {

enum class Model { Zel280, Zel260 };
enum class ModuleMode { Setting, Normal, Unplugged };

struct OutputState {
    enum Kind { Off, High, Low, Blink } kind = Off;
    uint8_t blinkByte = 0;  // high nibble: high time, low nibble: low time (0.1 s)
};

// A virtual module. Held by the host; tests keep a reference.
class VirtualModule {
public:
    VirtualModule(Model model, int idNibble, uint8_t firmware);

    Model model() const { return model_; }
    uint16_t family() const { return model_ == Model::Zel280 ? kFamily280 : kFamily260; }
    ModuleMode mode() const { return mode_; }
    bool plugged() const { return mode_ != ModuleMode::Unplugged; }
    // The product ID it enumerates with now (0 while unplugged).
    uint16_t productId() const;
    // The product ID it enumerates with when plugged in.
    uint16_t enumeratedId() const;

    // Stored configuration.
    int idNibble = 1;
    uint8_t firmware = 0x10;
    uint8_t openDrainMask = 0, highMask = 0, inputMask = 0;

    // Where it is plugged in, as enumeration reports it; addModule() gives
    // each module a port of its own ("1-1.1", "1-1.2", ...).
    std::string port;
    std::string serial;  // empty: the module has no serial number

    // Fault injection.
    bool accessDenied = false;       // enumerated, but the system refuses to open it
    uint8_t highMaskFault = 0;       // bits flipped in the high mask a configuration write stores
    bool silent = false;             // takes commands, never replies
    bool refuseWrites = false;       // every write fails
    bool holdWrites = false;         // takes no write: each stays pending until the writer gives up
    bool unplugOnNextCommand = false;  // accepts the next write, then disappears
    int replyDelayMs = 0;            // the reply arrives this late
    uint16_t inputReportLength = 9;
    uint16_t outputReportLength = 9;
    // When not empty, every reply carries these data bytes instead.
    std::vector<uint8_t> replyOverride;

    OutputState outputs[8];
    // Bytes 1-8 of the output reports received, oldest first (the last
    // kHistory of them), and how many were received in all.
    static constexpr size_t kHistory = 1024;
    std::deque<std::vector<uint8_t>> received;
    uint64_t reportCount = 0;

    // State line of the module bench:
    // pid=0x%03X mode=%s fw=0x%02X id=%X od=0x%02X high=0x%02X in=0x%02X last=%s
    std::string stateLine() const;

private:
    friend class EmulatedHost;
    friend class EmulatedHandle;
    Model model_;
    ModuleMode mode_ = ModuleMode::Normal;
    ModuleMode lastPluggedMode_ = ModuleMode::Normal;
    unsigned epoch_ = 0;  // bumped at every re-enumeration; old handles go stale
    // The jig's next step for this module, on the host's clock; -1: none.
    int64_t jigDueMs_ = -1;
};

// A virtual module described as 280|260:setting|normal[:FAULT,...], FAULTs
// silent, late=MS, hold-writes, wide (65-byte reports), unplug (gone on the
// next command) and id=N (the ID nibble, 1 unless given): how the module
// benches and rigs are told which modules to make.
struct ModuleDescription {
    Model model = Model::Zel280;
    ModuleMode mode = ModuleMode::Setting;
    int idNibble = 1;
    bool silent = false, holdWrites = false, wide = false, unplug = false;
    int lateMs = 0;
    // Gives `m` the description's faults and report lengths.
    void applyTo(VirtualModule& m) const;
};
// Empty for a description that is none.
std::optional<ModuleDescription> parseModuleDescription(const std::string& text);

// "EMU0001": the serial number of the n-th emulated module (from 1).
std::string emulatedSerial(int n);

// Every call, the handles' included, may come from any thread: one mutex
// guards the modules and the reports on their way, and is let go while a
// read or a held write waits.
class EmulatedHost final : public HidHost {
public:
    explicit EmulatedHost(Clock& clock = systemClock());
    ~EmulatedHost() override;

    // Adds a module, plugged in, in the given mode.
    VirtualModule& addModule(Model model, int idNibble, uint8_t firmware,
                             ModuleMode mode = ModuleMode::Setting);
    // A HID device of another family or vendor that opens and reads normally.
    void addForeignDevice(uint16_t vendorId, uint16_t productId);
    // An interface that cannot be opened (as a keyboard held by the system).
    void addLockedInterface();

    void unplug(VirtualModule& m);
    void plug(VirtualModule& m);  // back in the mode it was unplugged from
    // ZEL280 body button held a second: SettingMode.
    void pressSettingButton(VirtualModule& m);

    // The production jig: a module that a reset sends to I/O mode is taken
    // off `jigSwapMs` later, and as long after that a fresh one of its model
    // (next serial number, product ID nibble 1, masks 0, same firmware) is
    // put on at its port, in setting mode. 0: modules stay where they are.
    int jigSwapMs = 0;

    // The modules as text, one line each, that loadState() reads back:
    //   ZEL280 mode=setting plugged=yes id=1 firmware=0x12 od=0x00 high=0x00
    //     in=0x00 port=1-1.1 serial=EMU0001 outputs=off,high,low,55,... jig=-1
    // (jig: when the jig's next step is due on the host's clock, -1 none).
    std::string saveState() const;
    // Adds the modules of `text`: a line per module, `#` comments and blank
    // lines skipped; only the model is needed, the rest defaults to a fresh
    // module (ZEL280: setting mode, firmware 0x12; ZEL260: I/O mode at
    // 0x261, firmware 0x10; port 1-1.N and serial EMU000N for the N-th).
    // False, with "line N: why" in `problem`, for anything else.
    bool loadState(const std::string& text, std::string& problem);

    // Called after every change of the device list.
    void setOnDevicesChanged(std::function<void()> callback) { onChanged_ = std::move(callback); }

    std::vector<std::unique_ptr<VirtualModule>>& modules() { return modules_; }
    // The path `m` enumerates with while plugged in.
    std::string pathOf(const VirtualModule& m) const;

    // HidHost
    std::vector<std::string> enumerate() override;
    // Modules and foreign devices with their IDs; locked interfaces without.
    std::vector<HidDeviceInfo> enumerateDevices() override;
    bool attributes(const std::string& path, HidAttributes& out) override;
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;
    // Every device added, plugged, unplugged or re-enumerated counts one.
    std::optional<uint64_t> deviceChanges() override;

    // Emulated modules take turns with other processes' only when asked
    // (zelioctl --emulate): their paths are the same in every process.
    std::string lockName(const std::string& path) override { return lockAcrossProcesses ? path : std::string(); }
    bool lockAcrossProcesses = false;

    // Count of open() calls that succeeded, and of handles open now, for tests.
    int opens() const { return opens_; }
    size_t openHandles() const {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return handles_.size();
    }

    // The firmware of `m` outside this host, for a module that sits behind a
    // real HID stack: runs one output report (byte 0 the report ID) and
    // returns the input reports it answers with, none when silent. Nothing
    // is queued on this host's handles; a re-enumeration still happens here.
    std::vector<std::vector<uint8_t>> firmwareReplies(VirtualModule& m, const uint8_t* data, size_t length);

private:
    friend class EmulatedHandle;
    struct Entry;
    void reenumerate(VirtualModule& m, ModuleMode newMode);
    void deliver(VirtualModule& m, const std::vector<uint8_t>& reply);
    // Hands every report whose time has come to the read handles open now.
    void arrive();
    // When the next report for `m` (as enumerated at `epoch`) arrives; -1: none.
    int64_t nextArrival(const VirtualModule* m, unsigned epoch) const;
    void handleReport(VirtualModule& m, const uint8_t* data, size_t length);
    // Takes the jig's steps whose time has come.
    void runJig();

    mutable std::recursive_mutex mutex_;
    Clock& clock_;
    std::vector<std::unique_ptr<VirtualModule>> modules_;
    std::vector<std::unique_ptr<Entry>> entries_;  // enumeration order
    std::vector<class EmulatedHandle*> handles_;  // every open handle
    std::function<void()> onChanged_;
    int opens_ = 0;
    uint64_t changes_ = 0;
    std::vector<std::vector<uint8_t>>* capture_ = nullptr;  // set while firmwareReplies runs
    // Replies on their way: like a HID stack, a report reaches the handles
    // open when it arrives, not those open when its command was written.
    struct Arrival {
        VirtualModule* module;
        unsigned epoch;
        int64_t atMs;
        std::vector<uint8_t> data;
    };
    std::deque<Arrival> inFlight_;  // in order of arrival
};

}  // namespace zelio
