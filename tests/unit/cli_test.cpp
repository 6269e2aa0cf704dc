#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "config/config_file.h"
#include "emulator/emulated_host.h"

using namespace zelio;

namespace {

using Bytes = std::vector<uint8_t>;

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
    std::ostringstream out, err;

    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return runCli(args, out, err, host, clock);
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

TEST_F(CliTest, ListPrintsEveryModuleOfTheFamilyOnePerLine) {
    EXPECT_EQ(run({"list"}), kCliOk);
    EXPECT_EQ(out.str(), "");  // nothing attached: no lines, still success

    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    host.addForeignDevice(0x046D, 0xC52B);
    host.addLockedInterface();
    host.addModule(Model::Zel260, 2, 0x10, ModuleMode::Normal);
    EXPECT_EQ(run({"list"}), kCliOk);
    EXPECT_EQ(out.str(), "0x280\n0x262\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, AttachPrefersTheZel280AndFailsWithoutASettingModeModule) {
    host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal);  // 0x283 does not count
    expectOneLineError(kCliFailed, {"attach"});

    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    EXPECT_EQ(run({"attach"}), kCliOk);
    EXPECT_EQ(out.str(), "0x260\n");

    host.pressSettingButton(*host.modules()[0]);
    EXPECT_EQ(run({"attach"}), kCliOk);
    EXPECT_EQ(out.str(), "0x280\n");
    EXPECT_EQ(zel260.reportCount, 0u);  // attaching sends nothing
}

TEST_F(CliTest, AModuleThatCannotBeOpenedIsReportedWithTheSystemsReason) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting).refuseOpens = true;
    EXPECT_EQ(run({"version"}), kCliFailed);
    EXPECT_EQ(err.str(), "zelioctl: found 0x280 at emu://0 but cannot open it: access denied\n");
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
    expectOneLineError(kCliFailed, {"version"});

    VirtualModule& m = host.addModule(Model::Zel260, 1, 0x00, ModuleMode::Setting);
    expectOneLineError(kCliFailed, {"version"});  // 0 cannot be told from a failure

    m.firmware = 0x10;
    m.silent = true;
    expectOneLineError(kCliFailed, {"version"});
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
    expectOneLineError(kCliFailed, {"read"});
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    m.silent = true;
    expectOneLineError(kCliFailed, {"read"});
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
    EXPECT_EQ(m.received.back(), params(0x43, 1, 3, 0x40, 0xC0, 0x01));

    // A 0x prefix and lower case are fine too.
    EXPECT_EQ(run({"write", "0x289", "0x0f", "a5", "0"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x43, 1, 9, 0x0F, 0xA5, 0x00));
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
    expectOneLineError(kCliFailed, {"write", "283", "40", "C0", "01"});

    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.silent = true;
    expectOneLineError(kCliFailed, {"write", "283", "40", "C0", "01"});
    m.silent = false;
    m.refuseWrites = true;
    expectOneLineError(kCliFailed, {"write", "283", "40", "C0", "01"});
}

TEST_F(CliFileTest, WriteFromFileUsesTheStoredConfigurationAndItsChecks) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    const std::string good = file("good.kbd");
    ASSERT_TRUE(saveConfigFile(utf8Path(good), ChannelConfig{0x287, 0x11, 0x22, 0x44}));
    EXPECT_EQ(run({"write", "--file", good}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x43, 1, 7, 0x11, 0x22, 0x44));

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

    EXPECT_EQ(run({"test", "6", "blink", "0", "0"}), kCliOk);
    EXPECT_EQ(m.received.back(), params(0x45, 0x00, 6));

    EXPECT_EQ(run({"test", "2", "blink"}), kCliOk);  // the dialog's 5 and 5
    EXPECT_EQ(m.received.back(), params(0x45, 0x55, 2));
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, OutputTestRejectsBadArgumentsAndSendsNothing) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    const std::vector<std::vector<std::string>> bad = {
        {"test", "0", "high"},         {"test", "9", "high"},          {"test", "x", "high"},
        {"test", "-3", "low"},         {"test", "3"},                  {"test", "3", "off"},
        {"test", "3", "low", "5", "5"}, {"test", "3", "high", "extra"}, {"test", "3", "blink", "16", "1"},
        {"test", "3", "blink", "1", "16"}, {"test", "3", "blink", "5"}, {"test", "3", "blink", "5", "5", "5"},
        {"test", "3", "blink", "a", "5"}, {"test", "3", "blink", "5", "+5"}, {"test"},
    };
    for (const auto& args : bad) expectOneLineError(kCliUsage, args);
    EXPECT_EQ(m.reportCount, 0u);
}

TEST_F(CliTest, OutputTestFailsWithoutAModuleOrWhenTheWriteFails) {
    expectOneLineError(kCliFailed, {"test", "3", "high"});
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

    expectOneLineError(kCliFailed, {"reset"});  // no setting-mode module any more
    expectOneLineError(kCliUsage, {"reset", "now"});
}

TEST_F(CliTest, ResetFailsWhenTheModuleDoesNotAnswer) {
    VirtualModule& m = host.addModule(Model::Zel260, 4, 0x10, ModuleMode::Setting);
    m.silent = true;
    expectOneLineError(kCliFailed, {"reset"});
}

TEST_F(CliTest, IdChangeMovesAZel260BackTo260) {
    VirtualModule& m = host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    expectOneLineError(kCliFailed, {"idchange", "266"});
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
    expectOneLineError(kCliUsage, {"show"});
    expectOneLineError(kCliUsage, {"show", path, path});
}

}  // namespace
