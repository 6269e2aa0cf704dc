// The configurator's decisions as action scripts, each checked against the
// view it leaves: the window's and the page's behaviour, on emulated modules.
#include <gtest/gtest.h>

// A script names only what it checks.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/configurator.h"
#include "emulator/emulated_host.h"
#include "manual_clock.h"

namespace zelio::app {
namespace {

std::string K(Text id) { return std::string(text(id, Language::Korean)); }

// What a script leaves; unset fields are not checked.
struct Expect {
    std::optional<std::string> log, warning, status, stored, selection, panel, title, ask, saved, sent, labels;
    std::optional<int> entry;
    std::optional<bool> menus, waited, repaint, modeLabels;
    std::optional<int> flag;
};

struct Script {
    const char* name;
    const char* modules;  // "", "280", "260", "280 260"; "n" after one: normal mode
    const char* steps;    // actions separated by ';'
    Expect expect;
};

// A row as "<mode><H or .><High box e/d><Test e/d>", eight of them.
std::string panelOf(const State& s) {
    std::string out;
    for (const PanelRow& r : s.rows) {
        if (!out.empty()) out += ' ';
        out += r.caption.empty() ? '?' : r.caption[0];
        out += r.highCheck == 1 ? 'H' : '.';
        out += r.highEnabled ? 'e' : 'd';
        out += r.testEnabled ? 'e' : 'd';
    }
    return out;
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        char t[4];
        std::snprintf(t, sizeof t, "%s%02X", out.empty() ? "" : " ", b);
        out += t;
    }
    return out;
}

const char* kAllPushPull = "p.ee p.ee p.ee p.ee p.ee p.ee p.ee p.ee";
const std::string kBlinkCall = "\r\n Function Call:\r\n\r\n ex) usb_io_output(";

// The module falls silent at its first configuration command (0x43): it
// answers the version command only.
class QuietHandle final : public HidHandle {
public:
    QuietHandle(std::unique_ptr<HidHandle> inner, VirtualModule*& quiet) : inner_(std::move(inner)), quiet_(quiet) {}
    bool attributes(HidAttributes& out) override { return inner_->attributes(out); }
    bool caps(HidCaps& out) override { return inner_->caps(out); }
    bool write(const uint8_t* data, size_t length) override {
        if (quiet_ && length > 3 && data[3] == 0x43) quiet_->silent = true;
        return inner_->write(data, length);
    }
    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override { return inner_->read(buffer, length, timeoutMs); }

private:
    std::unique_ptr<HidHandle> inner_;
    VirtualModule*& quiet_;
};

class QuietHost final : public HidHost {
public:
    explicit QuietHost(HidHost& inner) : inner_(inner) {}
    std::vector<std::string> enumerate() override { return inner_.enumerate(); }
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        auto handle = inner_.open(path, overlapped);
        return handle ? std::make_unique<QuietHandle>(std::move(handle), quiet) : nullptr;
    }
    VirtualModule* quiet = nullptr;

private:
    HidHost& inner_;
};

class Rig {
public:
    explicit Rig(const std::string& modules, Language language = Language::Korean) : core(commands, language) {
        std::istringstream in(modules);
        for (std::string m; in >> m;) {
            const bool normal = m.back() == 'n';
            auto& module = host.addModule(m.rfind("280", 0) == 0 ? Model::Zel280 : Model::Zel260, 3, 0x12,
                                          normal ? ModuleMode::Normal : ModuleMode::Setting);
            byName[m.substr(0, 3)] = &module;
        }
        core.onBusy([this](bool on) { busyNow = on; });
    }

    void run(const std::string& steps) {
        std::istringstream all(steps);
        for (std::string step; std::getline(all, step, ';');) do_(step);
    }

