#include "config/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <tuple>
#include <random>
#include <string_view>
#include <vector>

#include "config/panel_rules.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace zelio {
namespace {

using namespace std::string_literals;

ChannelConfig cfg(uint32_t id, uint8_t openDrain, uint8_t high, uint8_t input) {
    ChannelConfig c;
    c.productId = id;
    c.openDrainMask = openDrain;
    c.highMask = high;
    c.inputMask = input;
    return c;
}

// --- line format -------------------------------------------------------------------

TEST(ConfigLine, PanelWithOpenDrainHighAndInputChannelsWritesFifteenBytes) {
    PanelRows rows{};
    rows[1].caption = kCaptionOpenDrain;  // channel 2
    rows[0].highCheck = 1;                // channels 1 and 2 high
    rows[1].highCheck = 1;
    rows[7].caption = kCaptionInput;  // channel 8
    const Masks m = collect(rows);

    const std::string line = formatConfigLine(cfg(0x283, m.openDrain, m.high, m.input));
    EXPECT_EQ(line, "0283 40 C0 01\r\n");
    EXPECT_EQ(line.size(), 15u);

    // Reading it back restores the same panel.
    const ChannelConfig back = parseConfigText(line);
    PanelRows restored{};
    applyMasks(restored, back.highMask, back.openDrainMask, back.inputMask);
    EXPECT_EQ(back.productId, 0x283u);
    EXPECT_EQ(restored[1].caption, "open-drain Output");
    EXPECT_EQ(restored[0].highCheck, 1);
    EXPECT_EQ(restored[1].highCheck, 1);
    EXPECT_EQ(restored[7].caption, "Input");
    EXPECT_EQ(collect(restored), m);
}

TEST(ConfigLine, ZeroPaddedUpperCaseAndWideProductIds) {
    EXPECT_EQ(formatConfigLine(cfg(0, 0, 0, 0)), "0000 00 00 00\r\n");
    EXPECT_EQ(formatConfigLine(cfg(0x26A, 0xab, 0x0f, 0xff)), "026A AB 0F FF\r\n");
    EXPECT_EQ(formatConfigLine(cfg(0x10283, 0x40, 0xC0, 0x01)), "10283 40 C0 01\r\n");
    EXPECT_EQ(formatConfigLine(cfg(0xFFFFFFFF, 1, 2, 3)), "FFFFFFFF 01 02 03\r\n");
}

TEST(ConfigLine, EveryWrittenLineReadsBackUnchanged) {
    std::mt19937 gen(99);
    for (int i = 0; i < 2000; ++i) {
        const ChannelConfig c = cfg(gen() & 0xFFFF, static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()),
                                    static_cast<uint8_t>(gen()));
        ASSERT_EQ(parseConfigText(formatConfigLine(c)), c) << formatConfigLine(c);
    }
}

// --- reading a line ----------------------------------------------------------------

TEST(ConfigParse, BlankPaddedFieldsReadAsZeroPadded) {
    EXPECT_EQ(parseConfigText("0261  0 FF  0"), cfg(0x261, 0x00, 0xFF, 0x00));
    EXPECT_EQ(parseConfigText("0261    FF 00"), cfg(0x261, 0x00, 0xFF, 0x00));
    EXPECT_EQ(parseConfigText("0261  1 FF  2\r\n"), cfg(0x261, 0x01, 0xFF, 0x02));
    // A line left entirely blank after the product ID.
    EXPECT_EQ(parseConfigText("0283          \r\n"), cfg(0x283, 0, 0, 0));
}

TEST(ConfigParse, BlankRepairRunsFourTimesForEachLength) {
    // Four runs of two blanks before offset 11 are repaired; the fifth,
    // behind the tab at offset 11, is not, so the field there skips all of
    // its white space and reads -5. A fifth repair would make it read 0.
    const std::string text = "  a  a  a  \t  -5";
    EXPECT_EQ(parseConfigText(text).inputMask, 0xFB);
    // The same with only four runs: the last one is repaired.
    EXPECT_EQ(parseConfigText("a  a  a  \t  -5").inputMask, 0x00);
    // Runs of three: the fourth (behind the tab at offset 11) still becomes
    // " 00", so the field reads 005. Left to the two-blank repair it would
    // read " 0 5", which is 0.
    EXPECT_EQ(parseConfigText("   a   a   \t   5").inputMask, 0x05);
}

