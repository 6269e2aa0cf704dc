#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "cli/cli.h"
#include "cli/cli_devices.h"
#include "cli/cli_text.h"
#include "cli_support.h"
#include "config/config_file.h"
#include "emulator/emulated_host.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

using Bytes = std::vector<uint8_t>;

// Just enough JSON to check what --json prints: a parse that fails on
// anything malformed, and the values as a tree.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    std::string text;  // a string's value, a number's digits
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json missing;
        const auto it = members.find(key);
        return it == members.end() ? missing : it->second;
    }
    bool has(const std::string& key) const { return members.count(key) != 0; }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : t_(text) {}
    // The one value `text` holds (white space around it allowed), or nullopt.
    std::optional<Json> parse() {
        Json value;
        if (!valueAt(value)) return std::nullopt;
        skip();
        if (i_ != t_.size()) return std::nullopt;
        return value;
    }

private:
    void skip() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\r' || t_[i_] == '\t')) ++i_;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (t_.compare(i_, w.size(), w) != 0) return false;
        i_ += w.size();
        return true;
    }
    bool stringAt(std::string& out) {
        if (t_[i_] != '"') return false;
        for (++i_; i_ < t_.size(); ++i_) {
            const char c = t_[i_];
            if (c == '"') {
                ++i_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i_ >= t_.size()) return false;
            const char e = t_[i_];
            if (e == 'u') {
                if (i_ + 4 >= t_.size()) return false;
                for (int k = 1; k <= 4; ++k)
                    if (!std::isxdigit(static_cast<unsigned char>(t_[i_ + k]))) return false;
                out += "\\u" + t_.substr(i_ + 1, 4);
                i_ += 4;
            } else if (std::string("\"\\/bfnrt").find(e) != std::string::npos) {
                out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            } else {
                return false;
            }
        }
        return false;
    }
    bool valueAt(Json& v) {
        skip();
        if (i_ >= t_.size()) return false;
        const char c = t_[i_];
        if (c == '{') {
            v.kind = Json::Object;
            ++i_;
            skip();
            if (i_ < t_.size() && t_[i_] == '}') return ++i_, true;
            for (;;) {
                skip();
                std::string key;
                if (i_ >= t_.size() || !stringAt(key)) return false;
                skip();
                if (i_ >= t_.size() || t_[i_++] != ':') return false;
                if (v.members.count(key) || !valueAt(v.members[key])) return false;
                skip();
                if (i_ >= t_.size()) return false;
                if (t_[i_] == '}') return ++i_, true;
                if (t_[i_++] != ',') return false;
            }
        }
        if (c == '[') {
            v.kind = Json::Array;
            ++i_;
            skip();
            if (i_ < t_.size() && t_[i_] == ']') return ++i_, true;
            for (;;) {
                v.items.emplace_back();
                if (!valueAt(v.items.back())) return false;
                skip();
                if (i_ >= t_.size()) return false;
                if (t_[i_] == ']') return ++i_, true;
                if (t_[i_++] != ',') return false;
            }
        }
        if (c == '"') return v.kind = Json::String, stringAt(v.text);
        if (literal("true")) return v.kind = Json::Bool, v.boolean = true, true;
        if (literal("false")) return v.kind = Json::Bool, true;
        if (literal("null")) return v.kind = Json::Null, true;
        const size_t start = i_;
        if (i_ < t_.size() && t_[i_] == '-') ++i_;
        while (i_ < t_.size() && (std::isdigit(static_cast<unsigned char>(t_[i_])) || t_[i_] == '.')) ++i_;
        if (i_ == start) return false;
        v.kind = Json::Number;
        v.text = t_.substr(start, i_ - start);
        return true;
    }

    const std::string& t_;
    size_t i_ = 0;
};

// A clock that runs `onSleep` after every pause, so that modules can be
// plugged and unplugged while the CLI waits.
class ScriptedClock final : public Clock {
public:
    void sleepMs(int ms) override {
        if (ms > 0) now_ += ms;
        if (onSleep) onSleep(ms);
    }
    int64_t nowMs() override { return now_; }
    std::function<void(int)> onSleep;

private:
    int64_t now_ = 0;
};

// Output whose every write fails, as stdout redirected to /dev/full.
class FullSink final : public TextSink {
public:
    void write(std::string_view) override { failed_ = true; }
    bool failed() const override { return failed_; }

private:
    bool failed_ = false;
};

Bytes params(int code, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0) {
    return {0x55, 0xAA, static_cast<uint8_t>(code), static_cast<uint8_t>(p1), static_cast<uint8_t>(p2),
            static_cast<uint8_t>(p3), static_cast<uint8_t>(p4), static_cast<uint8_t>(p5)};
}

std::filesystem::path utf8Path(const std::string& s) { return std::filesystem::path(std::u8string(s.begin(), s.end())); }

std::string utf8(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

class CliTest : public ::testing::Test {
protected:
    ManualClock clock;
    EmulatedHost host{clock};
    StringSink out, err;
    // No udev folders of the machine running the tests; a fixed time.
    CliEnvironment env{"hidapi 9.9.9", {}, nullptr, [] { return std::string("2026-01-02T03:04:05Z"); }, {}};

    int run(std::vector<std::string> args) {
        out.clear();
        err.clear();
        return runCli(args, out, err, host, clock, env);
    }

    // The one JSON object printed by a --json run, which must return `code`.
    Json runJson(int code, std::vector<std::string> args) {
        SCOPED_TRACE(::testing::PrintToString(args));
        args.push_back("--json");
        EXPECT_EQ(run(args), code);
        EXPECT_EQ(err.str(), "");
        const std::string text = out.str();
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;  // one line
        const auto json = JsonParser(text).parse();
        EXPECT_TRUE(json && json->kind == Json::Object) << text;
        if (!json) return Json{};
        EXPECT_EQ((*json)["ok"].boolean, code == kExitOk) << text;
        if (code != kExitOk) {
            EXPECT_EQ((*json)["error"].text, exitCodeName(code)) << text;
            EXPECT_EQ((*json)["message"].kind, Json::String) << text;
        }
        return *json;
    }

    // The run failed with `code`, printed nothing on stdout and exactly one
    // line on stderr.
    void expectOneLineError(int code, const std::vector<std::string>& args) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(run(args), code);
        EXPECT_EQ(out.str(), "");
        const std::string text = err.str();
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.rfind("zelioctl: ", 0), 0u) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    }

    // The run failed with `code`, printed nothing on stdout, and on stderr a
    // "zelioctl: " line followed by indented detail lines; returns stderr.
    std::string expectError(int code, const std::vector<std::string>& args) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(run(args), code);
        EXPECT_EQ(out.str(), "");
        const std::string text = err.str();
        EXPECT_EQ(text.rfind("zelioctl: ", 0), 0u) << text;
        for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1))
            EXPECT_EQ(text.compare(at + 1, 2, "  "), 0) << text;
        return text;
    }

    uint64_t totalReports() {
        uint64_t n = 0;
        for (const auto& m : host.modules()) n += m->reportCount;
        return n;
    }
};