    void do_(const std::string& step) {
        std::istringstream in(step);
        std::string verb, a, b, c, d;
        in >> verb >> a >> b >> c >> d;
        auto n = [](const std::string& t) { return t.empty() ? 0 : std::stoi(t, nullptr, 0); };
        auto caption = [](const std::string& t) {
            return t == "p" ? kCaptionPushPull : t == "o" ? kCaptionOpenDrain : t == "I" ? kCaptionInput : t.c_str();
        };
        if (verb == "start") last = core.start(a.empty() ? std::nullopt : std::optional<std::string_view>(bytes(a)));
        else if (verb == "path") core.setStartupPath(a);
        else if (verb == "show") core.panelShows(n(a), caption(b), n(c));
        else if (verb == "entry") core.listShows(n(a));
        else if (verb == "select") last = core.selectEntry(n(a));
        else if (verb == "mode") last = core.clickMode(n(a));
        else if (verb == "high") core.setHigh(n(a), n(b));
        else if (verb == "write") last = core.write();
        else if (verb == "read") last = core.read();
        else if (verb == "reset") last = core.reset();
        else if (verb == "idchange") last = core.idChange(n(a));
        else if (verb == "search") last = core.search();
        else if (verb == "change") last = core.devicesChanged();
        else if (verb == "resize") core.resized();
        else if (verb == "new") last = core.fileNew();
        else if (verb == "open") last = core.opened("C:\\d\\" + a, a, bytes(b));
        else if (verb == "save") last = core.fileSave(false);
        else if (verb == "saveas") last = core.fileSave(true);
        else if (verb == "chosen") last = core.saveChosen("C:\\d\\" + a, a);
        else if (verb == "failed") last = core.saveFailed();
        else if (verb == "test") {
            const OutputTestKind kind = b == "blink" ? OutputTestKind::Blink : b == "high" ? OutputTestKind::High : OutputTestKind::Low;
            last = core.outputTest(n(a), kind, c == "_" ? "" : c, d == "_" ? "" : d);
        } else if (verb == "unplug") host.unplug(*byName.at(a));
        else if (verb == "plug") host.plug(*byName.at(a));
        else if (verb == "button") host.pressSettingButton(*byName.at(a));
        else if (verb == "refuse") byName.at(a)->refuseWrites = true;
        else if (verb == "silent") byName.at(a)->silent = true;
        else if (verb == "norecord") quiet.quiet = byName.at(a);
        else if (verb == "firmware0") byName.at(a)->firmware = 0;
        else FAIL() << "unknown step " << step;
        EXPECT_FALSE(busyNow) << "the wait cursor stays after " << step;
    }

    // File contents in a script: '_' is a blank, '|' ends the line.
    static std::string bytes(std::string t) {
        for (char& ch : t) ch = ch == '_' ? ' ' : ch == '|' ? '\n' : ch;
        return t == "empty" ? std::string() : t;
    }

    std::string sent() const {
        for (const auto& [name, m] : byName)
            if (!m->received.empty() && m->received.back()[2] != 0x40 && m->received.back()[2] != 0x44)
                return name + ": " + hex(m->received.back());
        return "";
    }

    ManualClock clock;
    EmulatedHost host{clock};
    QuietHost quiet{host};
    ModuleLink link{quiet, clock};
    CommandSet commands{link};
    Configurator core;
    std::map<std::string, VirtualModule*> byName;
    Effects last;
    bool busyNow = false;
};

const char* askName(const std::optional<FileDialog>& f) {
    if (!f) return "";
    return *f == FileDialog::Open ? "open" : *f == FileDialog::Save ? "save" : "saveas";
}

