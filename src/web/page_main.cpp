// The page's entry points: one session at a time, on the granted WebHID
// devices or on the emulated modules of the demo with their bench. The
// page's script calls these one after the other (never two at once: a
// command may wait for the browser in the middle).
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "emulator/emulated_host.h"
#include "web/configurator.h"
#include "web/web_hid_host.h"

namespace {

using namespace zelio;

// The demo's two modules, as zelio-demo.exe has them, with the bench's
// controls: the setting button, plug and unplug, silence.
struct Demo {
    EmulatedHost host{web::browserClock()};
    VirtualModule& zel280 = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);
    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Normal);
};

struct Session {
    explicit Session(HidHost& host) : link(host, web::browserClock()), commands(link), page(commands) {}
    ModuleLink link;
    CommandSet commands;
    web::Configurator page;
};

web::WebHidHost webHid;
std::unique_ptr<Demo> demo;
std::unique_ptr<Session> session;
// A device change the emulator announced during a call: handled as the call
// ends, as the window handles a posted notification after the command.
bool changePending = false;
std::string result;  // the text the last call returned

const char* give(std::string text) {
    result = std::move(text);
    return result.c_str();
}

void settle() {
    while (changePending && session) {
        changePending = false;
        session->page.devicesChanged();
    }
}

std::string benchView() {
    if (!demo) return "[]";
    std::string json = "[";
    for (const auto& m : demo->host.modules()) {
        if (json.size() > 1) json += ',';
        json += "{\"model\":\"" + std::string(m->model() == Model::Zel280 ? "ZEL280" : "ZEL260") +
                "\",\"plugged\":" + (m->plugged() ? "true" : "false") + ",\"silent\":" + (m->silent ? "true" : "false") +
                ",\"line\":" + web::jsonString(m->stateLine()) + ",\"outputs\":[";
        for (int c = 0; c < 8; ++c) {
            char out[32];
            std::snprintf(out, sizeof out, "%s[%d,%d]", c ? "," : "", static_cast<int>(m->outputs[c].kind),
                          static_cast<int>(m->outputs[c].blinkByte));
            json += out;
        }
        json += "]}";
    }
    return json + "]";
}

}  // namespace

extern "C" {

// Starts a fresh session: on the emulated modules (demo != 0) or WebHID.
EMSCRIPTEN_KEEPALIVE void zelio_start(int useDemo) {
    session.reset();
    demo.reset();
    changePending = false;
    if (useDemo) {
        demo = std::make_unique<Demo>();
        demo->host.setOnDevicesChanged([] { changePending = true; });
        session = std::make_unique<Session>(demo->host);
    } else {
        session = std::make_unique<Session>(webHid);
    }
    session->page.start();
}

// The page's commands: what, and up to two numbers and two texts.
//   1 product-ID entry, 2 mode click, 3 High box, 4 Write, 5 Read, 6 Reset,
//   7 ID change item, 8 Search, 9 output test (row, kind, times),
//   10 device change, 11 New,
//   20 bench: setting button, 21 plug/unplug, 22 silent (a = module index)
EMSCRIPTEN_KEEPALIVE void zelio_command(int what, int a, int b, const char* text1, const char* text2) {
    if (!session) return;
    web::Configurator& page = session->page;
    VirtualModule* module = demo && a >= 0 && a < static_cast<int>(demo->host.modules().size())
                                ? demo->host.modules()[static_cast<size_t>(a)].get()
                                : nullptr;
    switch (what) {
        case 1: page.selectProductId(a); break;
        case 2: page.clickMode(a); break;
        case 3: page.setHigh(a, b != 0); break;
        case 4: page.write(); break;
        case 5: page.read(); break;
        case 6: page.reset(); break;
        case 7: page.changeIdTo260(a); break;
        case 8: page.search(); break;
        case 9: page.outputTest(a, static_cast<web::OutputTestKind>(std::clamp(b, 0, 2)), text1, text2); break;
        case 10: page.devicesChanged(); break;
        case 11: page.fileNew(); break;
        case 20: if (module) demo->host.pressSettingButton(*module); break;
        case 21: if (module) module->plugged() ? demo->host.unplug(*module) : demo->host.plug(*module); break;
        case 22: if (module) module->silent = !module->silent; break;
        default: break;
    }
    settle();
}

// Open's bytes may hold zeros: they come as a buffer.
EMSCRIPTEN_KEEPALIVE void zelio_open_file(const char* bytes, int length) {
    if (!session) return;
    // An empty file reads as the empty text, as the window reads it.
    session->page.openFile(bytes && length > 0 ? std::string_view(bytes, static_cast<size_t>(length)) : std::string_view());
}

// Save: the file's bytes, or "" after a warning.
EMSCRIPTEN_KEEPALIVE const char* zelio_save_file() {
    if (!session) return "";
    return give(session->page.saveFile().value_or(std::string()));
}

// {"page": the configurator's view, "bench": the demo's modules,
//  "warning": a message box to show, "filter": the IDs to ask the user for}
EMSCRIPTEN_KEEPALIVE const char* zelio_view() {
    if (!session) return "{}";
    std::string filter;
    for (uint16_t id = 0; id < 0x1000; ++id)
        if (isModuleId(id)) filter += (filter.empty() ? "" : ",") + std::to_string(id);
    return give("{\"page\":" + session->page.view() + ",\"bench\":" + benchView() + ",\"warning\":" +
                web::jsonString(session->page.takeWarning()) + ",\"vendor\":" + std::to_string(kModuleVendorId) +
                ",\"filter\":[" + filter + "]}");
}

}  // extern "C"