TEST(ConfigParse, ShortAndEmptyTexts) {
    EXPECT_EQ(parseConfigText("0261"), cfg(0x261, 0, 0, 0));
    EXPECT_EQ(parseConfigText("0261\r\n"), cfg(0x261, 0, 0, 0));
    EXPECT_EQ(parseConfigText(""), ChannelConfig{});
    EXPECT_EQ(parseConfigText("0283 40"), cfg(0x283, 0x40, 0, 0));
    EXPECT_EQ(parseConfigText("junk"), ChannelConfig{});
}

TEST(ConfigParse, TextEndsAtItsFirstZeroByte) {
    EXPECT_EQ(parseConfigText("0283 40\0 C0 01\r\n"s), cfg(0x283, 0x40, 0, 0));
    EXPECT_EQ(parseConfigText("\0" "0283 40 C0 01"s), ChannelConfig{});
    // White space skipping stops at the zero byte too.
    EXPECT_EQ(parseConfigText("0283 40  \0" "C0"s), cfg(0x283, 0x40, 0, 0));
}

TEST(ConfigParse, OnlyTheFirst512BytesCount) {
    // A digit run across the limit: byte 511 is the last digit read.
    const std::string digits = std::string(511, '0') + "12345";
    EXPECT_EQ(parseConfigText(digits).productId, 0x1u);
    // White space up to the limit, a number just after it.
    std::string spaced = "0261 40 C0" + std::string(kConfigReadLimit - 10, '\t') + "7F\r\n";
    ASSERT_GT(spaced.size(), kConfigReadLimit);
    EXPECT_EQ(parseConfigText(spaced), cfg(0x261, 0x40, 0xC0, 0x00));
    // The same text cut short of the limit does reach the number.
    spaced.erase(20, 10);
    EXPECT_EQ(parseConfigText(spaced), cfg(0x261, 0x40, 0xC0, 0x7F));
}

TEST(ConfigParse, FieldsTakeSignPrefixAndSaturatedValues) {
    // Product ID taken whole: negative values wrap to 32 bits, big ones saturate.
    EXPECT_EQ(parseConfigText("-1").productId, 0xFFFFFFFFu);
    EXPECT_EQ(parseConfigText("FFFFFFFFFF").productId, 0x7FFFFFFFu);
    EXPECT_EQ(parseConfigText("-FFFFFFFFFF").productId, 0x80000000u);
    EXPECT_EQ(parseConfigText("0x283 ").productId, 0x283u);
    EXPECT_EQ(parseConfigText("+283").productId, 0x283u);
    // Masks keep their low 8 bits.
    EXPECT_EQ(parseConfigText("0261 -1 1FF 5"), cfg(0x261, 0xFF, 0xFF, 0x05));
    EXPECT_EQ(parseConfigText("0261 0x 100 ff"), cfg(0x261, 0x00, 0x00, 0xFF));
    // A saturated mask is 0x7FFFFFFF & 0xFF.
    EXPECT_EQ(parseConfigText("0261 40 C0 123456789").inputMask, 0xFF);
    EXPECT_EQ(parseConfigText("0261 40 C0 -123456789").inputMask, 0x00);
}

// --- the base-16 conversion --------------------------------------------------------