void check(const Script& s, Rig& rig) {
    const State& st = rig.core.state();
    const Expect& e = s.expect;
    if (e.log) { EXPECT_EQ(st.log.str(), *e.log); }
    if (e.warning) { EXPECT_EQ(rig.last.warning, *e.warning); }
    if (e.status) { EXPECT_EQ(st.statusShown, *e.status); }
    if (e.stored) { EXPECT_EQ(st.status.str(), *e.stored); }
    if (e.selection) { EXPECT_EQ(st.selectionShown, *e.selection); }
    if (e.panel) { EXPECT_EQ(panelOf(st), *e.panel); }
    if (e.title) { EXPECT_EQ(st.fileTitle, *e.title); }
    if (e.ask) { EXPECT_EQ(askName(rig.last.askFile), *e.ask); }
    if (e.saved) { EXPECT_EQ(rig.last.saveBytes.value_or("<none>"), *e.saved); }
    if (e.sent) { EXPECT_EQ(rig.sent(), *e.sent); }
    if (e.labels) {
        std::string drawn = rig.last.drawLabels ? (*rig.last.drawLabels == LabelTable::Pin ? "P" : "W") : "-";
        EXPECT_EQ(drawn + (st.labels == LabelTable::Pin ? "P" : "W"), *e.labels) << "drawn now, then shown";
    }
    if (e.entry) { EXPECT_EQ(st.listEntry, *e.entry); }
    if (e.menus) { EXPECT_EQ(st.moduleMenus, *e.menus); }
    if (e.waited) { EXPECT_EQ(rig.last.waited, *e.waited); }
    if (e.repaint) { EXPECT_EQ(rig.last.repaint, *e.repaint); }
    if (e.modeLabels) { EXPECT_EQ(rig.last.refreshModeLabels, *e.modeLabels); }
    if (e.flag) { EXPECT_EQ(st.attachedFlag, *e.flag); }
}

