// The hidapi host exists in the Linux build only.
#if defined(__linux__)

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "link/hidapi_hid_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

std::optional<ReportDescriptorInfo> parse(const std::vector<uint8_t>& bytes) {
    return parseReportDescriptor(bytes.data(), bytes.size());
}

TEST(HidapiHost, EnumeratesWithoutDevicesAndRefusesBadPaths) {
    HidapiHost host;
    const std::vector<std::string> paths = host.enumerate();
    std::set<std::string> unique;
    for (const std::string& path : paths) {
        EXPECT_FALSE(path.empty());
        EXPECT_TRUE(unique.insert(path).second) << "listed twice: " << path;
    }
    EXPECT_EQ(host.open("/nonexistent", false), nullptr);
    EXPECT_EQ(host.open("/nonexistent", true), nullptr);
    // The reason names the node and says what the system said.
    EXPECT_EQ(host.lastFailure().kind, FailureKind::Gone);
    EXPECT_EQ(host.lastFailure().text(), "open /nonexistent: No such file or directory");
    EXPECT_EQ(host.open("", false), nullptr);
}

TEST(HidapiHost, TwoHostsShareTheLibraryAndAModuleLinkFindsNoModule) {
    HidapiHost first;
    {
        HidapiHost second;  // its end must not shut the library down for `first`
        second.enumerate();
    }
    ManualClock clock;
    ModuleLink link(first, clock);
    EXPECT_TRUE(link.listModules().empty());
    EXPECT_EQ(link.open(0x280), 0);
    EXPECT_EQ(link.send(0x280, commandReport(0x40)), 0);
}

TEST(ReportDescriptor, VendorPageWithUnnumberedEightByteReports) {
    const auto info = parse({0x06, 0x00, 0xFF,  // usage page (vendor)
                             0x09, 0x01, 0xA1, 0x01,  // usage, collection (application)
                             0x15, 0x00, 0x26, 0xFF, 0x00,  // logical 0..255
                             0x75, 0x08, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02,  // 8 x 8 bits in
                             0x95, 0x08, 0x09, 0x01, 0x91, 0x02,  // 8 x 8 bits out
                             0xC0});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->caps.inputReportLength, 9);
    EXPECT_EQ(info->caps.outputReportLength, 9);
    EXPECT_FALSE(info->numberedReports);
}

TEST(ReportDescriptor, NumberedReportsTakeTheLongestPerKind) {
    const auto info = parse({0xA1, 0x01, 0x75, 0x08,
                             0x85, 0x01, 0x95, 0x03, 0x81, 0x02,  // input 1: 3 bytes
                             0x85, 0x02, 0x95, 0x10, 0x81, 0x02,  // input 2: 16 bytes
                             0x95, 0x04, 0x91, 0x02,              // output 2: 4 bytes
                             0x85, 0x03, 0x95, 0x02, 0x91, 0x02,  // output 3: 2 bytes
                             0xB1, 0x02,                          // a feature report counts for neither
                             0xC0});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->caps.inputReportLength, 17);
    EXPECT_EQ(info->caps.outputReportLength, 5);
    EXPECT_TRUE(info->numberedReports);
}

TEST(ReportDescriptor, BitFieldsRoundUpAndPushPopRestoresGlobals) {
    const auto info = parse({0x75, 0x01, 0x95, 0x05, 0x81, 0x02,  // 5 bits
                             0x75, 0x03, 0x95, 0x01, 0x81, 0x01,  // 3 bits of padding
                             0x75, 0x01, 0x95, 0x01, 0x81, 0x02,  // 1 more bit: 9 bits
                             0xA4,                                // push (size 1, count 1)
                             0x75, 0x10, 0x95, 0x02, 0x91, 0x02,  // output: 32 bits
                             0xB4,                                // pop
                             0x91, 0x02,                          // output: 1 more bit
                             0xFE, 0x02, 0x10, 0xAA, 0xBB});      // a long item, skipped
    ASSERT_TRUE(info);
    EXPECT_EQ(info->caps.inputReportLength, 3);   // 9 bits -> 2 bytes + ID
    EXPECT_EQ(info->caps.outputReportLength, 6);  // 33 bits -> 5 bytes + ID
}

TEST(ReportDescriptor, EmptyDescriptorHasNoReports) {
    const auto info = parse({});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->caps.inputReportLength, 0);
    EXPECT_EQ(info->caps.outputReportLength, 0);
}

TEST(ReportDescriptor, MalformedDescriptorsAreRejected) {
    EXPECT_FALSE(parse({0x75}));                    // item data missing
    EXPECT_FALSE(parse({0x96, 0x01}));              // two data bytes announced, one there
    EXPECT_FALSE(parse({0xFE, 0x05, 0x10, 0x00}));  // long item cut short
    EXPECT_FALSE(parse({0xB4}));                    // pop without push
    EXPECT_FALSE(parse({0x85, 0x00}));              // report ID 0 is reserved
    // 255 x 65535 bits: longer than a report length can say.
    EXPECT_FALSE(parse({0x75, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x02}));
    std::vector<uint8_t> deep(17, 0xA4);            // pushes beyond any sane depth
    EXPECT_FALSE(parse(deep));
}

}  // namespace

#endif  // __linux__