TEST(HexToLong, PrefixSignAndWhiteSpace) {
    EXPECT_EQ(hexToLong("1f", 0), 0x1F);
    EXPECT_EQ(hexToLong("1F", 0), 0x1F);
    EXPECT_EQ(hexToLong(" \t\n\v\f\r1A", 0), 0x1A);
    EXPECT_EQ(hexToLong("\xA0" "1A", 0), 0);  // not white space in the C locale
    EXPECT_EQ(hexToLong("-10", 0), -16);
    EXPECT_EQ(hexToLong("+10", 0), 16);
    EXPECT_EQ(hexToLong("+-10", 0), 0);
    EXPECT_EQ(hexToLong("- 10", 0), 0);
    EXPECT_EQ(hexToLong("0x1f", 0), 0x1F);
    EXPECT_EQ(hexToLong("0X1F", 0), 0x1F);
    EXPECT_EQ(hexToLong("-0x10", 0), -16);
    EXPECT_EQ(hexToLong("0x", 0), 0);
    EXPECT_EQ(hexToLong("0xg", 0), 0);
    EXPECT_EQ(hexToLong("0x0x5", 0), 0);
    EXPECT_EQ(hexToLong("00x5", 0), 0);
    EXPECT_EQ(hexToLong("x5", 0), 0);
    EXPECT_EQ(hexToLong("12g4", 0), 0x12);
    EXPECT_EQ(hexToLong("", 0), 0);
}

TEST(HexToLong, OffsetsInsideAndBeyondTheText) {
    const std::string text = "0283 40 C0 01";
    EXPECT_EQ(hexToLong(text, 5), 0x40);
    EXPECT_EQ(hexToLong(text, 4), 0x40);  // the blank is skipped
    EXPECT_EQ(hexToLong(text, 12), 0x1);
    EXPECT_EQ(hexToLong(text, text.size()), 0);
    EXPECT_EQ(hexToLong(text, text.size() + 100), 0);
}

TEST(HexToLong, SaturatesAtThe32BitRange) {
    EXPECT_EQ(hexToLong("7FFFFFFF", 0), 0x7FFFFFFFL);
    EXPECT_EQ(hexToLong("80000000", 0), 0x7FFFFFFFL);
    EXPECT_EQ(hexToLong("FFFFFFFFFFFFFFFFFFFFFFFF", 0), 0x7FFFFFFFL);
    EXPECT_EQ(hexToLong("-80000000", 0), -0x7FFFFFFFL - 1);
    EXPECT_EQ(hexToLong("-80000001", 0), -0x7FFFFFFFL - 1);
    EXPECT_EQ(hexToLong("-FFFFFFFFFFFFFFFFFFFFFFFF", 0), -0x7FFFFFFFL - 1);
    EXPECT_EQ(hexToLong("00000000000000000000001", 0), 1);  // leading zeros never overflow
}

TEST(HexToLong, AgreesWithTheLibraryConversionClampedTo32Bits) {
    // strtoll is 64-bit everywhere; clamping its result gives the 32-bit
    // conversion's value for every input.
    const std::string alphabet = " \t\n+-0xX19aAfFgG";
    std::mt19937 gen(7);
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        const size_t len = gen() % 24;
        for (size_t k = 0; k < len; ++k) s += alphabet[gen() % alphabet.size()];
        const long long ref = std::clamp(std::strtoll(s.c_str(), nullptr, 16), -0x80000000LL, 0x7FFFFFFFLL);
        ASSERT_EQ(static_cast<long long>(hexToLong(s, 0)), ref) << "'" << s << "'";
    }
}

// --- files -------------------------------------------------------------------------

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("zelio_cfg_") + info->name() + "_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string readBytes(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }
    // What the folder holds: a save leaves no temporary file behind.
    std::vector<std::string> fileNames() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path dir_;
};

using Names = std::vector<std::string>;

TEST_F(ConfigFileTest, SaveWritesExactlyTheLineAndLoadRestoresIt) {
    const auto path = dir_ / "board.kbd";
    const ChannelConfig c = cfg(0x283, 0x40, 0xC0, 0x01);
    ASSERT_TRUE(saveConfigFile(path, c));
    EXPECT_EQ(readBytes(path), "0283 40 C0 01\r\n");
    EXPECT_EQ(std::filesystem::file_size(path), 15u);
    EXPECT_EQ(fileNames(), Names{"board.kbd"});
    EXPECT_EQ(loadConfigFile(path), c);
}

TEST_F(ConfigFileTest, KoreanFileNameRoundTrips) {
    const auto path = dir_ / std::filesystem::path(u8"설정.kbd");
    const ChannelConfig c = cfg(0x265, 0x0F, 0xA5, 0x30);
    ASSERT_TRUE(saveConfigFile(path, c));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(loadConfigFile(path), c);

    const auto inKoreanDir = dir_ / std::filesystem::path(u8"한글 폴더") / std::filesystem::path(u8"모듈.kbd");
    std::filesystem::create_directories(inKoreanDir.parent_path());
    ASSERT_TRUE(saveConfigFile(inKoreanDir, c));
    EXPECT_EQ(loadConfigFile(inKoreanDir), c);
}