// clang-format off
const Script kScripts[] = {
    // ---- start-up
    {"start without module", "", "start",
     {.log = K(Text::SettingGuide), .status = "", .panel = kAllPushPull, .entry = -1, .menus = false, .flag = 0}},
    {"start with a module in normal mode", "280n", "start", {.log = K(Text::SettingGuide), .menus = false}},
    {"start with a ZEL260", "260", "start",
     {.log = "\r\n > USB I/O 모듈(ZEL260)이 변경모드로 연결되어 있습니다.\r\n",
      .status = " Connected USB Output Module - ZEL260", .menus = true, .flag = 1}},
    {"start with both announces the ZEL280", "260 280", "start", {.status = " Connected USB Output Module - ZEL280"}},
    {"start-up file applied, no label drawn", "", "path a.kbd; start 0263_40_C0_01|",
     {.panel = "pHee oHee p.ee p.ee p.ee p.ee p.ee I.dd", .title = "", .labels = "-W", .entry = 2}},
    {"start-up file with a high bit on an input row", "", "path a.kbd; start 0283_00_01_01|",
     {.panel = "p.ee p.ee p.ee p.ee p.ee p.ee p.ee IHdd", .entry = 11}},

    // ---- channel panel
    {"mode cycles back to push/pull", "", "start; mode 2; mode 2; mode 2", {.panel = kAllPushPull, .modeLabels = true}},
    {"open-drain to input disables the row", "", "start; mode 0; mode 0",
     {.panel = "I.dd p.ee p.ee p.ee p.ee p.ee p.ee p.ee", .modeLabels = true}},
    {"push/pull to open-drain redraws no label", "", "start; mode 7",
     {.panel = "p.ee p.ee p.ee p.ee p.ee p.ee p.ee o.ee", .modeLabels = false}},
    {"selection: labels, empty pane, model in the second", "280", "start; select 3",
     {.status = "", .stored = " Connected USB Output Module - ZEL280", .selection = "Device Selected ZEL260", .labels = "WW", .entry = 3}},
    {"resize shows the stored status again", "280", "start; select 3; resize", {.status = " Connected USB Output Module - ZEL280"}},

    // ---- Write
    {"write without product ID warns, no wait cursor", "280", "start; write",
     {.warning = " USB 장치번호 Product ID를 선택하세요.     ", .sent = "", .waited = false}},
    {"write of a 283 to a ZEL260 warns 261~269", "260", "start; select 11; write",
     {.warning = " 연결된 장치는 Product ID를 261~269 범위에서 선택해야 됩니다.     ", .sent = "", .waited = true}},
    {"write of a 262 to a ZEL280 warns 281~289", "280", "start; select 1; write",
     {.warning = " 연결된 장치는 Product ID를 281~289 범위에서 선택해야 됩니다.     ", .sent = ""}},
    {"write sends the panel under the wait cursor", "280", "start; select 11; mode 1; high 0 1; high 1 1; mode 7; mode 7; write",
     {.log = K(Text::WriteDone), .sent = "280: 55 AA 43 01 03 40 C0 01", .waited = true}},
    {"write counts High boxes checked without notification", "280",
     "start; select 11; show 0 p 1; show 1 o 1; show 7 I 0; write",
     {.sent = "280: 55 AA 43 01 03 40 C0 01"}},
    {"write counts only the checked state 1", "280", "start; select 11; show 0 p 2; write", {.sent = "280: 55 AA 43 01 03 00 00 00"}},
    {"write needs the list to show an entry", "280", "start; select 11; entry -1; write", {.warning = K(Text::SelectProductId), .sent = ""}},
    {"failed write is appended", "280", "start; select 11; refuse 280; write; write",
     {.log = formatText(K(Text::ConnectedAtStart).c_str(), 0x280u) + K(Text::WriteFailed) + K(Text::WriteFailed)}},

    // ---- Read
    {"read shows version and completion and applies", "280", "start; new; read",
     {.log = "\r\n > 펌웨어 버전 1.2\r\n\r\n > 데이타 읽기를 완료하였습니다.\r\n", .panel = kAllPushPull,
      .labels = "PP", .entry = 11, .waited = true, .modeLabels = true}},
    {"read without configuration reply shows only the error", "280", "start; norecord 280; read",
     {.log = "\r\n > 데이타 수신 중에 에러가 발생하였습니다."}},
    {"read from a silent module", "280", "start; silent 280; read", {.log = K(Text::ReceiveFailed), .waited = true}},
    {"read with version 0 stops there", "280", "start; firmware0 280; read", {.log = K(Text::ReceiveFailed), .panel = kAllPushPull}},

    // ---- Reset, ID change, Search
    {"reset clears status and flag", "280", "start; reset",
     {.log = "\r\n > USB 입출력 모드로 변경되었습니다.\r\n", .status = "", .stored = "", .flag = 0}},
    {"a change after reset is silent", "280", "start; reset; change", {.log = K(Text::ResetDone), .status = "", .menus = false}},
    {"failed reset keeps the module announced", "", "start; reset", {.log = "\r\n > 장치 리셋 에러가 발생하였습니다.\r\n"}},
    {"ID change without the module names it", "", "start; idchange 4", {.log = "\r\n > USB 장치(ZEL265)가 없습니다.\r\n"}},
    {"ID change moves a ZEL260 to 260, the change announces it", "260n", "start; idchange 2; change",
     {.log = "\r\n > USB 출력 모듈(ZEL260)이 변경모드로 연결되었습니다.\r\n", .labels = "WW", .menus = true}},
    {"search with nothing attached", "", "start; search", {.log = "\r\n > USB 장치 검색\r\n\r\n   Product ID ", .waited = true}},
    {"search lists every module", "280 260n", "start; search", {.log = K(Text::SearchResult) + " 0x280, 0x263"}},

    // ---- device changes
    {"change with a module enables output rows", "280n", "start; change; mode 0; mode 0; button 280; change",
     {.log = K(Text::ConnectedMessage).replace(K(Text::ConnectedMessage).find("%x"), 2, "280"),
      .panel = "I.dd p.ee p.ee p.ee p.ee p.ee p.ee p.ee", .labels = "PP", .menus = true, .flag = 1}},
    {"unplug is reported at every change", "280", "start; unplug 280; change; change",
     {.log = "\r\n > USB 출력 모듈이 제거되었습니다.\r\n", .status = " Removed USB Output Module",
      .panel = "p.ed p.ed p.ed p.ed p.ed p.ed p.ed p.ed", .menus = false, .flag = 1}},
    {"change without a module ever announced says nothing", "", "start; change", {.log = K(Text::SettingGuide), .status = ""}},
    {"replug draws the module's table, input rows stay disabled", "260", "start; mode 1; mode 1; unplug 260; change; plug 260; change",
     {.status = " Connected USB Output Module - ZEL260", .panel = "p.ee I.dd p.ee p.ee p.ee p.ee p.ee p.ee", .labels = "WW"}},

    // ---- output test
    {"blink 5/5 on channel 3", "280", "start; test 3 blink 5 5", {.log = kBlinkCall + "280,0x55,3,0,0,0);", .sent = "280: 55 AA 45 55 03 00 00 00"}},
    {"blink 15/1", "280", "start; test 1 blink 15 1", {.sent = "280: 55 AA 45 F1 01 00 00 00"}},
    {"blink 0/0 is accepted", "280", "start; test 1 blink 0 0", {.log = kBlinkCall + "280,0x00,1,0,0,0);"}},
    {"blink 16 is refused", "280", "start; test 1 blink 16 5", {.log = "\r\n > 숫자값은 15이하로 입력하세요.", .sent = ""}},
    {"only three characters count", "280", "start; test 1 blink 1234 0", {.log = K(Text::TimeTooLarge)}},
    {"0012 reads as 1, empty as 0", "280", "start; test 2 blink 0012 _", {.sent = "280: 55 AA 45 10 02 00 00 00"}},
    {"a negative time is refused", "280", "start; test 2 blink 5 -1", {.log = K(Text::TimeTooLarge)}},
    {"high on channel 4", "280", "start; test 4 high", {.log = kBlinkCall + "280,0,4,0,0,0);", .sent = "280: 55 AA 45 00 04 00 00 00"}},
    {"low on channel 8", "260", "start; test 8 low", {.log = kBlinkCall + "260,0,-8,0,0,0);", .sent = "260: 55 AA 45 00 F8 00 00 00"}},
    {"no module: no-device text", "", "start; test 1 high", {.log = "\r\n > ID가 0x260 또는 0x280으로 인지되는 장치가 없습니다."}},
    {"link failure with a module", "280", "start; refuse 280; test 1 blink 5 5", {.log = "\r\n > 데이타 전송 에러가 발생하였습니다."}},

    // ---- File
    {"new clears panel, log and title", "", "start; open a.kbd 0283_40_C0_01|; mode 2; new",
     {.log = "", .panel = kAllPushPull, .title = "", .entry = -1, .modeLabels = true}},
    {"new without module: pins first", "", "start; new", {.labels = "PP"}},
    {"new without module: wire colours second", "", "start; new; new", {.labels = "WW"}},
    {"new with a ZEL260: wire colours", "260", "start; new; new", {.labels = "WW"}},
    {"new with a ZEL280: pins", "280", "start; new; new", {.labels = "PP"}},
    {"open restores the panel and the table", "", "start; open a.kbd 0283_40_C0_01|",
     {.panel = "pHee oHee p.ee p.ee p.ee p.ee p.ee I.dd", .title = "a.kbd", .labels = "PP", .entry = 11, .repaint = true}},
    {"open of another family: the paint's pin table", "", "start; open a.kbd 0261; open b.kbd 0300_00_00_00|",
     {.labels = "-P", .repaint = true}},
    {"open of an empty file applies product 0", "", "start; open a.kbd 0261; open b.kbd empty",
     {.panel = kAllPushPull, .labels = "-P", .entry = -1}},
    {"open of 0261 clears the masks", "", "start; mode 0; open a.kbd 0261", {.panel = kAllPushPull, .labels = "WW", .entry = 0}},
    {"blank repair", "", "start; open a.kbd 0261____FF_00|", {.panel = "pHee pHee pHee pHee pHee pHee pHee pHee"}},
    {"open leaves log and toggle count alone", "", "start; open a.kbd 0261; new", {.log = "", .labels = "PP"}},
    {"save without product ID warns", "", "start; save", {.warning = K(Text::SelectProductId), .ask = "", .saved = "<none>"}},
    {"save asks for a name first", "", "start; select 11; save", {.ask = "save"}},
    {"save as always asks", "", "start; open a.kbd 0283; saveas", {.ask = "saveas"}},
    {"save after open writes without asking", "", "start; open a.kbd 0283_40_C0_01|; save",
     {.ask = "", .saved = "0283 40 C0 01\r\n", .repaint = false}},
    {"save writes what the controls show", "", "start; open a.kbd 0283_40_00_01|; show 0 p 1; show 1 o 1; save",
     {.saved = "0283 40 C0 01\r\n"}},
    {"save after new asks again", "", "start; open a.kbd 0283; new; select 11; save", {.ask = "save"}},
    {"the chosen name is kept and repainted", "", "start; select 12; chosen b.kbd",
     {.title = "b.kbd", .saved = "0284 00 00 00\r\n", .repaint = true}},
    {"a failed save names the file", "", "start; select 12; chosen b.kbd; failed",
     {.warning = " 'b.kbd' 파일을 저장할 수 없습니다.     "}},
};
// clang-format on