// A scratch folder of the test's own, removed afterwards.
class CliFileTest : public CliTest {
protected:
    std::filesystem::path dir;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() / (std::string("zelioctl_") + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string file(const std::string& name) const { return utf8(dir / utf8Path(name)); }
    static std::string contents(const std::string& path) {
        std::ifstream in(utf8Path(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

const char* const kTable0283 =
    "0283 40 C0 01\n"
    "CH  MODE        DEFAULT\n"
    "1   push/pull   high\n"
    "2   open-drain  high\n"
    "3   push/pull   low\n"
    "4   push/pull   low\n"
    "5   push/pull   low\n"
    "6   push/pull   low\n"
    "7   push/pull   low\n"
    "8   input       -\n";

// ------------------------------------------------------------ usage

TEST_F(CliTest, HelpPrintsUsageAndBadCommandLinesAreUsageErrors) {
    EXPECT_EQ(run({"help"}), kCliOk);
    EXPECT_EQ(out.str(), cliUsage());
    EXPECT_NE(out.str().find("write PID OD HIGH IN"), std::string::npos);
    EXPECT_EQ(err.str(), "");

    expectOneLineError(kCliUsage, {});
    expectOneLineError(kCliUsage, {"frobnicate"});
    EXPECT_NE(err.str().find("frobnicate"), std::string::npos);
    expectOneLineError(kCliUsage, {"help", "me"});
    expectOneLineError(kCliUsage, {"list", "all"});
    expectOneLineError(kCliUsage, {"version", "1"});
    expectOneLineError(kCliUsage, {"--emulate", "list"});  // only main() knows that option
}

// ------------------------------------------------------------ list / attach / version

TEST_F(CliTest, ListShowsEveryModuleOfTheFamilyAndExits3WithoutOne) {
    expectOneLineError(kExitNoModule, {"list"});

    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    host.addForeignDevice(0x046D, 0xC52B);
    host.addLockedInterface();
    host.addModule(Model::Zel260, 2, 0x10, ModuleMode::Normal).serial = "A17";
    EXPECT_EQ(run({"list"}), kCliOk);
    EXPECT_EQ(out.str(),
              "PID    MODEL   MODE     PATH     PORT   SERIAL  ACCESS\n"
              "0x280  ZEL280  setting  emu://0  1-1.1  -       yes\n"
              "0x262  ZEL260  I/O      emu://3  1-1.2  A17     yes\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, AttachPrefersTheZel280AndFailsWithoutASettingModeModule) {
    host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal);  // 0x283 does not count
    expectError(kExitNoModule, {"attach"});

    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    EXPECT_EQ(run({"attach"}), kCliOk);
    EXPECT_EQ(out.str(), "0x260\n");

    host.pressSettingButton(*host.modules()[0]);
    EXPECT_EQ(run({"attach"}), kCliOk);
    EXPECT_EQ(out.str(), "0x280\n");
    EXPECT_EQ(zel260.reportCount, 0u);  // attaching sends nothing
}

TEST_F(CliTest, VersionPrintsMajorDotMinor) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(run({"version"}), kCliOk);
    EXPECT_EQ(out.str(), "1.2\n");

    host.modules()[0]->firmware = 0xAF;
    EXPECT_EQ(run({"version"}), kCliOk);
    EXPECT_EQ(out.str(), "10.15\n");
}

TEST_F(CliTest, VersionFailsForNoModuleASilentModuleAndVersionByteZero) {
    expectOneLineError(kExitNoModule, {"version"});

    VirtualModule& m = host.addModule(Model::Zel260, 1, 0x00, ModuleMode::Setting);
    expectOneLineError(kCliFailed, {"version"});  // 0 cannot be told from a failure

    m.firmware = 0x10;
    m.silent = true;
    expectOneLineError(kExitTimeout, {"version"});
    EXPECT_EQ(m.received.back(), params(0x40));
}

// ------------------------------------------------------------ read

TEST_F(CliTest, ReadPrintsTheFileLineAndTheChannelTable) {
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    m.openDrainMask = 0x40;
    m.highMask = 0xC0;
    m.inputMask = 0x01;
    EXPECT_EQ(run({"read"}), kCliOk);
    EXPECT_EQ(out.str(), kTable0283);
    EXPECT_EQ(m.received.back(), params(0x43, 0));
}

TEST_F(CliTest, ReadShowsOpenDrainOverInputAndTheSettingIdForNibbleZero) {
    VirtualModule& m = host.addModule(Model::Zel260, 0, 0x10, ModuleMode::Setting);
    m.openDrainMask = 0x81;
    m.inputMask = 0x03;
    m.highMask = 0x02;
    EXPECT_EQ(run({"read"}), kCliOk);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, text.find('\n')), "0260 81 02 03");
    EXPECT_NE(text.find("\n1   open-drain  low\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n7   input       -\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n8   open-drain  low\n"), std::string::npos) << text;
}

TEST_F(CliTest, ReadFailsWhenTheModuleDoesNotAnswer) {
    expectOneLineError(kExitNoModule, {"read"});
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    m.silent = true;
    expectOneLineError(kExitTimeout, {"read"});
    EXPECT_EQ(m.received.back(), params(0x43, 0));
}

// ------------------------------------------------------------ write

TEST_F(CliTest, WriteStoresTheConfigurationInTheModule) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(run({"write", "283", "40", "C0", "01"}), kCliOk);
    EXPECT_EQ(err.str(), "");
    EXPECT_NE(out.str().find("0283 40 C0 01"), std::string::npos);
    EXPECT_EQ(m.idNibble, 3);
    EXPECT_EQ(m.openDrainMask, 0x40);
    EXPECT_EQ(m.highMask, 0xC0);
    EXPECT_EQ(m.inputMask, 0x01);
    // The write, then the read-back that verifies it.
    ASSERT_EQ(m.received.size(), 2u);
    EXPECT_EQ(m.received[0], params(0x43, 1, 3, 0x40, 0xC0, 0x01));
    EXPECT_EQ(m.received[1], params(0x43, 0));

    // A 0x prefix and lower case are fine too; --no-verify reads nothing back.
    EXPECT_EQ(run({"write", "0x289", "0x0f", "a5", "0", "--no-verify"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x43, 1, 9, 0x0F, 0xA5, 0x00));
    EXPECT_EQ(m.received.size(), 3u);
}

TEST_F(CliTest, WriteRejectsAProductIdOfTheOtherFamilyAndSendsNothing) {
    VirtualModule& zel280 = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    expectOneLineError(kCliUsage, {"write", "263", "00", "00", "00"});
    EXPECT_NE(err.str().find("281-289"), std::string::npos) << err.str();
    EXPECT_EQ(zel280.reportCount, 0u);

    host.unplug(zel280);
    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    expectOneLineError(kCliUsage, {"write", "283", "00", "00", "00"});
    EXPECT_NE(err.str().find("261-269"), std::string::npos) << err.str();
    EXPECT_EQ(zel260.reportCount, 0u);

    EXPECT_EQ(run({"write", "263", "00", "FF", "00"}), kCliOk);
    EXPECT_EQ(zel260.idNibble, 3);
    EXPECT_EQ(zel260.highMask, 0xFF);
}

TEST_F(CliTest, WriteParsesNumbersStrictly) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    const std::vector<std::vector<std::string>> bad = {
        {"write", "280", "00", "00", "00"},    // the setting ID is not offered
        {"write", "28A", "00", "00", "00"},    // nibble beyond 9
        {"write", "1283", "00", "00", "00"},   // another family
        {"write", "10283", "00", "00", "00"},  // beyond 16 bits
        {"write", "283", "100", "00", "00"},   // mask beyond 8 bits
        {"write", "283", "00", "4G", "00"},
        {"write", "283", "00", "00", "-1"},
        {"write", "283", "00", "00", ""},
        {"write", "283", "00", "00", "0x"},
        {"write", "283", " 1", "00", "00"},
        {"write", "283", "00", "00"},
        {"write", "283", "00", "00", "00", "00"},
        {"write"},
        {"write", "--file"},
    };
    for (const auto& args : bad) expectOneLineError(kCliUsage, args);
    EXPECT_EQ(m.reportCount, 0u);
    EXPECT_EQ(m.idNibble, 1);
}

TEST_F(CliTest, WriteFailsWithoutAModuleOrAConfirmation) {
    expectOneLineError(kExitNoModule, {"write", "283", "40", "C0", "01"});

    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.silent = true;
    expectOneLineError(kExitTimeout, {"write", "283", "40", "C0", "01"});
    m.silent = false;
    m.refuseWrites = true;
    expectOneLineError(kCliFailed, {"write", "283", "40", "C0", "01"});
}

TEST_F(CliFileTest, WriteFromFileUsesTheStoredConfigurationAndItsChecks) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    const std::string good = file("good.kbd");
    ASSERT_TRUE(saveConfigFile(utf8Path(good), ChannelConfig{0x287, 0x11, 0x22, 0x44}));
    EXPECT_EQ(run({"write", "--file", good}), kCliOk);
    EXPECT_EQ(m.received.front(), params(0x43, 1, 7, 0x11, 0x22, 0x44));