TEST_F(ConfigFileTest, SaveReplacesALongerExistingFile) {
    const auto path = dir_ / "old.kbd";
    writeBytes(path, std::string(300, 'Z'));
    ASSERT_TRUE(saveConfigFile(path, cfg(0x261, 0, 0, 0)));
    EXPECT_EQ(readBytes(path), "0261 00 00 00\r\n");
}

TEST_F(ConfigFileTest, SaveFailsWhenTheFileCannotBeCreated) {
    EXPECT_FALSE(saveConfigFile(dir_ / "missing folder" / "x.kbd", cfg(0x261, 0, 0, 0)));
    EXPECT_FALSE(saveConfigFile(dir_, cfg(0x261, 0, 0, 0)));  // a directory
}

TEST_F(ConfigFileTest, AWriteOrReplaceThatFailsKeepsTheOldFileAndNoTemporary) {
    const auto path = dir_ / "board.kbd";
    const std::string old = "0283 40 C0 01\r\n";
    writeBytes(path, old);

    // The disk fills up after four bytes of the new file.
    AtomicFileSteps diskFull = platformAtomicFileSteps();
    diskFull.writeTemp = [](const std::string& temp, std::string_view bytes) {
        platformAtomicFileSteps().writeTemp(temp, bytes.substr(0, 4));
        return TempFileResult::Failed;
    };
    EXPECT_FALSE(saveConfigFile(path, cfg(0x261, 0, 0, 0), diskFull));
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(fileNames(), Names{"board.kbd"});

    // The new file is complete, but it cannot take the old one's place.
    AtomicFileSteps noReplace = platformAtomicFileSteps();
    noReplace.replace = [](const std::string&, const std::string&) { return false; };
    EXPECT_FALSE(saveConfigFile(path, cfg(0x261, 0, 0, 0), noReplace));
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(fileNames(), Names{"board.kbd"});
}

TEST_F(ConfigFileTest, AFolderThatTakesNoNewFileIsWrittenInPlace) {
    const auto path = dir_ / "board.kbd";
    writeBytes(path, std::string(40, 'Z'));
    using std::filesystem::perms;
    const perms before = std::filesystem::status(dir_).permissions();
    std::filesystem::permissions(dir_, perms::owner_read | perms::owner_exec);
    // Where folder permissions do not bind (root, Windows), the folder's
    // refusal comes through the seam instead.
    AtomicFileSteps steps = platformAtomicFileSteps();
    const bool permissionsBind = !std::ofstream(dir_ / "probe");
    if (!permissionsBind) {
        std::filesystem::remove(dir_ / "probe");
        steps.writeTemp = [](const std::string&, std::string_view) { return TempFileResult::NotCreated; };
    }
    const bool saved = saveConfigFile(path, cfg(0x285, 0x01, 0x02, 0x04), steps);
    std::filesystem::permissions(dir_, before);
    EXPECT_TRUE(saved);
    EXPECT_EQ(readBytes(path), "0285 01 02 04\r\n");
    EXPECT_EQ(fileNames(), Names{"board.kbd"});
}

