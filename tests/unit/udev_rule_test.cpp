// The shipped udev rule, matched the way udev matches it (fnmatch patterns
// on the device's properties and its parents' attributes).
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

using namespace zelio;

namespace {

struct Assignment {
    std::string key, op, value;
};

std::vector<Assignment> parseRule(const std::string& line) {
    static const std::regex kPair(R"re(([A-Z]+(\{[A-Za-z_]+\})?)\s*(==|!=|\+=|=)\s*"([^"]*)")re");
    std::vector<Assignment> out;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), kPair); it != std::sregex_iterator(); ++it)
        out.push_back({(*it)[1], (*it)[3], (*it)[4]});
    return out;
}

// True when every == of the rule matches the hidraw node of a USB device
// with these IDs (sysfs writes them as four lower-case hex digits).
bool matches(const std::vector<Assignment>& rule, unsigned vendor, unsigned product) {
    char vid[8], pid[8];
    std::snprintf(vid, sizeof vid, "%04x", vendor);
    std::snprintf(pid, sizeof pid, "%04x", product);
    const std::map<std::string, std::string> device = {
        {"SUBSYSTEM", "hidraw"}, {"ATTRS{idVendor}", vid}, {"ATTRS{idProduct}", pid}};
    for (const Assignment& a : rule) {
        if (a.op != "==") continue;
        const auto it = device.find(a.key);
        if (it == device.end() || fnmatch(a.value.c_str(), it->second.c_str(), 0) != 0) return false;
    }
    return true;
}

TEST(UdevRule, MatchesTheFamilysTwentyIdsAndNothingNextToThem) {
    std::vector<std::vector<Assignment>> rules;
    std::istringstream text(udevRuleText());
    for (std::string line; std::getline(text, line);)
        if (line.rfind("SUBSYSTEM", 0) == 0) rules.push_back(parseRule(line));
    ASSERT_EQ(rules.size(), 1u);  // the user at the seat and the group zelio alike

    auto has = [](const std::vector<Assignment>& rule, const std::string& key, const std::string& op,
                  const std::string& value) {
        for (const Assignment& a : rule)
            if (a.key == key && a.op == op && a.value == value) return true;
        return false;
    };
    EXPECT_TRUE(has(rules[0], "SUBSYSTEM", "==", "hidraw"));
    EXPECT_TRUE(has(rules[0], "TAG", "+=", "uaccess"));
    EXPECT_TRUE(has(rules[0], "GROUP", "=", "zelio"));
    EXPECT_TRUE(has(rules[0], "MODE", "=", "0660"));

    for (const auto& rule : rules) {
        for (const unsigned family : {0x260u, 0x280u})
            for (unsigned nibble = 0; nibble <= 9; ++nibble)
                EXPECT_TRUE(matches(rule, 0x1D5A, family + nibble)) << std::hex << family + nibble;
        for (const unsigned neighbour : {0x25Fu, 0x26Au, 0x26Fu, 0x270u, 0x27Fu, 0x28Au, 0x290u, 0x1280u, 0x2800u})
            EXPECT_FALSE(matches(rule, 0x1D5A, neighbour)) << std::hex << neighbour;
        EXPECT_FALSE(matches(rule, 0x1D5B, 0x280));
        EXPECT_FALSE(matches(rule, 0x046D, 0x283));
    }
}

}  // namespace
