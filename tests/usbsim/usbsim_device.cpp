// The device side of one virtual USB device in the rig's guest: a configfs
// HID gadget bound to a dummy_hcd controller, and for a module the
// emulator's firmware on the output reports read from /dev/hidgN, its
// replies written back there as input reports.
//
//   usbsim-device NAME UDC 280|260:setting|normal[:FAULT,...]
//   usbsim-device NAME UDC VID:PID        (another vendor's device, never answers)
//   usbsim-device NAME UDC keyboard
//
// FAULTs: silent, late=MS, hold-writes, wide, unplug, id=N (as zelio-hidsim
// has them). After every report the state line goes to /run/usbsim/NAME.state;
// a line "silent=0|1" or "late=MS" in /run/usbsim/NAME.set is applied before
// the next report. A reset or an ID change unbinds the gadget and binds it
// again under the new product ID; a module pulled out stays unbound.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulated_host.h"

namespace {

using namespace zelio;
using Steady = std::chrono::steady_clock;

std::string gadgetDir;
constexpr int kOutQueue = 4;  // OUT requests the function keeps queued

bool put(const std::string& file, const std::string& text) {
    std::ofstream out(gadgetDir + "/" + file, std::ios::binary);
    out << text;
    out.close();
    if (!out) std::fprintf(stderr, "usbsim-device: cannot write %s/%s\n", gadgetDir.c_str(), file.c_str());
    return static_cast<bool>(out);
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

// Vendor page, input and output of `count` bytes, no report IDs (as the
// Wine driver's modules).
std::string vendorDescriptor(unsigned count) {
    const unsigned char d[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                               0x09, 0x02, 0x95, static_cast<unsigned char>(count), 0x81, 0x02, 0x09, 0x03, 0x95,
                               static_cast<unsigned char>(count), 0x91, 0x02, 0xC0};
    return std::string(reinterpret_cast<const char*>(d), sizeof d);
}

std::string keyboardDescriptor() {
    const unsigned char d[] = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00,
                               0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01,
                               0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65,
                               0x81, 0x00, 0xC0};
    return std::string(reinterpret_cast<const char*>(d), sizeof d);
}

// Makes the gadget (once) with its function and configuration.
bool create(unsigned vid, unsigned pid, const std::string& serial, const std::string& descriptor, unsigned length,
            bool keyboard) {
    mkdir(gadgetDir.c_str(), 0755);
    for (const char* d : {"/strings/0x409", "/configs/c.1", "/configs/c.1/strings/0x409", "/functions/hid.0"})
        mkdir((gadgetDir + d).c_str(), 0755);
    bool ok = put("idVendor", hex4(vid)) && put("idProduct", hex4(pid)) && put("bcdDevice", "0x0100") &&
              put("strings/0x409/manufacturer", keyboard ? "Keys Inc" : "ZELIO") &&
              put("strings/0x409/product", keyboard ? "Keyboard" : "USB I/O module") &&
              put("strings/0x409/serialnumber", serial) && put("configs/c.1/strings/0x409/configuration", "c") &&
              put("configs/c.1/MaxPower", "100") && put("functions/hid.0/protocol", keyboard ? "1" : "0") &&
              put("functions/hid.0/subclass", keyboard ? "1" : "0") &&
              put("functions/hid.0/report_length", std::to_string(length)) &&
              put("functions/hid.0/report_desc", descriptor);
    symlink((gadgetDir + "/functions/hid.0").c_str(), (gadgetDir + "/configs/c.1/hid.0").c_str());
    return ok;
}

// /dev/hidgN of the gadget's function.
std::string nodeOfFunction() {
    std::ifstream in(gadgetDir + "/functions/hid.0/dev");
    std::string majorMinor;
    in >> majorMinor;
    return "/dev/hidg" + majorMinor.substr(majorMinor.find(':') + 1);
}

void writeState(const std::string& name, const VirtualModule& m) {
    const std::string path = "/run/usbsim/" + name + ".state";
    {
        std::ofstream out(path + ".new");
        out << m.stateLine() << '\n';
    }
    std::rename((path + ".new").c_str(), path.c_str());
}

void applySettings(const std::string& name, VirtualModule& m) {
    const std::string path = "/run/usbsim/" + name + ".set";
    std::ifstream in(path);
    if (!in) return;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("silent=", 0) == 0) m.silent = line[7] == '1';
        if (line.rfind("late=", 0) == 0) m.replyDelayMs = std::atoi(line.c_str() + 5);
    }
    unlink(path.c_str());
}