TEST_F(ConfigFileTest, AReadOnlyFileIsNotReplaced) {
    const auto path = dir_ / "board.kbd";
    const std::string old = "0283 40 C0 01\r\n";
    writeBytes(path, old);
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
    const bool saved = saveConfigFile(path, cfg(0x261, 0, 0, 0));
    std::filesystem::permissions(path, perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(fileNames(), Names{"board.kbd"});
}

// Whatever goes wrong in making the temporary file, a save stays atomic or
// fails; only a folder that refuses new files is written in place.
TEST_F(ConfigFileTest, SaveFailureModes) {
    std::u8string korean;  // 83 characters of 3 bytes: cut at a character's start
    for (int i = 0; i < 83; ++i) korean += u8"한";
    const struct {
        std::filesystem::path name;
        std::optional<TempFileResult> created;  // instead of the real step's result
        bool saved, inPlace;
    } cases[] = {
        {std::string(250, 'n') + ".kbd", {}, true, false},                        // name of 254 bytes
        {korean + u8".kbd", {}, true, false},                                      // of 253 bytes
        {std::string(249 - dir_.string().size(), 'p'), {}, true, false},         // path of 250 characters
        {"board.kbd", TempFileResult::Failed, false, false},                       // full disk, quota, EIO
        {"board.kbd", TempFileResult::NotCreated, true, true},                     // the folder refuses
    };
    for (const auto& c : cases) {
        const auto path = dir_ / c.name;
        ASSERT_TRUE(saveConfigFile(path, cfg(0x283, 0x40, 0xC0, 0x01)));
        AtomicFileSteps steps = platformAtomicFileSteps();
        bool inPlace = false;
        steps.writeInPlace = [&](const std::string& target, std::string_view bytes) {
            return inPlace = platformAtomicFileSteps().writeInPlace(target, bytes);
        };
        if (c.created) steps.writeTemp = [&](const std::string&, std::string_view) { return *c.created; };
        const bool saved = saveConfigFile(path, cfg(0x261, 0, 0, 0), steps);
        EXPECT_EQ(std::tuple(saved, inPlace, loadConfigFile(path).productId),
                  std::tuple(c.saved, c.inPlace, c.saved ? 0x261u : 0x283u)) << path;
        EXPECT_EQ(fileNames(), Names{c.name.string()});
        std::filesystem::remove(path);
    }  // and the real step tells a name that is too long from a folder's refusal:
    EXPECT_EQ(platformAtomicFileSteps().writeTemp((dir_ / std::string(300, 'x')).string(), "x"), TempFileResult::Failed);
}

#ifndef _WIN32
// Mode less set-user-ID and set-group-ID, another user's owner and group, extended attributes.
TEST_F(ConfigFileTest, SaveKeepsWhatTheOldFileHad) {
    if (::geteuid() != 0) GTEST_SKIP() << "another user's file needs root";
    const auto path = dir_ / "board.kbd";
    writeBytes(path, "0283 40 C0 01\r\n");
    ASSERT_EQ(::chown(path.c_str(), 4321, 4322) | ::chmod(path.c_str(), 06754), 0);
    const struct { const char* name; std::string value; bool kept; } attributes[] = {  // security.capability: cap_net_raw=ep
        {"user.zelio", "kept", true}, {"security.selinux", "system_u:object_r:etc_t:s0", true}, {"trusted.zelio", "kept", true},
        {"security.capability", std::string("\x01\0\0\x02\0\x20\0\0", 8) + std::string(12, '\0'), false},
        {"security.ima", "\x04\x04old", false}, {"trusted.overlay.origin", "old", false}};
    std::vector<bool> set;  // where this system takes the attribute at all
    for (const auto& a : attributes) set.push_back(::setxattr(path.c_str(), a.name, a.value.data(), a.value.size(), 0) == 0);
    ASSERT_TRUE(saveConfigFile(path, cfg(0x261, 0, 0, 0)));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(st.st_mode & 07777, st.st_uid, st.st_gid), std::tuple(0754u, 4321u, 4322u));
    for (size_t i = 0; i < std::size(attributes); ++i) {
        std::string value(64, '\0');
        value.resize(std::max<ssize_t>(::getxattr(path.c_str(), attributes[i].name, value.data(), value.size()), 0));
        EXPECT_TRUE(!set[i] || value == (attributes[i].kept ? attributes[i].value : "")) << attributes[i].name;
    }
    EXPECT_TRUE(set[0]);
}
#endif