    const std::string other = file("other.kbd");
    ASSERT_TRUE(saveConfigFile(utf8Path(other), ChannelConfig{0x267, 0, 0, 0}));
    const uint64_t before = m.reportCount;
    expectOneLineError(kCliUsage, {"write", "--file", other});
    EXPECT_NE(err.str().find("other.kbd"), std::string::npos) << err.str();
    EXPECT_EQ(m.reportCount, before);

    expectOneLineError(kCliFailed, {"write", "--file", file("missing.kbd")});
    expectOneLineError(kCliFailed, {"write", "--file", utf8(dir)});  // a folder is no file
    EXPECT_EQ(m.reportCount, before);
}

// ------------------------------------------------------------ test

TEST_F(CliTest, OutputTestSendsTheChannelAndBlinkBytes) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);

    EXPECT_EQ(run({"test", "3", "low"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0x00, 0xFD));
    EXPECT_EQ(m.outputs[2].kind, OutputState::Low);

    EXPECT_EQ(run({"test", "1", "high"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0x00, 1));
    EXPECT_EQ(m.outputs[0].kind, OutputState::High);

    EXPECT_EQ(run({"test", "8", "low"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0x00, 0xF8));

    EXPECT_EQ(run({"test", "3", "blink", "5", "5"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0x55, 3));
    EXPECT_EQ(m.outputs[2].kind, OutputState::Blink);
    EXPECT_EQ(m.outputs[2].blinkByte, 0x55);

    EXPECT_EQ(run({"test", "5", "blink", "15", "1"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0xF1, 5));

    // A blink byte of 0 drives the output steady high, and says so.
    EXPECT_EQ(run({"test", "6", "blink", "0", "0"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0x00, 6));
    EXPECT_EQ(m.outputs[5].kind, OutputState::High);
    EXPECT_EQ(out.str().rfind("OUT 6 high", 0), 0u) << out.str();

    EXPECT_EQ(run({"test", "2", "blink"}), kCliOk);  // the dialog's 5 and 5
    EXPECT_EQ(m.received.back(), params(0x45, 0x55, 2));
    EXPECT_EQ(err.str(), "");

    // Several, in order: a blink without times before the next channel.
    EXPECT_EQ(run({"test", "1", "low", "4", "blink", "2", "high", "7", "blink", "3", "4"}), kCliOk);
    EXPECT_EQ(std::vector<Bytes>(m.received.end() - 4, m.received.end()),
              (std::vector<Bytes>{params(0x45, 0, 0xFF), params(0x45, 0x55, 4), params(0x45, 0, 2), params(0x45, 0x34, 7)}));
    EXPECT_EQ(out.str(), "OUT 1 low\nOUT 4 blink 0x55 (0.5 s high, 0.5 s low)\nOUT 2 high\nOUT 7 blink 0x34 (0.3 s high, 0.4 s low)\n");
}

TEST_F(CliTest, OutputTestRejectsBadArgumentsAndSendsNothing) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    const std::vector<std::vector<std::string>> bad = {
        {"test", "0", "high"},         {"test", "9", "high"},          {"test", "x", "high"},
        {"test", "-3", "low"},         {"test", "3"},                  {"test", "3", "off"},
        {"test", "3", "low", "5", "5"}, {"test", "3", "high", "extra"}, {"test", "3", "blink", "16", "1"},
        {"test", "3", "blink", "1", "16"}, {"test", "3", "blink", "5"}, {"test", "3", "blink", "5", "5", "5"},
        {"test", "3", "blink", "a", "5"}, {"test", "3", "blink", "5", "+5"}, {"test"},
        {"test", "1", "high", "9", "low"}, {"test", "1", "high", "2"},
    };
    for (const auto& args : bad) expectOneLineError(kCliUsage, args);
    EXPECT_EQ(m.reportCount, 0u);
}

TEST_F(CliTest, OutputTestFailsWithoutAModuleOrWhenTheWriteFails) {
    expectOneLineError(kExitNoModule, {"test", "3", "high"});
    VirtualModule& m = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    m.refuseWrites = true;
    expectOneLineError(kCliFailed, {"test", "3", "high"});
    EXPECT_EQ(m.outputs[2].kind, OutputState::Off);
}

// ------------------------------------------------------------ reset / idchange

TEST_F(CliTest, ResetReturnsTheModuleToIoMode) {
    VirtualModule& m = host.addModule(Model::Zel280, 4, 0x12, ModuleMode::Setting);
    EXPECT_EQ(run({"reset"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x4F));
    EXPECT_EQ(m.mode(), ModuleMode::Normal);
    EXPECT_EQ(m.productId(), 0x284);

    expectError(kExitNoModule, {"reset"});  // no setting-mode module any more
    expectOneLineError(kCliUsage, {"reset", "now"});
}

TEST_F(CliTest, ResetFailsWhenTheModuleDoesNotAnswer) {
    VirtualModule& m = host.addModule(Model::Zel260, 4, 0x10, ModuleMode::Setting);
    m.silent = true;
    expectOneLineError(kExitNoModule, {"reset"});  // it re-enumerates without a reply: gone, as from the library
}

TEST_F(CliTest, IdChangeMovesAZel260BackTo260) {
    VirtualModule& m = host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    expectOneLineError(kExitNoModule, {"idchange", "266"});
    EXPECT_NE(err.str().find("no ZEL260 at 0x266"), std::string::npos) << err.str();
    EXPECT_EQ(m.reportCount, 0u);

    EXPECT_EQ(run({"idchange", "0x265"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x47, 2));
    EXPECT_EQ(m.mode(), ModuleMode::Setting);
    EXPECT_EQ(m.productId(), 0x260);
}

TEST_F(CliTest, IdChangeAcceptsOnly261To269) {
    VirtualModule& m = host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    for (const char* id : {"260", "26A", "285", "0265x", "", "g"}) expectOneLineError(kCliUsage, {"idchange", id});
    expectOneLineError(kCliUsage, {"idchange"});
    expectOneLineError(kCliUsage, {"idchange", "265", "266"});
    EXPECT_EQ(m.reportCount, 0u);
}

// ------------------------------------------------------------ save / show

TEST_F(CliFileTest, SaveWritesTheOneLineFileAndShowReadsItBack) {
    const std::string path = file("channels.kbd");
    EXPECT_EQ(run({"save", path, "283", "40", "C0", "01"}), kCliOk);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(contents(path), "0283 40 C0 01\r\n");

    EXPECT_EQ(run({"show", path}), kCliOk);
    EXPECT_EQ(out.str(), kTable0283);
    EXPECT_EQ(totalReports(), 0u);
}

TEST_F(CliFileTest, SaveAndShowWorkWithKoreanFileNames) {
    const std::string path = file("설정 파일.kbd");
    EXPECT_EQ(run({"save", path, "0x261", "ff", "0", "0"}), kCliOk);
    EXPECT_TRUE(std::filesystem::exists(utf8Path(path)));
    EXPECT_EQ(run({"show", path}), kCliOk);
    EXPECT_EQ(out.str().substr(0, 14), "0261 FF 00 00\n");
}

TEST_F(CliFileTest, ShowAppliesTheFileReadingRules) {
    const std::string path = file("padded.kbd");
    {
        std::ofstream f(utf8Path(path), std::ios::binary);
        f << "0261  0 FF  0";
    }
    EXPECT_EQ(run({"show", path}), kCliOk);
    EXPECT_EQ(out.str().substr(0, 14), "0261 00 FF 00\n");
}

TEST_F(CliFileTest, SaveAndShowReportBadArgumentsAndFileFailures) {
    const std::string path = file("x.kbd");
    expectOneLineError(kCliUsage, {"save", path, "0", "00", "00", "00"});
    expectOneLineError(kCliUsage, {"save", path, "283", "1FF", "00", "00"});
    expectOneLineError(kCliUsage, {"save", path, "283", "00", "00"});
    expectOneLineError(kCliUsage, {"save", path, "283", "zz", "00", "00"});
    EXPECT_FALSE(std::filesystem::exists(utf8Path(path)));

    expectOneLineError(kCliFailed, {"save", file("no/such/folder/x.kbd"), "283", "00", "00", "00"});
    expectOneLineError(kCliFailed, {"show", file("missing.kbd")});
#ifndef _WIN32
    std::ofstream(utf8Path(file("f"))) << "x";
    expectOneLineError(kCliFailed, {"show", file("f") + "/x.kbd"});  // the system's reason, whatever it is
    EXPECT_NE(err.str().find(": Not a directory\n"), std::string::npos) << err.str();
#endif
    expectOneLineError(kCliUsage, {"show"});
    expectOneLineError(kCliUsage, {"show", path, path});
}

// ------------------------------------------------------------ diagnostics

TEST_F(CliTest, AModuleTheSystemWillNotOpenIsNamedWithItsReasonAndTheFix) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.accessDenied = true;
    for (const char* command : {"read", "version", "write"}) {
        std::vector<std::string> args = {command};
        if (std::string(command) == "write") args = {"write", "283", "00", "00", "00"};
        const std::string text = expectError(kExitAccess, args);
        EXPECT_NE(text.find("emu://0"), std::string::npos) << text;
        EXPECT_NE(text.find("access denied"), std::string::npos) << text;
#ifndef _WIN32
        EXPECT_NE(text.find("zelioctl udev-rule"), std::string::npos) << text;
#endif
    }
    // list lists it all the same, with its access, and succeeds.
    EXPECT_EQ(run({"list"}), kCliOk);
    EXPECT_NE(out.str().find("0x280  ZEL280  setting  emu://0  1-1.1  -       no (access)"), std::string::npos);
    EXPECT_EQ(runJson(kCliOk, {"list"})["modules"].items[0]["access"].text, "access");
    EXPECT_EQ(m.reportCount, 0u);
}

TEST_F(CliTest, ModulesOnlyInIoModeAreListedWithHowToEnterSettingMode) {
    host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal);
    host.addModule(Model::Zel260, 2, 0x10, ModuleMode::Normal);
    const std::string text = expectError(kExitNoModule, {"read"});
    EXPECT_NE(text.find("ZEL280 0x283 at emu://0 (port 1-1.1) is in I/O mode: hold its button"), std::string::npos)
        << text;
    EXPECT_NE(text.find("ZEL260 0x262 at emu://1 (port 1-1.2) is in I/O mode: run 'zelioctl idchange 262'"),
              std::string::npos)
        << text;
}

TEST_F(CliFileTest, DoctorShowsEachDeviceWhetherItOpensAndTheInstalledRule) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    host.addModule(Model::Zel260, 4, 0x10, ModuleMode::Normal).accessDenied = true;
    EXPECT_EQ(run({"doctor"}), kExitAccess);
    EXPECT_NE(out.str().find("emu://0  0x280  ZEL280  setting  yes\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("emu://1  0x264  ZEL260  I/O      no: open emu://1: access denied\n"),
              std::string::npos)
        << out.str();
#ifndef _WIN32
    EXPECT_NE(out.str().find("udev rule: none installed"), std::string::npos) << out.str();
    // A rule file naming the vendor counts; a commented-out line does not.
    env.udevRuleDirs = {utf8(dir)};
    std::ofstream(dir / "60-other.rules") << "# ATTRS{idVendor}==\"1d5a\"\n";
    EXPECT_EQ(run({"doctor"}), kExitAccess);
    EXPECT_NE(out.str().find("udev rule: none installed"), std::string::npos) << out.str();
    std::ofstream(dir / "70-zelio.rules") << udevRuleText();
    const Json json = runJson(kExitAccess, {"doctor"});
    EXPECT_EQ(json["udev_rule"].text, utf8(dir / "70-zelio.rules"));
    EXPECT_EQ(json["modules"].items.size(), 2u);
    // The hint names the cause that applies: no seat session, not in the group, or neither.
    struct Row {
        AccessFacts facts;  // seat session, group exists, in it, member from the next login
        const char* says;
    };
    for (const Row& row : {Row{{false, true, false, false}, "no seat session (SSH, a service), so the rule's uaccess "
                                                            "cannot apply, and the user is not in the group zelio"},
                           Row{{false, false, false, false}, "  sudo addgroup --system zelio && sudo usermod -aG zelio"},
                           Row{{false, true, false, true}, "began before the user joined the group zelio: log in again"},
                           Row{{true, true, false, false}, "70-zelio.rules is installed: re-plug the module"}}) {
        env.accessFacts = [facts = row.facts] { return facts; };
        EXPECT_NE(expectError(kExitAccess, {"read", "--path", "emu://1"}).find(row.says), std::string::npos) << row.says;
        EXPECT_EQ(runJson(kExitAccess, {"doctor"})["seat_session"].boolean, row.facts.seatSession);
    }
    EXPECT_EQ(run({"doctor"}), kExitAccess);
    EXPECT_NE(out.str().find("access: an active seat session: the rule's uaccess applies"), std::string::npos);
#endif
}

// ------------------------------------------------------------ selection

TEST_F(CliTest, SeveralCandidatesMakeAChangingCommandRefuseAndSendNothing) {
    VirtualModule& a = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    VirtualModule& b = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"write", "283", "40", "C0", "01"}, {"test", "3", "high"}, {"reset"}}) {
        const std::string text = expectError(kExitAmbiguous, args);
        EXPECT_NE(text.find("emu://0"), std::string::npos) << text;
        EXPECT_NE(text.find("emu://1"), std::string::npos) << text;
    }
    a.serial = b.serial = "S1";  // a serial number two modules carry chooses neither
    EXPECT_NE(expectError(kExitAmbiguous, {"reset", "--serial", "S1"}).find("match serial 'S1'"), std::string::npos);
    host.unplug(a);
    host.unplug(b);
    VirtualModule& c = host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    VirtualModule& d = host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    expectError(kExitAmbiguous, {"idchange", "265"});
    EXPECT_EQ(totalReports(), 0u);
    EXPECT_EQ(c.mode(), ModuleMode::Normal);
    EXPECT_EQ(d.mode(), ModuleMode::Normal);
}

TEST_F(CliTest, PathAndPortReachOnlyTheirModule) {
    VirtualModule& a = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    VirtualModule& b = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(run({"write", "--path", "emu://1", "283", "40", "C0", "01"}), kCliOk) << err.str();
    EXPECT_EQ(a.reportCount, 0u);
    EXPECT_EQ(b.idNibble, 3);

    EXPECT_EQ(run({"reset", "--port=1-1.1"}), kCliOk) << err.str();
    EXPECT_EQ(a.mode(), ModuleMode::Normal);
    EXPECT_EQ(b.mode(), ModuleMode::Setting);

    expectOneLineError(kExitNoModule, {"read", "--path", "emu://9"});
    EXPECT_NE(err.str().find("emu://9"), std::string::npos);
    expectOneLineError(kCliUsage, {"read", "--path", "emu://0", "--port", "1-1.1"});
}

// ------------------------------------------------------------ output for scripts

TEST_F(CliTest, JsonOutputIsOneObjectWithTheDocumentedFields) {
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    m.serial = "S\"1\n";
    m.openDrainMask = 0x40;
    m.highMask = 0xC0;
    m.inputMask = 0x01;

    Json json = runJson(kCliOk, {"read"});
    EXPECT_EQ(json["pid"].text, "0x283");
    EXPECT_EQ(json["open_drain"].text, "0x40");
    EXPECT_EQ(json["high"].text, "0xc0");
    EXPECT_EQ(json["input"].text, "0x01");
    EXPECT_EQ(json["line"].text, "0283 40 C0 01");
    ASSERT_EQ(json["channels"].items.size(), 8u);
    EXPECT_EQ(json["channels"].items[1]["mode"].text, "open-drain");
    EXPECT_EQ(json["channels"].items[7]["default"].kind, Json::Null);

    json = runJson(kCliOk, {"list"});
    ASSERT_EQ(json["modules"].items.size(), 1u);
    const Json& module = json["modules"].items[0];
    for (const char* key : {"pid", "model", "mode", "path", "port", "serial", "opens"})
        EXPECT_TRUE(module.has(key)) << key;
    EXPECT_EQ(module["serial"].text, "S\"1\n");
    EXPECT_EQ(module["mode"].text, "setting");

    EXPECT_EQ(runJson(kCliOk, {"version"})["firmware"].text, "1.2");
    EXPECT_TRUE(runJson(kCliOk, {"write", "285", "00", "FF", "00"})["verified"].boolean);
    EXPECT_EQ(runJson(kCliOk, {"test", "2", "blink"})["blink"].text, "0x55");
    EXPECT_EQ(runJson(kCliOk, {"--version"})["version"].text, ZELIO_TEST_VERSION);
    EXPECT_EQ(runJson(kCliUsage, {"write", "2X3", "00", "00", "00"})["error"].text, "usage");
    m.accessDenied = true;
    EXPECT_EQ(runJson(kExitAccess, {"read"})["modules"].items.size(), 1u);
}

TEST_F(CliTest, ConventionsOfTheCommandLine) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    // Options anywhere, "--" ends them.
    EXPECT_EQ(run({"--path", "emu://0", "version"}), kCliOk);
    EXPECT_EQ(out.str(), "1.2\n");
    expectOneLineError(kCliUsage, {"version", "--", "--json"});
    expectOneLineError(kCliUsage, {"read", "--count", "3"});  // another command's option
    expectOneLineError(kCliUsage, {"read", "--path"});

    // Help for each command and for all; the version of the tool and the HID library.
    EXPECT_EQ(run({"write", "--help"}), kCliOk);
    EXPECT_EQ(out.str().rfind("usage: zelioctl write PID OD HIGH IN", 0), 0u) << out.str();
    EXPECT_EQ(run({"help", "provision"}), kCliOk);
    EXPECT_EQ(out.str().rfind("usage: zelioctl provision FILE", 0), 0u) << out.str();
    EXPECT_EQ(run({"-h"}), kCliOk);
    EXPECT_EQ(out.str(), cliUsage());
    EXPECT_NE(out.str().find("5 ambiguous"), std::string::npos);
    EXPECT_EQ(run({"--version"}), kCliOk);
    EXPECT_EQ(out.str(), std::string("zelioctl ") + ZELIO_TEST_VERSION + "\nhidapi 9.9.9\n");

    // --debug: every enumeration, open and report, time-stamped, on stderr.
    EXPECT_EQ(run({"version", "--debug"}), kCliOk);
    EXPECT_EQ(out.str(), "1.2\n");
    const std::string trace = err.str();
    EXPECT_NE(trace.find("] enumerate: 1 HID interfaces\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("] open emu://0: ok\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("[   0.040] write emu://0: 00 55 AA 40 00 00 00 00 00\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("] read emu://0: 00 40 12 00"), std::string::npos) << trace;

    std::vector<std::string> args = {"a", "--emulate", "b", "--", "--emulate"};
    EXPECT_TRUE(takeEmulateOption(args));
    EXPECT_EQ(args, (std::vector<std::string>{"a", "b", "--", "--emulate"}));
}

TEST_F(CliTest, VerificationMismatchPrintsSentAndStoredAndExits6) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.highMaskFault = 0x04;
    const std::string text = expectError(kExitVerify, {"write", "283", "40", "C0", "01"});
    EXPECT_NE(text.find("\n  sent   0283 40 C0 01\n  stored 0283 40 C4 01\n"), std::string::npos) << text;
    const Json json = runJson(kExitVerify, {"write", "283", "40", "C0", "01"});
    EXPECT_EQ(json["stored"].text, "0283 40 C4 01");
    EXPECT_EQ(run({"write", "283", "40", "C0", "01", "--no-verify"}), kCliOk);
}

