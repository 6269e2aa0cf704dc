// The handle owner template: whatever happens to an owner, each handle it
// took is closed exactly once, and values that mean "none" never are.

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "win32/win32_unique.h"

namespace zelio::win32 {
namespace {

// Times each fake handle value was closed.
std::map<int, int> closes;
void countClose(int handle) noexcept { ++closes[handle]; }
using counted = unique_any<int, countClose>;

std::map<HANDLE, int> handleCloses;
void countHandleClose(HANDLE handle) noexcept { ++handleCloses[handle]; }
using countedHandle = unique_any<HANDLE, countHandleClose, NotNullOrInvalid>;

HANDLE fakeHandle(int n) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(n)); }

class UniqueAnyTest : public ::testing::Test {
protected:
    void SetUp() override {
        closes.clear();
        handleCloses.clear();
    }
};

TEST_F(UniqueAnyTest, MovesHandOverWithoutClosing) {
    {
        counted a(1);
        counted b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 1);
        EXPECT_TRUE(closes.empty());

        counted c(2);
        c = std::move(b);  // 2 is closed now, 1 changes owner
        EXPECT_EQ(closes, (std::map<int, int>{{2, 1}}));
        EXPECT_FALSE(b);
        EXPECT_EQ(c.get(), 1);

        auto& self = c;
        c = std::move(self);
        EXPECT_EQ(c.get(), 1);
        EXPECT_EQ(closes.count(1), 0u);
    }
    EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}}));
}

TEST_F(UniqueAnyTest, ResetReleaseAndPut) {
    {
        counted a(1);
        a.reset(2);
        EXPECT_EQ(closes, (std::map<int, int>{{1, 1}}));
        a.reset();
        EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}}));
        EXPECT_FALSE(a);
        a.reset();  // nothing owned: nothing closed

        counted b(3);
        EXPECT_EQ(b.release(), 3);
        EXPECT_FALSE(b);

        counted c(4);
        int* slot = c.put();
        EXPECT_EQ(*slot, 0);
        *slot = 5;
        EXPECT_EQ(c.get(), 5);
    }
    EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}, {4, 1}, {5, 1}}));
}

TEST_F(UniqueAnyTest, KernelHandlesTreatNullAndInvalidAsNone) {
    {
        countedHandle none;
        countedHandle invalid(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(none);
        EXPECT_FALSE(invalid);
        countedHandle real(fakeHandle(8));
        EXPECT_TRUE(real);
        real.reset(INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(handleCloses, (std::map<HANDLE, int>{{fakeHandle(8), 1}}));
}

}  // namespace
}  // namespace zelio::win32
