// The module link: finds a module of the family by product ID, writes one
// command report and optionally waits for one reply report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/hid_host.h"

namespace zelio {

// USB vendor ID shared by the whole module family.
inline constexpr uint16_t kModuleVendorId = 0x1D5A;

class ModuleLink {
public:
    static constexpr int kPauseMs = 40;
    static constexpr int kReplyTimeoutMs = 2000;
    static constexpr size_t kCommandReportLength = 9;  // report ID, marker, code, 5 params

    ModuleLink(HidHost& host, Clock& clock);
    ~ModuleLink();
    ModuleLink(const ModuleLink&) = delete;
    ModuleLink& operator=(const ModuleLink&) = delete;

    // 1 when the module was found and opened, 0 otherwise. Does not touch LinkStatus.
    int open(uint16_t productId);
    // open() into LinkStatus; productId on success, 0 otherwise.
    int connect(uint16_t productId);
    // Command without reply; LinkStatus after the write.
    int send(uint16_t productId, int command, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0);
    // Command with reply; 1 only when the write and the read both succeeded.
    int transact(uint16_t productId, int command, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0);
    // "%02X,%02X,%02X,%02X,%02X,%02X" of reply bytes 1-6 of the last reply.
    std::string replyText() const;
    // ", 0x%x" per attached module of the family, in enumeration order.
    std::string listModules();

    int linkStatus() const { return linkStatus_; }
    bool isOpen() const { return writeHandle_ != nullptr; }
    const HidCaps& caps() const { return caps_; }

private:
    void writeReport(int command, int p1, int p2, int p3, int p4, int p5);
    void readReply();

    HidHost& host_;
    Clock& clock_;
    std::unique_ptr<HidHandle> writeHandle_;
    std::unique_ptr<HidHandle> readHandle_;
    HidCaps caps_{};
    int linkStatus_ = 0;
    std::vector<uint8_t> output_;
    std::vector<uint8_t> input_;
    uint8_t reply_[6] = {};
};

}  // namespace zelio