TEST_F(CliTest, OutputThatCannotBeWrittenFailsTheCommand) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    FullSink full;
    EXPECT_EQ(runCli({"read"}, full, err, host, clock, env), kCliFailed);
    EXPECT_NE(err.str().find("output could not be written"), std::string::npos) << err.str();
}

// ------------------------------------------------------------ hostile arguments and files

TEST(CliText, TerminalAndJsonEscapesKeepKoreanAndMarkEverythingElse) {
    EXPECT_EQ(escapeForTerminal("설정\x1b[2J\n\t\x7f\xc2\x9b\xff.kbd"), "설정\\x1b[2J\\n\\t\\x7f\\xc2\\x9b\\xff.kbd");
    // "exe.kbd" shown reversed by U+202E; zero-width space, isolate, byte-order mark.
    EXPECT_EQ(escapeForTerminal("a\u202edbk.exe\u200b\u200f\u2066\u2069\ufeff\u200a"),
              "a\\u202edbk.exe\\u200b\\u200f\\u2066\\u2069\\ufeff\u200a");
    EXPECT_EQ(jsonString("설정\"\\\n\x01\xff"), "\"설정\\\"\\\\\\n\\u0001\\ufffd\"");
}

TEST(CliDevices, WindowsDevicePathsNameVendorAndProduct) {
    const auto ids =
        idsInDevicePath(R"(\\?\hid#vid_1d5a&pid_0283#7&2f1c0e5&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->vendorId, 0x1D5A);
    EXPECT_EQ(ids->productId, 0x283);
    EXPECT_EQ(idsInDevicePath(R"(\\?\HID#VID_046D&PID_C52B&MI_00#8&1)")->productId, 0xC52B);
    EXPECT_FALSE(idsInDevicePath("/dev/hidraw3"));
    EXPECT_FALSE(idsInDevicePath(R"(\\?\hid#vid_1d5a&pid_02#x)"));
}

TEST_F(CliFileTest, ControlBytesInArgumentsAreEscapedInErrorLines) {
    expectOneLineError(kCliFailed, {"show", file("a\nb\x1b[2J.kbd")});
    EXPECT_NE(err.str().find("a\\nb\\x1b[2J.kbd"), std::string::npos) << err.str();
    expectOneLineError(kCliUsage, {"write", "28\r3", "00", "00", "00"});
    EXPECT_NE(err.str().find("'28\\r3'"), std::string::npos) << err.str();
}

TEST_F(CliFileTest, SaveRefusesWhatWriteRefusesAndShowWarnsAboutOtherFiles) {
    for (const char* id : {"280", "28A", "1283", "270"})
        expectOneLineError(kCliUsage, {"save", file("x.kbd"), id, "00", "00", "00"});
    EXPECT_FALSE(std::filesystem::exists(utf8Path(file("x.kbd"))));

    // Text, and a line whose fields are not where the reading rules look.
    for (const char* line : {"hello world\n", "283 40 C0 01\r\n"}) {
        const std::string text = file("text.kbd");
        std::ofstream(utf8Path(text)) << line;
        EXPECT_EQ(run({"show", text}), kCliOk);
        EXPECT_EQ(err.str().rfind("zelioctl: warning: ", 0), 0u) << line;
    }
    const std::string setting = file("setting.kbd");
    ASSERT_TRUE(saveConfigFile(utf8Path(setting), ChannelConfig{0x280, 0, 0, 0}));
    EXPECT_EQ(run({"show", setting}), kCliOk);
    EXPECT_NE(err.str().find("0x280 is not in 261-269 or 281-289"), std::string::npos) << err.str();
    EXPECT_EQ(runJson(kCliOk, {"show", setting})["warnings"].items.size(), 1u);
}

#ifndef _WIN32
TEST_F(CliFileTest, ANamedPipeIsRefusedInsteadOfWaitedOn) {
    const std::string fifo = file("pipe.kbd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"show", fifo}, {"write", "--file", fifo}, {"save", fifo, "283", "00", "00", "00"}}) {
        expectOneLineError(kCliFailed, args);
        EXPECT_NE(err.str().find("not a regular file"), std::string::npos) << err.str();
    }
    EXPECT_EQ(totalReports(), 0u);
}
#endif

// ------------------------------------------------------------ waiting and the production line

TEST(CliWait, WaitsForAModuleAndTimesOut) {
    ScriptedClock clock;
    EmulatedHost host(clock);
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Unplugged);
    StringSink out, err;
    const CliEnvironment env{"", {}, nullptr, {}, {}};

    EXPECT_EQ(runCli({"wait", "--setting", "--timeout", "5"}, out, err, host, clock, env), kExitTimeout);
    EXPECT_GE(clock.nowMs(), 5000);

    // Plugged in a while later, in I/O mode: --pid sees it.
    int sleeps = 0;
    clock.onSleep = [&](int) {
        if (++sleeps == 10) host.plug(m);
    };
    out.clear();
    EXPECT_EQ(runCli({"wait", "--pid", "283", "--timeout", "60"}, out, err, host, clock, env), kCliOk) << err.str();
    EXPECT_EQ(out.str(), "0x283 ZEL280 at emu://0\n");
    EXPECT_EQ(sleeps, 10);
    EXPECT_EQ(runCli({"wait", "--gone", "--timeout", "1"}, out, err, host, clock, env), kExitTimeout);
    EXPECT_NE(err.str().find("a module is still attached after 1 s"), std::string::npos) << err.str();
    host.unplug(m);
    EXPECT_EQ(runCli({"wait", "--gone"}, out, err, host, clock, env), kCliOk);
}

