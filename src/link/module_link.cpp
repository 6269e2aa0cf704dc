#include "link/module_link.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "ids/product_id.h"

namespace zelio {

ModuleLink::ModuleLink(HidHost& host, Clock& clock)
    : host_(host),
      clock_(clock),
      directory_(host),
      output_(kCommandReportLength, 0),
      input_(kCommandReportLength, 0) {}

ModuleLink::~ModuleLink() = default;

void ModuleLink::fail(FailureKind kind, std::string call, std::string reason) {
    failure_ = Failure{kind, std::move(call), std::move(reason)};
}

void ModuleLink::fail(const Failure& failure, FailureKind fallback) {
    failure_ = failure;
    if (failure_.kind == FailureKind::None) failure_.kind = fallback;
}

void ModuleLink::close() {
    readHandle_.reset();
    if (writeHandle_ && host_.opensFasterWhileOpen()) keeper_ = std::move(writeHandle_);
    writeHandle_.reset();
}

ModuleLink::Opened ModuleLink::openModule(const ModuleRecord& module, bool forReads) {
    close();
    // One command at a time per module, across programs.
    if (!lockModuleAt(module.path)) return Opened::Busy;
    std::unique_ptr<HidHandle> handle = host_.open(module.path, false);
    if (!handle) {
        fail(host_.lastFailure(), FailureKind::Io);
        return Opened::CannotOpen;
    }
    // A path is only a name: the device behind it may have been replaced
    // since it was listed. Only the module asked for is written to.
    HidAttributes opened;
    if (!handle->attributes(opened) || opened.vendorId != kModuleVendorId || opened.productId != module.productId) {
        fail(FailureKind::NotFound, "open " + module.path, "another device answers at this path now");
        return Opened::NotIt;
    }
    // An interface whose reports cannot carry a command is not the module.
    HidCaps caps = module.caps;
    if (!reportsFit(caps) && (!handle->caps(caps) || !reportsFit(caps))) {
        fail(FailureKind::NotFound, "open " + module.path, "its reports cannot carry a command");
        return Opened::NotIt;
    }
    // A command that waits for a reply is sent only once the reply can be read.
    if (forReads) {
        readHandle_ = host_.open(module.path, true);
        if (!readHandle_) {
            fail(host_.lastFailure(), FailureKind::Io);
            return Opened::CannotOpen;
        }
    }
    writeHandle_ = std::move(handle);
    opened_ = module;
    caps_ = caps;
    // Buffers never shorter than a whole command report, so a device with
    // short reports cannot make us write or read past them.
    output_.assign(std::max<size_t>(caps_.outputReportLength, kCommandReportLength), 0);
    input_.assign(std::max<size_t>(caps_.inputReportLength, kCommandReportLength), 0);
    failure_ = Failure{};
    return Opened::Yes;
}

bool ModuleLink::openFirst(const std::vector<ModuleRecord>& candidates, uint16_t productId, bool forReads) {
    Failure cannotOpen;
    for (const ModuleRecord& module : candidates) {
        if (module.productId != productId) continue;
        const Opened opened = openModule(module, forReads);
        if (opened == Opened::Yes) return true;
        if (opened == Opened::Busy) return false;
        // Keep the system's reason; another interface may still do.
        if (opened == Opened::CannotOpen && !cannotOpen) {
            char found[32];
            std::snprintf(found, sizeof found, "found 0x%x at ", static_cast<unsigned>(productId));
            cannotOpen = failure_;
            cannotOpen.call = found + module.path + " but cannot open it";
        }
    }
    if (cannotOpen)
        failure_ = cannotOpen;
    else
        fail(FailureKind::NotFound, "open", "no module with this product ID is attached");
    return false;
}

bool ModuleLink::openPinned(bool forReads) {
    const Opened opened = openModule(*pinned_, forReads);
    if (opened == Opened::Yes) return true;
    if (opened == Opened::Busy) return false;
    // A fresh look tells a module that went away from one that is there but
    // could not be opened now.
    const Failure why = failure_;
    bool listed = false;
    for (const ModuleRecord& module : directory_.refresh())
        listed = listed || (module.path == pinned_->path && module.productId == pinned_->productId);
    failure_ = why;
    if (!listed) failure_.kind = FailureKind::Gone;
    return false;
}

bool ModuleLink::openFor(uint16_t productId, bool forReads) {
    if (pinned_ && pinned_->productId == productId) return openPinned(forReads);
    const uint64_t before = directory_.enumerations();
    if (openFirst(directory_.find(productId), productId, forReads)) return true;
    // What the cache said was wrong: one fresh look (not for a module that
    // is only busy with another program).
    if (directory_.enumerations() != before || failure_.kind == FailureKind::Busy) return false;
    return openFirst(directory_.refresh(), productId, forReads);
}

int ModuleLink::open(uint16_t productId) {
    const bool found = openFor(productId, false);
    close();
    endCommand();
    return found ? 1 : 0;
}

int ModuleLink::connect(uint16_t productId) {
    linkStatus_ = open(productId);
    return linkStatus_ == 1 ? productId : 0;
}

bool ModuleLink::lockModuleAt(const std::string& path) {
    const std::string name = host_.lockName(path);
    if (name.empty() || (lock_ && lockName_ == name)) return true;
    lock_.reset();
    lock_ = lockModule(name, clock_, kModuleLockWaitMs, failure_);
    lockName_ = name;
    return lock_ != nullptr;
}

void ModuleLink::endCommand() {
    if (!lockHeld_) lock_.reset();
}

void ModuleLink::holdModuleLock(bool held) {
    lockHeld_ = held;
    endCommand();
}

uint16_t ModuleLink::attach(std::initializer_list<uint16_t> productIds) {
    unpin();
    linkStatus_ = 0;
    pauseSince_ = clock_.nowMs();
    const std::vector<ModuleRecord> modules = directory_.modules();
    Failure first;
    for (const uint16_t productId : productIds) {
        const bool found = openFirst(modules, productId, false);
        close();
        endCommand();
        if (found) {
            pin(opened_);
            linkStatus_ = 1;
            return productId;
        }
        // A module that is there but cannot be opened says more than the
        // absence of the IDs tried after it.
        if (!first || failure_.kind != FailureKind::NotFound) first = failure_;
        if (failure_.kind == FailureKind::Busy) break;
    }
    if (first) failure_ = first;
    return 0;
}

void ModuleLink::writeReport(std::span<const std::uint8_t> report) {
    std::fill(output_.begin(), output_.end(), uint8_t{0});
    std::copy_n(report.begin(), std::min(report.size(), kCommandReportLength), output_.begin());
    const size_t length = std::min<size_t>(caps_.outputReportLength, output_.size());
    if (length == 0) {
        linkStatus_ = 0;
        fail(FailureKind::Io, "write", "the device has no output report");
        return;
    }
    if (!writeHandle_->write(output_.data(), length)) {
        linkStatus_ = 0;
        fail(writeHandle_->lastFailure(), FailureKind::Io);
    }
}

int ModuleLink::command(uint16_t productId, std::span<const std::uint8_t> report, bool withReply) {
    // The module is opened during the pause, not after it (a slow first open
    // overlaps it); the pause still ends before the write.
    const int64_t pauseSince = pauseSince_.value_or(clock_.nowMs());
    pauseSince_.reset();
    // Both handles are closed, and the module's lock let go, on every way
    // out of the command.
    struct Closer {
        ModuleLink& link;
        ~Closer() {
            link.close();
            link.endCommand();
        }
    } closer{*this};
    linkStatus_ = openFor(productId, withReply) ? 1 : 0;
    // The clock counts whole milliseconds: once it has moved on, up to one
    // less than it says may have passed, so the rest is rounded up.
    const int64_t gone = clock_.nowMs() - pauseSince;
    const int64_t left = kPauseMs - gone + (gone > 0 ? 1 : 0);
    if (left > 0) clock_.sleepMs(static_cast<int>(left));
    if (linkStatus_ != 1) return 0;
    if (withReply) drainQueuedReports();
    writeReport(report);
    if (withReply && linkStatus_ == 1) readReply(report.size() > 3 ? report[3] : 0);
    return linkStatus_;
}

int ModuleLink::send(uint16_t productId, std::span<const std::uint8_t> report) {
    return command(productId, report, false);
}

namespace {

// Reply codes: a reply whose field 0 is one of these answers that command.
bool answersAnotherCommand(uint8_t field0, uint8_t command) {
    constexpr uint8_t kCommandsWithReplies[] = {0x40, 0x43, 0x4F};
    if (field0 == command) return false;
    return std::find(std::begin(kCommandsWithReplies), std::end(kCommandsWithReplies), field0) !=
           std::end(kCommandsWithReplies);
}

}  // namespace

void ModuleLink::drainQueuedReports() {
    // Every handle open when a report arrives gets it: what waits here now
    // answered an earlier command. Bounded, should a device stream reports.
    if (!readHandle_) return;
    const size_t length = std::min<size_t>(caps_.inputReportLength, input_.size());
    for (int i = 0; i < 64 && readHandle_->read(input_.data(), length, 0) == ReadResult::Ok; ++i) {
    }
}

void ModuleLink::readReply(uint8_t command) {
    std::fill(input_.begin(), input_.end(), uint8_t{0});
    const size_t length = std::min<size_t>(caps_.inputReportLength, input_.size());
    if (length == 0 || !readHandle_) {
        linkStatus_ = 0;
        fail(FailureKind::Io, "read", length == 0 ? "the device has no input report" : "no handle for reading");
        return;
    }
    // Only a read that really completed counts as a reply; a failed or
    // timed-out read never leaves an old buffer looking like an answer. A
    // late reply to another command is passed over, within the same limit.
    const int64_t deadline = clock_.nowMs() + kReplyTimeoutMs;
    for (;;) {
        const int64_t left = deadline - clock_.nowMs();
        const ReadResult result =
            left > 0 ? readHandle_->read(input_.data(), length, static_cast<int>(left)) : ReadResult::Timeout;
        switch (result) {
            case ReadResult::Ok:
                if (answersAnotherCommand(input_[1], command)) continue;
                std::copy_n(input_.begin() + 1, reply_.size(), reply_.begin());
                return;
            case ReadResult::Timeout:
                linkStatus_ = 0;
                fail(FailureKind::Timeout, "read", "no reply within " + std::to_string(kReplyTimeoutMs) + " ms");
                return;
            case ReadResult::Error:
                linkStatus_ = 0;
                fail(readHandle_->lastFailure(), FailureKind::Io);
                return;
        }
    }
}

int ModuleLink::transact(uint16_t productId, std::span<const std::uint8_t> report) {
    return command(productId, report, true) == 1 ? 1 : 0;
}

std::vector<uint16_t> ModuleLink::listModules() {
    std::vector<uint16_t> ids;
    for (const ModuleRecord& module : directory_.modules()) ids.push_back(module.productId);
    return ids;
}

}  // namespace zelio
