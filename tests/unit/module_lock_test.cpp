// The module lock between programs (POSIX): turns in steps on the test's
// clock, held as asked, and nothing another user plants or holds breaks it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "emulator/emulated_host.h"
#include "link/module_link.h"
#include "manual_clock.h"
#include "protocol/command_set.h"

using namespace zelio;

namespace {

const std::string kRun = "unit-" + std::to_string(::getpid()) + "-";
struct OwnLocks final : ForwardingHidHost {  // the emulator's modules, under lock names of this run only
    using ForwardingHidHost::ForwardingHidHost;
    std::string lockName(const std::string& path) override { return kRun + path; }
};

TEST(ModuleLock, ACommandWaitsInStepsForItsTurnLooksOnceAndHoldsItAsAsked) {
    ManualClock clock;
    EmulatedHost emulated{clock};
    OwnLocks host{emulated};
    ModuleLink link{host, clock};
    const std::string name = kRun + emulated.pathOf(emulated.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting));
    std::unique_ptr<ModuleLock> other;  // another program's turn
    Failure why;
    auto takeOther = [&] { return (other = lockModule(name, clock, 0, why)) != nullptr; };
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1);
    const uint64_t looks = link.directory().enumerations();
    for (const int64_t freedAt : {int64_t{100}, int64_t{kModuleLockWaitMs + 1}}) {  // the second: not in time
        ASSERT_TRUE(takeOther());  // the last command let go
        // The turn is waited for from the command's start: the module is opened during the pause.
        const int64_t start = clock.nowMs(), bound = std::min<int64_t>(freedAt, kModuleLockWaitMs);
        const size_t sleeps = clock.sleeps().size() + 1;
        clock.onSleep = [&](int64_t now) { if (now - start >= freedAt) other.reset(); };
        EXPECT_EQ(link.transact(0x280, commandReport(0x40)), freedAt < kModuleLockWaitMs ? 1 : 0);
        EXPECT_EQ(link.lastFailure().kind, freedAt < kModuleLockWaitMs ? FailureKind::None : FailureKind::Busy);
        EXPECT_TRUE(clock.nowMs() - start >= bound && clock.nowMs() - start <= bound + kModuleLockStepMs);
        for (size_t i = sleeps; i < clock.sleeps().size(); ++i) EXPECT_LE(clock.sleeps()[i], kModuleLockStepMs);
        EXPECT_EQ(link.directory().enumerations(), looks);  // a busy module is not looked for again
        clock.onSleep = nullptr;
        other.reset();
    }
    link.holdModuleLock(true);  // a write and its read-back: one turn
    ASSERT_EQ(link.send(0x280, commandReport(0x4D, 0, 0)), 1);
    EXPECT_FALSE(takeOther());
    link.holdModuleLock(false);
    EXPECT_TRUE(takeOther());
    ::remove(moduleLockFilePath(name).c_str());
}

std::vector<int> holds;  // what other programs hold during a row: open files, pipes to children
bool hold(const std::string& path) {
    holds.push_back(::open(path.c_str(), O_RDONLY | O_NONBLOCK));
    return holds.back() >= 0 && ::flock(holds.back(), LOCK_EX | LOCK_NB) == 0;
}
// Takes `name`'s lock as user nobody, in a child that keeps it while its pipe is open.
bool holdAsNobody(const std::string& name) {
    int ready[2], done[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) return false;
    char c = 1;
    if (::fork() == 0) {
        ::close(done[1]);
        ManualClock clock;
        Failure why;
        const auto lock = ::setgid(65534) == 0 && ::setuid(65534) == 0 ? lockModule(name, clock, 0, why) : nullptr;
        (void)!::write(ready[1], &c, 1);
        (void)!::read(done[0], &c, 1);
        ::_exit(0);
    }
    ::close(done[0]);
    ::close(ready[1]);
    holds.insert(holds.end(), {done[1], ready[0]});
    return ::read(ready[0], &c, 1) == 1;
}

TEST(ModuleLock, NothingPlantedBlocksOrIsFollowedAndOnlyWhoMayOpenTheModuleHoldsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to make device nodes and to be another user";
    char dir[] = "/tmp/zelio-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ::chmod(dir, 0755);
    const std::string node = dir + std::string("/node"), alias = node + "-alias", file = node + "-file";
    const auto device = [&](mode_t mode) { return ::mknod(node.c_str(), S_IFCHR | mode, ::makedev(1, 3)) == 0; };
    const std::function<bool(const std::string&)> fifo = [](auto& at) { return ::mkfifo(at.c_str(), 0666) == 0; },
        folder = [](auto& at) { return ::mkdir(at.c_str(), 0777) == 0 && hold(at); },
        link = [&](auto& at) { return ::creat(file.c_str(), 0666) >= 0 && hold(file) && !::symlink(file.c_str(), at.c_str()); },
        closed = [&](auto&) { return device(0600) && holdAsNobody(node); },
        open = [&](auto&) { return device(0666) && holdAsNobody(node); },
        aliased = [&](auto& at) { return open(at) && ::symlink(node.c_str(), alias.c_str()) == 0; };
    struct Row {
        std::string name;  // what the command locks
        const std::function<bool(const std::string& lockFile)>& plant;
        bool busy;
    };
    for (const Row& row : std::initializer_list<Row>{{kRun + "fifo", fifo, false},
                                                     {kRun + "folder", folder, false},
                                                     {kRun + "link", link, false},
                                                     {node, closed, false},  // nobody may not open it
                                                     {node, open, true},
                                                     {alias, aliased, true}}) {
        const std::string lockFile = moduleLockFilePath(row.name);
        EXPECT_TRUE(row.plant(lockFile)) << row.name;
        ManualClock clock;
        Failure why;
        EXPECT_EQ(lockModule(row.name, clock, kModuleLockWaitMs, why) == nullptr, row.busy) << row.name;
        EXPECT_EQ(clock.nowMs(), row.busy ? kModuleLockWaitMs : 0) << row.name;
        for (const int fd : holds) ::close(fd);
        holds.clear();
        while (::wait(nullptr) > 0) {
        }
        for (const std::string& path : {lockFile, node, alias, file}) ::remove(path.c_str());
    }
    ::rmdir(dir);
}

}  // namespace
