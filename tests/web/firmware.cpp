// The modules behind the browser tests' stand-in for navigator.hid: the
// emulator's firmware, one output report at a time, run by node.
#include <emscripten.h>

#include "emulator/emulated_host.h"
#include "manual_clock.h"

namespace {

zelio::ManualClock clock;
zelio::EmulatedHost host(clock);
std::vector<std::vector<uint8_t>> replies;
std::string line;

zelio::VirtualModule& module(int m) { return *host.modules().at(static_cast<size_t>(m)); }

}  // namespace

extern "C" {

// A module in setting mode; its index.
EMSCRIPTEN_KEEPALIVE int fw_add(int zel280, int nibble, int firmware) {
    host.addModule(zel280 ? zelio::Model::Zel280 : zelio::Model::Zel260, nibble, static_cast<uint8_t>(firmware));
    return static_cast<int>(host.modules().size()) - 1;
}
// The product ID the module enumerates with now.
EMSCRIPTEN_KEEPALIVE int fw_product(int m) { return module(m).productId(); }
// Runs one output report; the number of input reports it answers with.
EMSCRIPTEN_KEEPALIVE int fw_report(int m, const uint8_t* data, int length) {
    replies = host.firmwareReplies(module(m), data, static_cast<size_t>(length));
    return static_cast<int>(replies.size());
}
// Input report i of the last fw_report (byte 0 the report ID), 9 bytes.
EMSCRIPTEN_KEEPALIVE const uint8_t* fw_reply(int i) { return replies.at(static_cast<size_t>(i)).data(); }
EMSCRIPTEN_KEEPALIVE const char* fw_state(int m) {
    line = module(m).stateLine();
    return line.c_str();
}
}
