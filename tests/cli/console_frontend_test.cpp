#include <gtest/gtest.h>

#include <string>

#include "cli/console_frontend.h"
#include "cli/console_session.h"
#include "cli/progress_bar.h"
#include "platform/console.h"
#include "support/frontend.h"
#include "support/settings.h"

namespace {

class ConsoleFrontEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (platform::IsTerminal(platform::Stream::Input)) {
            GTEST_SKIP() << "questions would wait for the terminal";
        }
    }
    void TearDown() override { nLanguageOffset = 0; }

    ConsoleSession session_;
};

// A download without a terminal, its positions set before each block as the core sets
// them, with the clock standing still.
std::string PlainDownload(uint32_t kib, bool completed) {
    std::string lines;
    ProgressBar bar(
        "PROG", false, [&](const std::string& text) { lines += text; }, [] { return 0U; });
    bar.SetRange(kib);
    for (uint32_t position = 0; position < kib; ++position) {
        bar.SetPosition(position);
    }
    if (completed) {
        bar.Complete();
    }
    bar.Close();
    return lines;
}

TEST_F(ConsoleFrontEnd, PrintsCaptionAndTextAsUtf8) {
    ::testing::internal::CaptureStdout();
    const int answer = FrontEndMessageBox(nullptr,
                                          "Pr\xFC"
                                          "fung\r\nzweite Zeile",
                                          "Versions\xFC"
                                          "bersicht",
                                          kMbOk | kMbIconInformation);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(answer, kIdOk);
    EXPECT_NE(out.find("Versions\u00FC"
                       "bersicht"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Pr\u00FC"
                       "fung\nzweite Zeile"),
              std::string::npos)
        << "CR LF becomes a plain line break: " << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
}

TEST_F(ConsoleFrontEnd, ErrorsGoToStandardError) {
    ::testing::internal::CaptureStderr();
    FrontEndMessageBox(nullptr, "It was not possible", "Download Failed!", kMbOk | kMbIconError);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Download Failed!"), std::string::npos);
    EXPECT_NE(err.find("It was not possible"), std::string::npos);
}

TEST_F(ConsoleFrontEnd, UnattendedQuestionsTakeTheOptionsAnswer) {
    ::testing::internal::CaptureStdout();
    const int unset =
        FrontEndMessageBox(nullptr, "Do you want to update the software?",
                           "Kovra TQ VIII Update-Utility", kMbYesNo | kMbIconQuestion);
    session_.unattendedAnswer = true;
    const int yes = FrontEndMessageBox(nullptr, "q", "c", kMbYesNo | kMbIconQuestion);
    session_.unattendedAnswer = false;
    const int no = FrontEndMessageBox(nullptr, "q", "c", kMbYesNo | kMbIconQuestion);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(unset, kIdNo) << "without a terminal and without an option the safe answer is No";
    EXPECT_EQ(yes, kIdYes);
    EXPECT_EQ(no, kIdNo);
}

TEST_F(ConsoleFrontEnd, GermanRunSpeaksGerman) {
    nLanguageOffset = 1000;
    ::testing::internal::CaptureStdout();
    session_.unattendedAnswer = true;
    FrontEndMessageBox(nullptr,
                       "Soll das Update tats\xE4"
                       "chlich durchgef\xFChrt werden?",
                       "Versions\xFC"
                       "bersicht",
                       kMbYesNo | kMbIconQuestion);
    const std::string out = ::testing::internal::GetCapturedStdout() + PlainDownload(8, true);
    EXPECT_NE(out.find("== Frage: Versions\u00FC"
                       "bersicht =="),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("-> Ja (ohne R\u00FC"
                       "ckfrage)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("PROG: fertig, 8 von 8 KiB (100 %) in 0,0 s"), std::string::npos) << out;
}

TEST_F(ConsoleFrontEnd, NoMessageQueue) {
    EXPECT_FALSE(FrontEndMessagesPending());
    EXPECT_EQ(FrontEndDispatchMessages(1), 0U);
    EXPECT_EQ(FrontEndWakeDescriptor(), -1);
}

}  // namespace