// For the "writes never complete" fault: the function keeps a few OUT
// requests queued for the host, and a device that reads none stalls the
// host's writes only once they are full. Fills them through the host's own
// hidraw node of this gadget.
void fillOutQueue(const std::string& udc, unsigned length) {
    const std::string hcd = "/sys/devices/platform/dummy_hcd." + udc.substr(udc.rfind('.') + 1);
    for (int tries = 0; tries < 100; ++tries) {
        FILE* found = popen(("ls -d " + hcd + "/usb*/*/*:1.0/*/hidraw/hidraw* 2>/dev/null").c_str(), "r");
        char line[512] = {0};
        const bool got = found && std::fgets(line, sizeof line, found);
        if (found) pclose(found);
        if (got) {
            std::string node(line);
            node = "/dev/" + node.substr(node.rfind('/') + 1, node.find('\n') - node.rfind('/') - 1);
            const int fd = open(node.c_str(), O_WRONLY);
            std::vector<uint8_t> report(length + 1, 0);
            for (int i = 0; fd >= 0 && i < kOutQueue; ++i)
                if (write(fd, report.data(), report.size()) < 0) break;
            if (fd >= 0) close(fd);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: usbsim-device NAME UDC 280|260:MODE[:FAULT,...] | VID:PID | keyboard\n");
        return 2;
    }
    const std::string name = argv[1], udc = argv[2], what = argv[3];
    gadgetDir = "/sys/kernel/config/usb_gadget/" + name;
    mkdir("/run/usbsim", 0755);

    EmulatedHost emulator;
    VirtualModule* m = nullptr;
    ModuleDescription o;
    unsigned vid = 0, pid = 0;
    const bool keyboard = what == "keyboard";
    if (keyboard) {
        vid = 0x1234, pid = 0x0001;
    } else if (const auto d = parseModuleDescription(what)) {
        o = *d;
        m = &emulator.addModule(o.model, o.idNibble, 0x12, o.mode);
        o.applyTo(*m);
        vid = kModuleVendorId, pid = m->productId();
    } else if (std::sscanf(what.c_str(), "%x:%x", &vid, &pid) != 2) {
        std::fprintf(stderr, "usbsim-device: bad device %s\n", what.c_str());
        return 2;
    }
    const unsigned length = m ? m->outputReportLength - 1u : 8u;
    if (!create(vid, pid, "SIM" + name, keyboard ? keyboardDescriptor() : vendorDescriptor(length), length, keyboard) ||
        !put("UDC", udc))
        return 1;
    const int fd = open(nodeOfFunction().c_str(), O_RDWR);
    if (fd < 0) {
        std::perror("usbsim-device: open hidg");
        return 1;
    }
    if (m) writeState(name, *m);
    if (o.holdWrites) fillOutQueue(udc, length);
    std::printf("usbsim-device %s up\n", name.c_str());
    std::fflush(stdout);

    struct Due {
        Steady::time_point at;
        std::vector<uint8_t> report;
    };
    std::deque<Due> out;
    for (;;) {
        int timeout = -1;
        if (!out.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(out.front().at - Steady::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd p{fd, static_cast<short>(o.holdWrites ? 0 : POLLIN), 0};
        if (!out.empty() && timeout == 0) p.events |= POLLOUT;
        if (poll(&p, 1, timeout == 0 ? 100 : timeout) < 0) continue;
        if (p.revents & POLLOUT) {
            // One report per write; the host takes it on its next poll.
            if (write(fd, out.front().report.data() + 1, out.front().report.size() - 1) > 0) out.pop_front();
        }
        if (!(p.revents & POLLIN)) continue;
        uint8_t report[65] = {0};
        const ssize_t got = read(fd, report + 1, sizeof report - 1);
        if (got <= 0 || !m) continue;  // another vendor's device answers nothing
        applySettings(name, *m);
        const uint16_t before = m->productId();
        for (auto& reply : emulator.firmwareReplies(*m, report, static_cast<size_t>(got) + 1))
            out.push_back({Steady::now() + std::chrono::milliseconds(m->replyDelayMs), std::move(reply)});
        writeState(name, *m);
        if (m->productId() == before) continue;
        // Re-enumerated: the reply reaches the host first, then the device
        // leaves and, unless it was pulled out, comes back with its new ID.
        const auto until = Steady::now() + std::chrono::milliseconds(300);
        while (!out.empty() && Steady::now() < until) {
            pollfd w{fd, POLLOUT, 0};
            if (poll(&w, 1, 20) > 0 && write(fd, out.front().report.data() + 1, out.front().report.size() - 1) > 0)
                out.pop_front();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        out.clear();
        put("UDC", "\n");
        if (m->productId() == 0) continue;
        put("idProduct", hex4(m->productId()));
        put("UDC", udc);
    }
}