TEST_F(CliFileTest, ProvisionWritesEachModulePluggedInTurnAndLogsARow) {
    ScriptedClock line;
    EmulatedHost bench(line);
    std::vector<VirtualModule*> modules;
    for (int i = 0; i < 3; ++i) modules.push_back(&bench.addModule(Model::Zel280, 1, 0x12, ModuleMode::Unplugged));
    modules[1]->highMaskFault = 0x01;  // the second one stores a wrong high mask
    // At each wait of the CLI the operator either takes the module away or
    // plugs the next one in, holding its button: setting mode.
    size_t next = 0;
    VirtualModule* current = nullptr;
    line.onSleep = [&](int ms) {
        if (ms < 100) return;  // the link's pause between commands
        if (current) {
            bench.unplug(*current);
            current = nullptr;
        } else if (next < modules.size()) {
            current = modules[next++];
            bench.plug(*current);
            bench.pressSettingButton(*current);
        }
    };
    const std::string config = file("line.kbd");
    ASSERT_TRUE(saveConfigFile(utf8Path(config), ChannelConfig{0x283, 0x40, 0xC0, 0x01}));
    const std::string csv = file("log.csv");

    EXPECT_EQ(runCli({"provision", config, "--count", "3", "--log", csv}, out, err, bench, line, env), kExitVerify)
        << err.str();
    EXPECT_EQ(contents(csv),
              "time,path,port,firmware,configuration,result\r\n"
              "2026-01-02T03:04:05Z,emu://0,1-1.1,1.2,0283 40 C0 01,ok\r\n"
              "2026-01-02T03:04:05Z,emu://1,1-1.2,,0283 40 C0 01,verify: stored 0283 40 C1 01\r\n"
              "2026-01-02T03:04:05Z,emu://2,1-1.3,1.2,0283 40 C0 01,ok\r\n");
    EXPECT_NE(out.str().find("provisioned 3 modules: 2 ok, 1 failed\n"), std::string::npos) << out.str();
    for (const size_t i : {0u, 2u}) {
        EXPECT_EQ(modules[i]->idNibble, 3);
        EXPECT_EQ(modules[i]->received.back(), params(0x4F));  // reset after the write
    }
}

