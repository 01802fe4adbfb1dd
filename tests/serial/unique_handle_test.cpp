// The Win32 handle owner: one close per handle, wherever it moves, both empty values of
// the system left alone, and a cleanup that leaves the cause of a failure as last error.

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "platform/win32/unique_handle.h"

namespace {

std::vector<HANDLE> gClosed;
bool gCloseFails = false;

BOOL FakeClose(HANDLE h) {
    gClosed.push_back(h);
    if (gCloseFails) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

using Handle = platform::BasicUniqueHandle<FakeClose>;

HANDLE Fake(uintptr_t n) {
    return reinterpret_cast<HANDLE>(n);
}

class UniqueHandle : public ::testing::Test {
  protected:
    void SetUp() override {
        gClosed.clear();
        gCloseFails = false;
    }
};

TEST_F(UniqueHandle, ClosesOnceWhereverItMoves) {
    {
        Handle a(Fake(0x10));
        Handle b(std::move(a));
        EXPECT_FALSE(a);
        Handle c(Fake(0x20));
        c = std::move(b);
        EXPECT_EQ(gClosed, std::vector<HANDLE>{Fake(0x20)});
        Handle invalid(INVALID_HANDLE_VALUE);
        Handle null(nullptr);
        EXPECT_FALSE(invalid);
        EXPECT_FALSE(null);
    }
    EXPECT_EQ(gClosed, (std::vector<HANDLE>{Fake(0x20), Fake(0x10)}));

    gClosed.clear();
    Handle kept(Fake(0x30));
    EXPECT_EQ(kept.Release(), Fake(0x30));
    kept.Reset();
    EXPECT_TRUE(gClosed.empty()) << "a released handle is the caller's";
}

TEST_F(UniqueHandle, ResetKeepsTheCauseCloseReportsItsOwn) {
    gCloseFails = true;
    {
        Handle failing(Fake(0x40));
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    Handle held(Fake(0x50));
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(held.Close());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(held.Close()) << "nothing held, nothing to fail";
    EXPECT_EQ(gClosed, (std::vector<HANDLE>{Fake(0x40), Fake(0x50)}));
}

}  // namespace