void PrintTo(const Script& s, std::ostream* out) { *out << s.name; }

class Scripts : public ::testing::TestWithParam<Script> {};

TEST_P(Scripts, LeaveTheirView) {
    Rig rig(GetParam().modules);
    rig.run(GetParam().steps);
    check(GetParam(), rig);
}

INSTANTIATE_TEST_SUITE_P(Configurator, Scripts, ::testing::ValuesIn(kScripts), [](const auto& info) {
    std::string name;
    for (const char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

TEST(ConfiguratorLog, HoldsAt1024CharactersAnd2047Bytes) {
    LogText log;
    log.set(std::string(1500, 'a'));
    EXPECT_EQ(log.str().size(), 1024u);
    log.set(std::string(1000, 'a'));
    for (int i = 0; i < 10; ++i) log.append("가나다");  // 2 bytes each in code page 949
    EXPECT_EQ(log.str().size(), 1000u + 24 * 3);  // 1024 characters, 24 of them Hangul
    std::string hangul;
    for (int i = 0; i < 1100; ++i) hangul += "가";
    log.set(hangul);
    EXPECT_EQ(cp949Length(log.str()), 2046u);  // 1023 characters: one more would need 2048 bytes
    EXPECT_EQ(boundedPrefix("a가", 5, 2), "a");
}

TEST(ConfiguratorOutputTest, EachOpeningStartsWithFiveAndTheChannel) {
    Rig rig("280");
    const OutputTestOpening o = rig.core.openOutputTest(2);
    EXPECT_EQ(o.caption, "Output Test - OUT 3");
    EXPECT_EQ(o.highTime, "5");
    EXPECT_EQ(o.lowTime, "5");
    EXPECT_EQ(digitsOnly("x5-1"), "51");
}

TEST(ConfiguratorModules, TheTrackedListFollowsEveryChange) {
    Rig rig("280n");
    rig.core.trackModules(true);
    rig.run("start");
    EXPECT_EQ(rig.core.state().modules, (std::vector<uint16_t>{0x283}));
    rig.run("button 280; change");
    EXPECT_EQ(rig.core.state().modules, (std::vector<uint16_t>{0x280}));
}

TEST(ConfiguratorTexts, KoreanAndEnglishEntriesAndTheLanguageChoice) {
    for (int i = 0; i < static_cast<int>(Text::Count); ++i) {
        EXPECT_FALSE(text(static_cast<Text>(i), Language::Korean).empty()) << textKey(static_cast<Text>(i));
        EXPECT_FALSE(text(static_cast<Text>(i), Language::English).empty()) << textKey(static_cast<Text>(i));
    }
    EXPECT_EQ(pickLanguage("", "ko-KR"), Language::Korean);
    EXPECT_EQ(pickLanguage("", "kok"), Language::English);
    EXPECT_EQ(pickLanguage("", "en-US"), Language::English);
    EXPECT_EQ(pickLanguage("ko", "en-US"), Language::Korean);
    EXPECT_EQ(pickLanguage("en", "ko"), Language::English);

    Rig rig("", Language::English);
    rig.core.start();
    EXPECT_EQ(rig.core.state().log.str(), text(Text::SettingGuide, Language::English));
    rig.core.setLanguage(Language::Korean);
    EXPECT_EQ(rig.core.state().log.str(), K(Text::SettingGuide));
    rig.run("write");
    EXPECT_EQ(rig.last.warning, K(Text::SelectProductId));
}

}  // namespace
}  // namespace zelio::app