bool makeLink(const std::filesystem::path& target, const std::filesystem::path& link) {
#ifdef _WIN32  // Wine says yes without making a link: look whether it is there
    ::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

// The user's own link leads to its file; a link that another user left in a
// sticky folder is not followed (fs.protected_symlinks=1): it is replaced itself.
TEST_F(ConfigFileTest, SaveThroughLinks) {
    std::filesystem::create_directories(dir_ / "real");
    const auto file = dir_ / "real" / "board.kbd";
    writeBytes(file, "0283 40 C0 01\r\n");
    if (!makeLink(std::filesystem::path("real") / "board.kbd", dir_ / "link.kbd")) GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(saveConfigFile(dir_ / "link.kbd", cfg(0x261, 0, 0, 0)));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link.kbd"));
    EXPECT_EQ(readBytes(file), "0261 00 00 00\r\n");
    EXPECT_EQ(fileNames(), (Names{"link.kbd", "real"}));
#ifndef _WIN32
    std::string protectedLinks;
    std::ifstream("/proc/sys/fs/protected_symlinks") >> protectedLinks;
    if (::geteuid() != 0 || protectedLinks.empty()) GTEST_SKIP() << "another user's link needs root and Linux";
    const auto sticky = dir_ / "sticky", planted = sticky / "board.kbd";
    std::filesystem::create_directories(sticky);
    ASSERT_TRUE(::chmod(sticky.c_str(), 01777) == 0 && makeLink(file, planted) && ::lchown(planted.c_str(), 4321, 4321) == 0);
    std::ofstream("/proc/sys/fs/protected_symlinks") << "1";
    const bool saved = saveConfigFile(planted, cfg(0x262, 0, 0, 0));
    std::ofstream("/proc/sys/fs/protected_symlinks") << protectedLinks;
    EXPECT_TRUE(saved && !std::filesystem::is_symlink(planted) && readBytes(planted) == "0262 00 00 00\r\n");
    EXPECT_EQ(readBytes(file), "0261 00 00 00\r\n");  // as the first save left it
#endif
}

TEST_F(ConfigFileTest, UnreadableOrEmptyFilesLoadAsNoConfiguration) {
    EXPECT_EQ(loadConfigFile(dir_ / "does-not-exist.kbd"), ChannelConfig{});
    EXPECT_EQ(loadConfigFile(dir_), ChannelConfig{});
    const auto empty = dir_ / "empty.kbd";
    writeBytes(empty, "");
    EXPECT_EQ(loadConfigFile(empty), ChannelConfig{});
    EXPECT_EQ(listSelectionFor(loadConfigFile(empty).productId), std::optional<int>(-1));
}

TEST_F(ConfigFileTest, FileOfOnlyAProductIdLoadsAllOutputsLow) {
    const auto path = dir_ / "id.kbd";
    writeBytes(path, "0261");
    const ChannelConfig c = loadConfigFile(path);
    EXPECT_EQ(c, cfg(0x261, 0, 0, 0));
    PanelRows rows = {};
    rows[3].caption = kCaptionInput;
    rows[3].highCheck = 1;
    applyMasks(rows, c.highMask, c.openDrainMask, c.inputMask);
    for (const PanelRow& row : rows) {
        EXPECT_EQ(row.caption, "push/pull Output");
        EXPECT_EQ(row.highCheck, 0);
    }
}

TEST_F(ConfigFileTest, BytesAfterTheFirst512AreNeverRead) {
    const auto path = dir_ / "long.kbd";
    writeBytes(path, "0261 40 C0" + std::string(kConfigReadLimit - 10, '\n') + "7F\r\n");
    EXPECT_EQ(loadConfigFile(path), cfg(0x261, 0x40, 0xC0, 0x00));

    writeBytes(path, std::string(511, '0') + "12345");
    EXPECT_EQ(loadConfigFile(path).productId, 0x1u);
}

TEST_F(ConfigFileTest, LoadReadsBinaryWithoutTranslation) {
    const auto path = dir_ / "crlf.kbd";
    // Line ends are not translated: offset 11 is the \n, skipped as white
    // space before the 7F.
    writeBytes(path, "0283 40 C0\r\n7F");
    EXPECT_EQ(loadConfigFile(path), cfg(0x283, 0x40, 0xC0, 0x7F));
    // A zero byte inside the file ends the text.
    writeBytes(path, "0283 40\0 C0 01\r\n"s);
    EXPECT_EQ(loadConfigFile(path), cfg(0x283, 0x40, 0x00, 0x00));
}

}  // namespace
}  // namespace zelio