TEST_F(CliFileTest, ProvisionStopsWithASummaryOnCtrlC) {
    ScriptedClock line;
    EmulatedHost bench(line);
    std::atomic<bool> interrupted{false};
    env.interrupted = &interrupted;
    line.onSleep = [&](int) { interrupted = true; };  // nobody plugs anything in
    const std::string config = file("line.kbd");
    ASSERT_TRUE(saveConfigFile(utf8Path(config), ChannelConfig{0x263, 0, 0, 0}));
    EXPECT_EQ(runCli({"provision", config}, out, err, bench, line, env), kCliOk);
    EXPECT_NE(out.str().find("provisioned 0 modules: 0 ok, 0 failed (interrupted)\n"), std::string::npos)
        << out.str();
}

#ifndef _WIN32
TEST_F(CliFileTest, ProvisionWaitsForALockOnItsLogOnlySoLong) {
    const std::string config = file("line.kbd"), csv = file("locked.csv");
    ASSERT_TRUE(saveConfigFile(utf8Path(config), ChannelConfig{0x263, 0, 0, 0}));
    const int reader = ::open(csv.c_str(), O_RDONLY | O_CREAT, 0644);  // anyone who may read it
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    const std::string text = expectError(kExitIo, {"provision", config, "--log", csv});
    EXPECT_NE(text.find("locked.csv': another program has kept it locked for 3 s"), std::string::npos) << text;
    ::close(reader);
}
#endif

