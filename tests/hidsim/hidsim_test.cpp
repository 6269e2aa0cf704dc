// zelioctl.exe through the real Windows HID path (SetupDi, HidD, CreateFileW,
// WriteFile, overlapped ReadFile) against virtual modules behind the HID
// class driver. Every case runs in this program's Wine session.
#include <gtest/gtest.h>

#include "hidsim.h"
#include "run_program.h"

namespace zelio::hidsim {
namespace {

ProgramResult zelioctl(const std::wstring& arguments) { return runProgram(L"zelioctl.exe", arguments); }

TEST(RealHidPath, ListsAndReadsTheVersionOfAVirtualModule) {
    Bench bench;
    ASSERT_EQ(bench.error(), "");
    ASSERT_NE(bench.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting), nullptr) << bench.error();

    ProgramResult list = zelioctl(L"list");
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "0x280\n");

    ProgramResult version = zelioctl(L"version");
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out, "1.2\n");
}

}  // namespace
}  // namespace zelio::hidsim
