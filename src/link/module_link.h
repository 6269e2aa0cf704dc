// The module link: finds a module of the family through the module
// directory (by product ID, or the pinned one), writes one command report
// and optionally waits for one reply report. It moves bytes; what they mean
// is the command set's business.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "link/hid_host.h"
#include "link/module_lock.h"
#include "link/module_directory.h"

namespace zelio {

// The six data bytes of a reply (input report bytes 1-6), fields 0 to 5.
using Reply = std::array<std::uint8_t, 6>;

class ModuleLink {
public:
    static constexpr int kPauseMs = 40;
    static constexpr int kReplyTimeoutMs = 2000;
    // Report ID, marker, code and five parameters.
    static constexpr size_t kCommandReportLength = kCommandReportBytes;
    // Reply fields a module's input report must hold to be one.
    static constexpr size_t kMinReplyFields = kReplyReportBytes - 1;

    ModuleLink(HidHost& host, Clock& clock);
    ~ModuleLink();
    ModuleLink(const ModuleLink&) = delete;
    ModuleLink& operator=(const ModuleLink&) = delete;

    // Where the link finds its modules.
    ModuleDirectory& directory() { return directory_; }

    // 1 when a module with `productId` was found and opens, 0 otherwise; its
    // handles are closed again. Does not touch LinkStatus.
    int open(uint16_t productId);
    // open() into LinkStatus; productId on success, 0 otherwise.
    int connect(uint16_t productId);
    // The attach procedure over one look at the directory: the first module
    // that opens, of the first of `productIds` that has one, is pinned and
    // its product ID returned; 0 when none opens. Sets LinkStatus.
    uint16_t attach(std::initializer_list<uint16_t> productIds);
    // Commands for the record's product ID go to its path only, whatever
    // else enumerates with that ID; each one reopens the path and checks
    // the IDs there. A module no longer there fails as Gone.
    void pin(ModuleRecord module) { pinned_ = std::move(module); }
    void unpin() { pinned_.reset(); }
    const std::optional<ModuleRecord>& pinned() const { return pinned_; }

    // Writes `report` (at most kCommandReportLength bytes, byte 0 the report
    // ID; the rest of the device's output report is 0) to the module with
    // `productId`. Returns LinkStatus after the write.
    int send(uint16_t productId, std::span<const std::uint8_t> report);
    // send() and then one reply; 1 only when the write and the read both
    // succeeded. Nothing is sent when the module cannot be opened for reads.
    int transact(uint16_t productId, std::span<const std::uint8_t> report);
    // The data bytes of the last reply received.
    const Reply& reply() const { return reply_; }
    // The product IDs of every attached module of the family, in enumeration order.
    std::vector<uint16_t> listModules();

    int linkStatus() const { return linkStatus_; }
    // Handles are open only while a command runs.
    bool isOpen() const { return writeHandle_ != nullptr; }
    const HidCaps& caps() const { return caps_; }
    // Why the last failed step failed (kind None while the last step succeeded).
    const Failure& lastFailure() const { return failure_; }
    // For callers that try several product IDs: the failure to report.
    void keepFailure(Failure failure) { failure_ = std::move(failure); }
    // Each command holds its module's lock (link/module_lock.h) from the
    // open to its end. While held, the lock stays from one command to the
    // next, so that a write and its read-back are one turn for other programs.
    void holdModuleLock(bool held);

private:
    enum class Opened { Yes, CannotOpen, NotIt, Busy };
    // One command from open to close: finds the module, opens it, writes
    // `report`, reads the reply when `withReply`, and closes both handles
    // on every way out. Returns LinkStatus.
    int command(uint16_t productId, std::span<const std::uint8_t> report, bool withReply);
    // Opens the module a command for `productId` goes to: the pinned one,
    // or the first found with that ID that opens.
    bool openFor(uint16_t productId, bool forReads);
    bool openPinned(bool forReads);
    bool openFirst(const std::vector<ModuleRecord>& candidates, uint16_t productId, bool forReads);
    Opened openModule(const ModuleRecord& module, bool forReads);
    void close();
    bool lockModuleAt(const std::string& path);
    void endCommand();
    void writeReport(std::span<const std::uint8_t> report);
    void drainQueuedReports();
    void readReply(uint8_t command);
    void fail(FailureKind kind, std::string call, std::string reason);
    void fail(const Failure& failure, FailureKind fallback);

    HidHost& host_;
    Clock& clock_;
    ModuleDirectory directory_;
    std::optional<ModuleRecord> pinned_;
    ModuleRecord opened_;  // the module the open handles belong to
    std::unique_ptr<HidHandle> writeHandle_;
    std::unique_ptr<HidHandle> readHandle_;
    // The last command's write handle, kept idle where the host's first open
    // is slow (HidHost::opensFasterWhileOpen): it is never read, so replies
    // still reach only the handle a command opens for them; it goes with the
    // link, so no other program ever finds the module held.
    std::unique_ptr<HidHandle> keeper_;
    // When the pause before the next write began: attach's look at the
    // module counts towards the first command's pause.
    std::optional<int64_t> pauseSince_;
    HidCaps caps_{};
    int linkStatus_ = 0;
    std::vector<std::uint8_t> output_;
    std::vector<std::uint8_t> input_;
    Reply reply_{};
    Failure failure_;
    std::unique_ptr<ModuleLock> lock_;
    std::string lockName_;
    bool lockHeld_ = false;
};

}  // namespace zelio