// Formulas neutralised; a row that cannot be appended on stderr, the summary still; without a
// port (Windows) the module that comes back is the one reset, not one already at the new ID.
TEST_F(CliFileTest, ProvisionLogNeutralisesFormulasAndReportsAFailedAppend) {
    ScriptedClock line;
    EmulatedHost bench(line);
    bench.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal).port = "";
    VirtualModule* modules[3];
    for (VirtualModule*& m : modules) m = &bench.addModule(Model::Zel280, 1, 0x12, ModuleMode::Unplugged);
    std::tie(modules[0]->port, modules[1]->port, modules[2]->port) = std::tuple("\t=1+2", "\r2", "");
    const std::string config = file("line.kbd"), csv = file("log.csv"), moved = file("moved.csv");
    size_t next = 0;
    VirtualModule* current = nullptr;
    line.onSleep = [&](int ms) {
        if (ms < 100) return;
        if (current) {  // unplugged; after the second row the log's disk goes away too
            bench.unplug(*std::exchange(current, nullptr));
            if (next == 2) std::filesystem::rename(utf8Path(csv), utf8Path(moved));
            if (next == 2) std::filesystem::create_directory(utf8Path(csv));
        } else if (next < 3) {
            bench.plug(*(current = modules[next++]));
            bench.pressSettingButton(*current);
        }
    };
    ASSERT_TRUE(saveConfigFile(utf8Path(config), ChannelConfig{0x283, 0x40, 0xC0, 0x01}));
    EXPECT_EQ(runCli({"provision", config, "--count", "3", "--log", csv}, out, err, bench, line, env), kExitIo);
    EXPECT_EQ(contents(moved), "time,path,port,firmware,configuration,result\r\n"
                               "2026-01-02T03:04:05Z,emu://1,'\t=1+2,1.2,0283 40 C0 01,ok\r\n"
                               "2026-01-02T03:04:05Z,emu://2,\"'\r2\",1.2,0283 40 C0 01,ok\r\n");
    EXPECT_NE(err.str().find("2026-01-02T03:04:05Z,emu://3,,1.2,0283 40 C0 01,ok"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("provisioned 3 modules: 3 ok, 0 failed\n"), std::string::npos) << out.str();
}

