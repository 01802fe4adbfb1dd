#include <gtest/gtest.h>
#include <windows.h>

#include "support/frontend.h"
#include "support/utils.h"

namespace {

int gHandled = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        ++gHandled;
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

class Win32FrontEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "TQ8FrontEndTest";
        ::RegisterClassA(&wc);
        window_ = ::CreateWindowExA(0, "TQ8FrontEndTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        gHandled = 0;
    }
    void TearDown() override { ::DestroyWindow(window_); }
    HWND window_ = nullptr;
};

TEST_F(Win32FrontEnd, PumpHandlesAtMostTwoPerCall) {
    for (int i = 0; i < 5; ++i) {
        FrontEndPostMessage(window_, WM_APP, 0, 0);
    }
    EXPECT_TRUE(FrontEndMessagesPending());
    PumpMessages(1);
    EXPECT_EQ(gHandled, 2);
    PumpMessages(1);
    PumpMessages(1);
    EXPECT_EQ(gHandled, 5);
    EXPECT_FALSE(FrontEndMessagesPending());
    PumpMessages(1);
    EXPECT_EQ(gHandled, 5);
}

TEST_F(Win32FrontEnd, QuitRequestStaysForTheMessageLoop) {
    FrontEndPostMessage(window_, WM_APP, 0, 0);
    ::PostQuitMessage(3);
    FrontEndDispatchMessages(10);
    EXPECT_EQ(gHandled, 1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3U);
}

TEST_F(Win32FrontEnd, PostFromAnotherThreadArrives) {
    HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](void* arg) -> DWORD {
            FrontEndPostMessage(static_cast<HWND>(arg), WM_APP, 7, kCnReceive);
            return 0;
        },
        window_, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    FrontEndDispatchMessages(1);
    EXPECT_EQ(gHandled, 1);
}

}  // namespace
