// The page's entry points: one session at a time, on the granted WebHID
// devices or on the emulated modules of the demo with their bench. What the
// page shows and decides is the configurator's (app/configurator.h), as in
// the window; this file turns its state into JSON and the page's calls into
// its actions. The page's script calls these one after the other (never two
// at once: a command may wait for the browser in the middle).
#include <emscripten.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/configurator.h"
#include "config/config_file.h"
#include "emulator/emulated_host.h"
#include "web/web_hid_host.h"

namespace {

using namespace zelio;
using app::Configurator;
using app::Effects;

// A JSON string literal for UTF-8 `text` (quotes included).
std::string json(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}
const char* boolean(bool b) { return b ? "true" : "false"; }

// The demo's two modules, as zelio-demo.exe has them, with the bench's
// controls: the setting button, plug and unplug, silence.
struct Demo {
    EmulatedHost host{web::browserClock()};
    VirtualModule& zel280 = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);
    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Normal);
};

struct Session {
    Session(HidHost& host, app::Language language) : link(host, web::browserClock()), commands(link), core(commands, language) {
        core.trackModules(true);
    }
    ModuleLink link;
    CommandSet commands;
    Configurator core;
    Effects last;                          // of the page's last command
    app::OutputTestOpening test;           // the output test dialog as it opens
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

VirtualModule* benchModule(int index) {
    if (!demo || index < 0 || index >= static_cast<int>(demo->host.modules().size())) return nullptr;
    return demo->host.modules()[static_cast<size_t>(index)].get();
}

// The page's commands, named once: the script asks for this table
// (zelio_commands) and calls them by their index.
struct PageCommand {
    const char* name;
    void (*run)(Session& s, int a, int b, const char* t1, const char* t2);
};
using app::OutputTestKind;
const PageCommand kCommands[] = {
    {"select", [](Session& s, int a, int, const char*, const char*) { s.last = s.core.selectEntry(a); }},
    {"mode", [](Session& s, int a, int, const char*, const char*) { s.last = s.core.clickMode(a); }},
    {"high", [](Session& s, int a, int b, const char*, const char*) { s.core.setHigh(a, b != 0 ? 1 : 0); }},
    {"write", [](Session& s, int, int, const char*, const char*) { s.last = s.core.write(); }},
    {"read", [](Session& s, int, int, const char*, const char*) { s.last = s.core.read(); }},
    {"reset", [](Session& s, int, int, const char*, const char*) { s.last = s.core.reset(); }},
    {"idchange", [](Session& s, int a, int, const char*, const char*) { s.last = s.core.idChange(a); }},
    {"search", [](Session& s, int, int, const char*, const char*) { s.last = s.core.search(); }},
    {"opentest", [](Session& s, int a, int, const char*, const char*) { s.test = s.core.openOutputTest(a); }},
    {"test", [](Session& s, int a, int b, const char* high, const char* low) {
         const OutputTestKind kind = b == 1 ? OutputTestKind::High : b == 2 ? OutputTestKind::Low : OutputTestKind::Blink;
         s.last = s.core.outputTest(a + 1, kind, high, low);
     }},
    {"change", [](Session& s, int, int, const char*, const char*) { s.last = s.core.devicesChanged(); }},
    {"new", [](Session& s, int, int, const char*, const char*) { s.last = s.core.fileNew(); }},
    {"save", [](Session& s, int, int, const char*, const char*) { s.last = s.core.fileSave(false); }},
    {"saveas", [](Session& s, int, int, const char*, const char*) { s.last = s.core.fileSave(true); }},
    // The name typed for a save (the browser's stand-in for the save dialog).
    {"chosen", [](Session& s, int, int, const char* name, const char*) {
         const std::string file = app::withDefaultExtension(name);
         s.last = s.core.saveChosen(file, file);
     }},
    {"language", [](Session& s, int a, int, const char*, const char*) {
         s.core.setLanguage(a ? app::Language::English : app::Language::Korean);
     }},
    {"bench-setting", [](Session&, int a, int, const char*, const char*) {
         if (VirtualModule* m = benchModule(a)) demo->host.pressSettingButton(*m);
     }},
    {"bench-plug", [](Session&, int a, int, const char*, const char*) {
         if (VirtualModule* m = benchModule(a)) m->plugged() ? demo->host.unplug(*m) : demo->host.plug(*m);
     }},
    {"bench-silent", [](Session&, int a, int, const char*, const char*) {
         if (VirtualModule* m = benchModule(a)) m->silent = !m->silent;
     }},
};
constexpr int kCommandCount = static_cast<int>(sizeof kCommands / sizeof kCommands[0]);

void settle() {
    while (changePending && session) {
        changePending = false;
        session->last = session->core.devicesChanged();
    }
}

std::string benchView() {
    if (!demo) return "[]";
    std::string out = "[";
    for (const auto& m : demo->host.modules()) {
        if (out.size() > 1) out += ',';
        out += "{\"model\":" + json(modelName(m->family())) + ",\"plugged\":" + boolean(m->plugged()) +
               ",\"silent\":" + boolean(m->silent) + ",\"line\":" + json(m->stateLine()) + ",\"outputs\":[";
        for (int c = 0; c < 8; ++c) {
            char lamp[32];
            std::snprintf(lamp, sizeof lamp, "%s[%d,%d]", c ? "," : "", static_cast<int>(m->outputs[c].kind),
                          static_cast<int>(m->outputs[c].blinkByte));
            out += lamp;
        }
        out += "]}";
    }
    return out + "]";
}

// The core's state and the last command's effects.
std::string pageView(const Session& s) {
    const app::State& st = s.core.state();
    std::string out = "{\"log\":" + json(st.log.str()) + ",\"status\":" + json(st.statusShown) +
                      ",\"selected\":" + json(st.selectionShown) + ",\"entry\":" + std::to_string(st.listEntry) +
                      ",\"attached\":" + boolean(st.moduleMenus) + ",\"title\":" + json(st.fileTitle) + ",\"entries\":[";
    const char* comma = "";
    for (const std::string& entry : productIdEntries()) {
        out += comma + json(entry);
        comma = ",";
    }
    out += "],\"rows\":[";
    comma = "";
    for (int r = 0; r < kChannelCount; ++r) {
        const PanelRow& row = st.rows[static_cast<size_t>(r)];
        out += std::string(comma) + "{\"caption\":" + json(row.caption) + ",\"label\":" + json(s.core.modeLabel(r)) +
               ",\"high\":" + boolean(row.highCheck == 1) + ",\"highEnabled\":" + boolean(row.highEnabled) +
               ",\"testEnabled\":" + boolean(row.testEnabled) + "}";
        comma = ",";
    }
    out += "],\"labels\":[";
    comma = "";
    for (const std::string& label : labelRows(st.labels)) {
        out += comma + json(label);
        comma = ",";
    }
    out += "],\"modules\":[";
    comma = "";
    for (const uint16_t id : st.modules) {
        char line[32];
        std::snprintf(line, sizeof line, "0x%x %s", static_cast<unsigned>(id), std::string(modelName(id)).c_str());
        out += comma + json(line);
        comma = ",";
    }
    out += "],\"idChange\":[";
    comma = "";
    for (int item = 0; item < kIdChangeItems; ++item) {
        out += comma + json(app::formatText(s.core.text(app::Text::IdChangeItem).data(),
                                            static_cast<unsigned>(*idChangeTarget(item))));
        comma = ",";
    }
    const Effects& e = s.last;
    const char* ask = !e.askFile ? "" : *e.askFile == app::FileDialog::Open ? "open" : *e.askFile == app::FileDialog::Save ? "save" : "saveas";
    out += "],\"test\":{\"caption\":" + json(s.test.caption) + ",\"high\":" + json(s.test.highTime) +
           ",\"low\":" + json(s.test.lowTime) + "},\"effects\":{\"warning\":" + json(e.warning) +
           ",\"ask\":" + json(ask) + ",\"save\":" + (e.saveBytes ? json(*e.saveBytes) : std::string("null")) +
           ",\"title\":" + json(s.core.text(app::Text::MessageBoxTitle)) + "}}";
    return out;
}

}  // namespace

