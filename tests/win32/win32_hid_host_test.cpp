#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/module_link.h"
#include "link/module_lock.h"
#include "protocol/command_set.h"
#include "link/win32_hid_host.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

TEST(Win32HidHost, EnumeratesAndFindsNoModule) {
    Win32HidHost host;
    const std::vector<std::string> paths = host.enumerate();
    std::set<std::string> unique;
    for (const std::string& path : paths) {
        EXPECT_FALSE(path.empty());
        EXPECT_TRUE(unique.insert(path).second) << "listed twice: " << path;
    }

    ManualClock clock;
    ModuleLink link(host, clock);
    EXPECT_TRUE(link.listModules().empty());
    EXPECT_EQ(link.open(0x280), 0);
    EXPECT_EQ(link.connect(0x260), 0);
    EXPECT_EQ(link.send(0x280, commandReport(0x45, 0, 3)), 0);
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_FALSE(link.isOpen());
}

TEST(Win32HidHost, OpenFailsForPathsThatDoNotExist) {
    Win32HidHost host;
    EXPECT_EQ(host.open("\\\\?\\hid#vid_1d5a&pid_0280#no_such_device", false), nullptr);
    EXPECT_EQ(host.open("\\\\?\\hid#vid_1d5a&pid_0280#no_such_device", true), nullptr);
    // The failing call, the system's code and its text.
    EXPECT_EQ(host.lastFailure().kind, FailureKind::Gone);
    EXPECT_EQ(host.lastFailure().text().rfind("CreateFileW: (", 0), 0u) << host.lastFailure().text();
    EXPECT_NE(host.lastFailure().text().find(") "), std::string::npos) << host.lastFailure().text();
    EXPECT_EQ(host.open("", false), nullptr);
    EXPECT_EQ(host.open("\xff\xfe", false), nullptr);  // not UTF-8
}

// The handle's I/O is plain file I/O on the device path, so a named pipe can
// stand in for a device and show the read, time-out and cancel behaviour.
class PipeTest : public ::testing::Test {
protected:
    std::string path;
    HANDLE server = INVALID_HANDLE_VALUE;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = "\\\\.\\pipe\\zelio_" + std::string(info->name()) + "_" + std::to_string(GetCurrentProcessId());
        const std::wstring wide(path.begin(), path.end());
        server = CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                  PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (server != INVALID_HANDLE_VALUE) CloseHandle(server);
    }
    void accept() {
        if (!ConnectNamedPipe(server, nullptr)) {
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));
        }
    }
    void serverWrite(const std::vector<uint8_t>& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(server, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }
    std::vector<uint8_t> serverRead(size_t length) {
        std::vector<uint8_t> bytes(length);
        DWORD got = 0;
        if (!ReadFile(server, bytes.data(), static_cast<DWORD>(length), &got, nullptr)) got = 0;
        bytes.resize(got);
        return bytes;
    }
};

TEST_F(PipeTest, ReadReturnsDataTimesOutAndCancelsThePendingRead) {
    Win32HidHost host;
    auto handle = host.open(path, true);
    ASSERT_NE(handle, nullptr);
    accept();

    const std::vector<uint8_t> first = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    serverWrite(first);
    std::vector<uint8_t> buffer(9, 0xEE);
    EXPECT_EQ(handle->read(buffer.data(), buffer.size(), 5000), ReadResult::Ok);
    EXPECT_EQ(buffer, first);

    // Nothing sent: the read times out and is cancelled.
    std::vector<uint8_t> stale(9, 0xEE);
    EXPECT_EQ(handle->read(stale.data(), stale.size(), 50), ReadResult::Timeout);

    // Data sent afterwards goes to the next read, not to the cancelled one.
    const std::vector<uint8_t> second = {0, 9, 8, 7, 6, 5, 4, 3, 2};
    serverWrite(second);
    std::vector<uint8_t> fresh(9, 0xEE);
    EXPECT_EQ(handle->read(fresh.data(), fresh.size(), 5000), ReadResult::Ok);
    EXPECT_EQ(fresh, second);
    EXPECT_EQ(stale, std::vector<uint8_t>(9, 0xEE));

    // The other end gone: the read fails instead of waiting.
    CloseHandle(server);
    server = INVALID_HANDLE_VALUE;
    EXPECT_EQ(handle->read(fresh.data(), fresh.size(), 5000), ReadResult::Error);
}

TEST_F(PipeTest, WritesReachTheDeviceFromBothKindsOfHandle) {
    Win32HidHost host;
    auto writer = host.open(path, false);
    ASSERT_NE(writer, nullptr);
    accept();
    const std::vector<uint8_t> report = {0, 0x55, 0xAA, 0x45, 0x00, 0xFD, 0, 0, 0};
    EXPECT_TRUE(writer->write(report.data(), report.size()));
    EXPECT_EQ(serverRead(report.size()), report);

    // A synchronous handle cannot wait with a time-out: reads are refused.
    std::vector<uint8_t> buffer(9);
    EXPECT_EQ(writer->read(buffer.data(), buffer.size(), 10), ReadResult::Error);

    // Not a HID device: no attributes and no capabilities.
    HidAttributes attributes;
    HidCaps caps;
    EXPECT_FALSE(writer->attributes(attributes));
    EXPECT_FALSE(writer->caps(caps));
}

TEST_F(PipeTest, OverlappedHandleWritesToo) {
    Win32HidHost host;
    auto handle = host.open(path, true);
    ASSERT_NE(handle, nullptr);
    accept();
    const std::vector<uint8_t> report = {0, 0x55, 0xAA, 0x40, 0, 0, 0, 0, 0};
    EXPECT_TRUE(handle->write(report.data(), report.size()));
    EXPECT_EQ(serverRead(report.size()), report);
}

// One global mutex every user may wait for and release; a closed one is busy.
TEST(Win32ModuleLock, OneGlobalMutexForEveryUserAndNoLockElsewhere) {
    const std::string word = "lock-test-" + std::to_string(GetCurrentProcessId());
    const std::wstring global = L"Global\\zelio-" + std::wstring(word.begin(), word.end());
    ManualClock clock;
    auto takeElsewhere = [&](const std::string& name) {
        Failure other;
        std::thread([&] { other.kind = lockModule(name, clock, 0, other) ? FailureKind::None : other.kind; }).join();
        return other.kind;
    };
    Failure failure;
    std::unique_ptr<ModuleLock> held = lockModule(word, clock, 0, failure);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL, FALSE, global.c_str());
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    ASSERT_TRUE(held && mutex && GetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                                 nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
                ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::wstring list(text);
    for (const wchar_t* user : {L"AU", L"IU", L"OW"})  // waiting and releasing only
        EXPECT_NE(list.find(std::wstring(L"(A;;0x100001;;;") + user + L")"), std::wstring::npos) << user;
    EXPECT_EQ(takeElsewhere(word), FailureKind::Busy);
    held.reset();
    EXPECT_EQ(takeElsewhere(word), FailureKind::None);

    SECURITY_ATTRIBUTES closed{sizeof closed, nullptr, FALSE};
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", 1, &closed.lpSecurityDescriptor, nullptr));
    HANDLE squatter = CreateMutexW(&closed, FALSE, (global + L"-closed").c_str());
    EXPECT_EQ(takeElsewhere(word + "-closed"), FailureKind::Busy);
    for (HLOCAL memory : {HLOCAL(text), HLOCAL(descriptor), HLOCAL(closed.lpSecurityDescriptor)}) LocalFree(memory);
    for (HANDLE handle : {mutex, squatter}) CloseHandle(handle);
}

}  // namespace