// ------------------------------------------------------------ zelioctl --emulate=FILE

// zelioctl --emulate=FILE as main() runs it, on the test's clock.
class CliEmulateTest : public CliFileTest {
protected:
    ScriptedClock line;
    int emulate(std::vector<std::string> args, const std::string& state, Clock* clock = nullptr) {
        out.clear();
        err.clear();
        return runEmulated(args, out, err, clock ? *clock : line, clock ? *clock : line, env, state);
    }
};

TEST_F(CliEmulateTest, ProvisioningEndsOnTheJigAndWhenAModuleStaysOn) {
    const std::string config = file("line.kbd"), csv = file("line.csv");
    ASSERT_TRUE(saveConfigFile(utf8Path(config), ChannelConfig{0x283, 0x40, 0xC0, 0x01}));
    EXPECT_EQ(emulate({"provision", config, "--count", "3", "--log", csv, "--timeout", "5"}, file("s")), kCliOk);
    const std::string row = "2026-01-02T03:04:05Z,emu://0,1-1.1,1.2,0283 40 C0 01,ok\r\n";
    EXPECT_EQ(contents(csv), "time,path,port,firmware,configuration,result\r\n" + row + row + row);
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);  // no jig: nobody takes it off
    EXPECT_EQ(run({"provision", config, "--timeout", "5"}), kExitTimeout);
    EXPECT_NE(err.str().find("module 1 was not unplugged within 5 s"), std::string::npos) << err.str();
}

TEST_F(CliEmulateTest, AStateFileKeepsTheModulesFromOneCallToTheNext) {
    const std::string state = file("bench.state");
    EXPECT_EQ(emulate({"write", "283", "40", "C0", "01"}, state), kCliOk);
    EXPECT_EQ(emulate({"read"}, state), kCliOk);
    EXPECT_EQ(out.str(), kTable0283);
    // A module reset leaves the jig; the next one comes with the next serial number.
    EXPECT_EQ(emulate({"reset"}, state), kCliOk);
    line.sleepMs(2000);
    EXPECT_EQ(emulate({"list", "--port", "1-1.1"}, state), kCliOk);
    EXPECT_NE(out.str().find("0x280  ZEL280  setting  emu://0  1-1.1  EMU0003"), std::string::npos) << out.str();
    // Modules by model alone; a file that cannot be read stays as it is.
    std::ofstream(utf8Path(state)) << "# three\nZEL280\nZEL280 firmware=0x21 mode=io plugged=no\nZEL260\n";
    EXPECT_EQ(emulate({"list"}, state), kCliOk);
    EXPECT_NE(out.str().find("0x261  ZEL260  I/O      emu://2  1-1.3  EMU0003"), std::string::npos) << out.str();
    for (const char* bad : {"ZEL280 od=1FF\n", "ZEL270\n", "ZEL280 color=red\n"}) {
        std::ofstream(utf8Path(state), std::ios::binary) << bad;
        EXPECT_EQ(emulate({"list"}, state), kCliUsage);
        EXPECT_EQ(contents(state), bad);
    }
}

TEST_F(CliEmulateTest, AllRunsTheCommandOnEveryModuleAtOnce) {
    const std::string state = file("bench.state");
    std::ofstream(utf8Path(state)) << "ZEL280\nZEL280 firmware=0x21\nZEL260\n";
    EXPECT_EQ(emulate({"--all", "version"}, state, &systemClock()), kExitNoModule);
    EXPECT_EQ(out.str(), "emu://0: 1.2\nemu://1: 2.1\n");
    EXPECT_EQ(err.str().rfind("zelioctl: emu://2: no module in setting mode", 0), 0u) << err.str();
    EXPECT_EQ(emulate({"--all", "--json", "read"}, state, &systemClock()), kExitNoModule);
    const auto json = JsonParser(out.str()).parse();
    ASSERT_TRUE(json && json->items.size() == 3) << out.str();
    EXPECT_EQ(json->items[1]["module"]["serial"].text, "EMU0002");
    EXPECT_EQ(json->items[2]["error"].text, "no_module");
    EXPECT_EQ(emulate({"--all", "reset"}, state), kCliUsage);
}

// The choices of tests/support/selections.tsv, which the C and Python suites read too.
TEST_F(CliEmulateTest, TheSelectionTableChoosesTheSameModules) {
    std::ifstream table(ZELIO_SELECTIONS);
    int rows = 0;
    for (std::string row; std::getline(table, row);) {
        if (row.empty() || row[0] == '#') continue;
        const size_t a = row.find('\t'), b = row.find('\t', a + 1);
        SCOPED_TRACE(row);
        const int code = emulate({"list", "--json", "--" + row.substr(0, a), row.substr(a + 1, b - a - 1)}, file("s"));
        const auto json = JsonParser(out.str()).parse();
        ASSERT_TRUE(json);
        const std::vector<Json>& modules = (*json)["modules"].items;
        EXPECT_EQ(code == kCliUsage       ? "usage"
                  : code == kExitNoModule ? "no-module"
                  : modules.size() != 1   ? "ambiguous"
                                          : modules[0]["pid"].text,
                  row.substr(b + 1));
        ++rows;
    }
    EXPECT_GT(rows, 10);
}

}  // namespace
