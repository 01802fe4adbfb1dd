// The descriptor owner: one close per descriptor, wherever it moves, and a cleanup that
// leaves the cause of a failure in errno.

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace {

std::vector<int> gClosed;
int gCloseError = 0;

int FakeClose(int fd) {
    gClosed.push_back(fd);
    if (gCloseError != 0) {
        errno = gCloseError;
        return -1;
    }
    return 0;
}

using Fd = platform::BasicUniqueFd<FakeClose>;

class UniqueFd : public ::testing::Test {
  protected:
    void SetUp() override {
        gClosed.clear();
        gCloseError = 0;
    }
};

TEST_F(UniqueFd, ClosesOnceWhereverItMoves) {
    {
        Fd a(7);
        Fd b(std::move(a));
        EXPECT_FALSE(a);
        Fd c;
        c = std::move(b);
        EXPECT_EQ(c.Get(), 7);
        Fd d(9);
        d = std::move(c);  // 9 closes here, 7 goes on
        EXPECT_EQ(gClosed, std::vector<int>{9});
        Fd none(-1);
    }
    EXPECT_EQ(gClosed, (std::vector<int>{9, 7})) << "-1 is no descriptor";

    gClosed.clear();
    Fd kept(5);
    EXPECT_EQ(kept.Release(), 5);
    EXPECT_FALSE(kept);
    kept.Reset();
    EXPECT_TRUE(gClosed.empty()) << "a released descriptor is the caller's";
}

TEST_F(UniqueFd, ResetKeepsTheCauseCloseReportsItsOwn) {
    gCloseError = EIO;
    {
        Fd failing(3);
        errno = EMFILE;
    }
    EXPECT_EQ(errno, EMFILE) << "the cleanup keeps the failure that led to it";
    Fd held(4);
    errno = EMFILE;
    held.Reset(6);
    EXPECT_EQ(errno, EMFILE);
    EXPECT_EQ(held.Get(), 6);

    errno = 0;
    EXPECT_FALSE(held.Close());
    EXPECT_EQ(errno, EIO) << "an explicit close tells its own result";
    EXPECT_FALSE(held);
    gCloseError = 0;
    EXPECT_TRUE(held.Close()) << "nothing held, nothing to fail";
    EXPECT_EQ(gClosed, (std::vector<int>{3, 4, 6}));
}

}  // namespace
