#include "link/module_link.h"

#include <algorithm>
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
    for (const std::string& path : paths) {
        // The previous write handle is closed before each interface is tried.
        writeHandle_.reset();
        std::unique_ptr<HidHandle> handle = host_.open(path, false);
        HidAttributes attrs;
        const bool match = handle && handle->attributes(attrs) && attrs.vendorId == kModuleVendorId &&
                           attrs.productId == productId;
        if (!match) continue;  // the handle just opened closes here

        HidCaps caps;
        if (!handle->caps(caps)) caps = HidCaps{};
        // The module is found once its write handle matched. Should the second
        // open for reads fail, commands without a reply still reach it and a
        // reply simply cannot be read (see readReply).
        readHandle_.reset();
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
    fail(FailureKind::NotFound, "open", "no module with this product ID is attached");
    return 0;
}

int ModuleLink::connect(uint16_t productId) {
    linkStatus_ = open(productId);
    return linkStatus_ == 1 ? productId : 0;
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
    clock_.sleepMs(kPauseMs);
    linkStatus_ = open(productId);
    if (linkStatus_ != 1) return 0;
    writeReport(report);
    return linkStatus_;
}

void ModuleLink::readReply() {
    std::fill(input_.begin(), input_.end(), uint8_t{0});
    const size_t length = std::min<size_t>(caps_.inputReportLength, input_.size());
    if (length == 0 || !readHandle_) {
        linkStatus_ = 0;
        fail(FailureKind::Io, "read", length == 0 ? "the device has no input report" : "no handle for reading");
        return;
    }
    // Only a read that really completed counts as a reply; a failed or
    // timed-out read never leaves an old buffer looking like an answer.
    switch (readHandle_->read(input_.data(), length, kReplyTimeoutMs)) {
        case ReadResult::Ok:
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

int ModuleLink::transact(uint16_t productId, std::span<const std::uint8_t> report) {
    send(productId, report);
    if (linkStatus_ == 1) readReply();
    return linkStatus_ == 1 ? 1 : 0;
}

std::vector<uint16_t> ModuleLink::listModules() {
    std::vector<uint16_t> ids;
    const std::vector<std::string> paths = host_.enumerate();
    writeHandle_.reset();
    for (const std::string& path : paths) {
        std::unique_ptr<HidHandle> handle = host_.open(path, false);
        HidAttributes attrs;
        if (handle && handle->attributes(attrs) && attrs.vendorId == kModuleVendorId) ids.push_back(attrs.productId);
    }
    return ids;
}

}  // namespace zelio