extern "C" {

// Starts a fresh session: on the emulated modules (demo != 0) or WebHID, in
// the language the user stored ("ko", "en", "") or else the browser's.
EMSCRIPTEN_KEEPALIVE void zelio_start(int useDemo, const char* storedLanguage, const char* browserLanguage) {
    session.reset();
    demo.reset();
    changePending = false;
    const app::Language language = app::pickLanguage(storedLanguage ? storedLanguage : "", browserLanguage ? browserLanguage : "");
    if (useDemo) {
        demo = std::make_unique<Demo>();
        demo->host.setOnDevicesChanged([] { changePending = true; });
        session = std::make_unique<Session>(demo->host, language);
    } else {
        session = std::make_unique<Session>(webHid, language);
    }
    session->last = session->core.start();
}

// The names of the commands, in the order of their numbers (a JSON array).
EMSCRIPTEN_KEEPALIVE const char* zelio_commands() {
    std::string out = "[";
    for (int i = 0; i < kCommandCount; ++i) out += (i ? "," : "") + json(kCommands[i].name);
    return give(out + "]");
}

// Command `what` of the table, with up to two numbers and two texts.
EMSCRIPTEN_KEEPALIVE void zelio_command(int what, int a, int b, const char* text1, const char* text2) {
    if (!session || what < 0 || what >= kCommandCount) return;
    session->last = Effects{};
    kCommands[what].run(*session, a, b, text1 ? text1 : "", text2 ? text2 : "");
    settle();
}

// The file chosen for Open, with its first bytes (they may hold zeros).
EMSCRIPTEN_KEEPALIVE void zelio_open_file(const char* name, const char* bytes, int length) {
    if (!session) return;
    // An empty file reads as the empty text, as the window reads it.
    const std::string_view content = bytes && length > 0 ? std::string_view(bytes, static_cast<size_t>(length)) : std::string_view();
    session->last = session->core.opened(name ? name : "", name ? name : "", content);
}

// What a digits-only time field keeps of `typed`.
EMSCRIPTEN_KEEPALIVE const char* zelio_time_field(const char* typed) { return give(app::digitsOnly(typed ? typed : "")); }

// {"page": the core's view and effects, "bench": the demo's modules,
//  "vendor", "filter": the IDs to ask the user for, "readLimit": the bytes
//  of a file that count, "defaultName" to propose for a save, "lang" and
//  "texts": the page's texts}
EMSCRIPTEN_KEEPALIVE const char* zelio_view() {
    if (!session) return "{}";
    std::string filter;
    for (uint16_t id = 0; id < 0x1000; ++id)
        if (isModuleId(id)) filter += (filter.empty() ? "" : ",") + std::to_string(id);
    std::string texts;
    for (int i = 0; i < static_cast<int>(app::Text::Count); ++i) {
        const auto id = static_cast<app::Text>(i);
        texts += (i ? "," : "") + json(app::textKey(id)) + ":" + json(session->core.text(id));
    }
    return give("{\"page\":" + pageView(*session) + ",\"bench\":" + benchView() + ",\"vendor\":" +
                std::to_string(kModuleVendorId) + ",\"filter\":[" + filter + "],\"readLimit\":" +
                std::to_string(kConfigReadLimit) + ",\"defaultName\":" + json(app::withDefaultExtension("zelio")) + ",\"lang\":" + json(app::languageCode(session->core.language())) +
                ",\"texts\":{" + texts + "}}");
}

}  // extern "C"
