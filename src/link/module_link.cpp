#include "link/module_link.h"

#include <algorithm>
#include <cstdio>

namespace zelio {

ModuleLink::ModuleLink(HidHost& host, Clock& clock)
    : host_(host), clock_(clock), output_(kCommandReportLength, 0), input_(kCommandReportLength, 0) {}

ModuleLink::~ModuleLink() = default;

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
        return 1;
    }
    return 0;
}

int ModuleLink::connect(uint16_t productId) {
    linkStatus_ = open(productId);
    return linkStatus_ == 1 ? productId : 0;
}

void ModuleLink::writeReport(int command, int p1, int p2, int p3, int p4, int p5) {
    std::fill(output_.begin(), output_.end(), uint8_t{0});
    output_[0] = 0;
    output_[1] = 0x55;
    output_[2] = 0xAA;
    output_[3] = static_cast<uint8_t>(command);
    output_[4] = static_cast<uint8_t>(p1);
    output_[5] = static_cast<uint8_t>(p2);
    output_[6] = static_cast<uint8_t>(p3);
    output_[7] = static_cast<uint8_t>(p4);
    output_[8] = static_cast<uint8_t>(p5);
    const size_t length = std::min<size_t>(caps_.outputReportLength, output_.size());
    if (length == 0 || !writeHandle_->write(output_.data(), length)) linkStatus_ = 0;
}

int ModuleLink::send(uint16_t productId, int command, int p1, int p2, int p3, int p4, int p5) {
    clock_.sleepMs(kPauseMs);
    linkStatus_ = open(productId);
    if (linkStatus_ != 1) return 0;
    writeReport(command, p1, p2, p3, p4, p5);
    return linkStatus_;
}

void ModuleLink::readReply() {
    std::fill(input_.begin(), input_.end(), uint8_t{0});
    const size_t length = std::min<size_t>(caps_.inputReportLength, input_.size());
    if (length == 0 || !readHandle_) {
        linkStatus_ = 0;
        return;
    }
    // Only a read that really completed counts as a reply; a failed or
    // timed-out read never leaves an old buffer looking like an answer.
    if (readHandle_->read(input_.data(), length, kReplyTimeoutMs) != ReadResult::Ok) {
        linkStatus_ = 0;
        return;
    }
    for (size_t k = 0; k < 6; ++k) reply_[k] = input_[1 + k];
}

int ModuleLink::transact(uint16_t productId, int command, int p1, int p2, int p3, int p4, int p5) {
    send(productId, command, p1, p2, p3, p4, p5);
    if (linkStatus_ == 1) readReply();
    return linkStatus_ == 1 ? 1 : 0;
}

std::string ModuleLink::replyText() const {
    char text[3 * 6];
    std::snprintf(text, sizeof text, "%02X,%02X,%02X,%02X,%02X,%02X", reply_[0], reply_[1], reply_[2],
                  reply_[3], reply_[4], reply_[5]);
    return text;
}

std::string ModuleLink::listModules() {
    std::string list;
    const std::vector<std::string> paths = host_.enumerate();
    writeHandle_.reset();
    for (const std::string& path : paths) {
        std::unique_ptr<HidHandle> handle = host_.open(path, false);
        HidAttributes attrs;
        if (handle && handle->attributes(attrs) && attrs.vendorId == kModuleVendorId) {
            char entry[16];
            std::snprintf(entry, sizeof entry, ", 0x%x", static_cast<unsigned>(attrs.productId));
            list += entry;
        }
    }
    return list;
}

}  // namespace zelio
