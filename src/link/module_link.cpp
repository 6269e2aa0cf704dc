#include "link/module_link.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "protocol/product_id.h"

namespace zelio {

ModuleLink::ModuleLink(HidHost& host, Clock& clock)
    : host_(host), clock_(clock), output_(kCommandReportLength, 0), input_(kCommandReportLength, 0) {}

ModuleLink::~ModuleLink() = default;

void ModuleLink::fail(FailureKind kind, std::string call, std::string reason) {
    failure_ = Failure{kind, std::move(call), std::move(reason)};
}

void ModuleLink::fail(const Failure& failure, FailureKind fallback) {
    failure_ = failure;
    if (failure_.kind == FailureKind::None) failure_.kind = fallback;
}

int ModuleLink::open(uint16_t productId) {
    // The device set is re-read for every open; a path is only a name, so
    // nothing needs releasing when we leave early.
    const std::vector<std::string> paths = host_.enumerate();
    writeHandle_.reset();
    readHandle_.reset();
    Failure cannotOpen;
    for (const std::string& path : paths) {
        // Decided by the IDs alone: no other device is opened for I/O.
        HidAttributes attrs;
        if (!host_.attributes(path, attrs) || attrs.vendorId != kModuleVendorId || attrs.productId != productId)
            continue;
        if (!lockModuleAt(path)) return 0;
        std::unique_ptr<HidHandle> handle = host_.open(path, false);
        if (!handle) {
            // Keep the system's reason; another interface may still do.
            if (!cannotOpen) {
                char found[32];
                std::snprintf(found, sizeof found, "found 0x%x at ", static_cast<unsigned>(productId));
                cannotOpen = host_.lastFailure();
                if (cannotOpen.kind == FailureKind::None) cannotOpen.kind = FailureKind::Io;
                cannotOpen.call = found + path + " but cannot open it";
            }
            continue;
        }
        // A path is only a name: the device behind it may have been replaced
        // between the look and the open. Only the module asked for is written to.
        HidAttributes opened;
        if (!handle->attributes(opened) || opened.vendorId != kModuleVendorId || opened.productId != productId)
            continue;
        HidCaps caps;
        // An interface whose reports cannot carry a command is not the module.
        if (!handle->caps(caps) || caps.outputReportLength < kCommandReportLength ||
            caps.inputReportLength < 1 + kMinReplyFields)
            continue;
        // The module is found once its write handle matched. Should the second
        // open for reads fail, commands without a reply still reach it and a
        // reply simply cannot be read (see readReply).
        readHandle_ = host_.open(path, true);
        writeHandle_ = std::move(handle);
        caps_ = caps;
        // Buffers never shorter than a whole command report, so a device with
        // short reports cannot make us write or read past them.
        output_.assign(std::max<size_t>(caps_.outputReportLength, kCommandReportLength), 0);
        input_.assign(std::max<size_t>(caps_.inputReportLength, kCommandReportLength), 0);
        failure_ = Failure{};
        return 1;
    }
    if (cannotOpen)
        failure_ = cannotOpen;
    else
        fail(FailureKind::NotFound, "open", "no module with this product ID is attached");
    return 0;
}

int ModuleLink::connect(uint16_t productId) {
    linkStatus_ = open(productId);
    endCommand();
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

int ModuleLink::send(uint16_t productId, std::span<const std::uint8_t> report) {
    sendReport(productId, report);
    endCommand();
    return linkStatus_;
}

int ModuleLink::sendReport(uint16_t productId, std::span<const std::uint8_t> report) {
    clock_.sleepMs(kPauseMs);
    linkStatus_ = open(productId);
    if (linkStatus_ != 1) return 0;
    drainQueuedReports();
    writeReport(report);
    return linkStatus_;
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
    sendReport(productId, report);
    if (linkStatus_ == 1) readReply(report.size() > 3 ? report[3] : 0);
    endCommand();
    return linkStatus_ == 1 ? 1 : 0;
}

std::vector<uint16_t> ModuleLink::listModules() {
    std::vector<uint16_t> ids;
    const std::vector<std::string> paths = host_.enumerate();
    writeHandle_.reset();
    for (const std::string& path : paths) {
        HidAttributes attrs;
        if (host_.attributes(path, attrs) && attrs.vendorId == kModuleVendorId) ids.push_back(attrs.productId);
    }
    return ids;
}

}  // namespace zelio
