// The application object: where the bar goes, how errors are shown, and the probe of the
// display that decides it.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sys/wait.h>

#include "frame/Application.h"
#include "frame/ConsoleBar.h"
#include "frame/XDisplay.h"
#include "tests/frame/SilentXServer.h"
#include "tests/support/EnvironmentGuard.h"

namespace {

using namespace std::chrono_literals;

std::string u8s(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

class FrameApplicationTest : public testing::Test {
protected:
    TApplication application;
};

TEST_F(FrameApplicationTest, NoGuiGivesTheConsoleWhateverTheDisplay)
{
    EnvVar display("DISPLAY", ":0");
    application.Initialize(true);
    EXPECT_FALSE(application.hasDisplay());
    EXPECT_NE(dynamic_cast<ConsoleBar*>(application.CreateForm()), nullptr);
}

TEST_F(FrameApplicationTest, EmptyDisplayGivesTheConsole)
{
    EnvVar display("DISPLAY", "");
    application.Initialize(false);
    EXPECT_FALSE(application.hasDisplay());
    EXPECT_NE(dynamic_cast<ConsoleBar*>(application.CreateForm()), nullptr);
}

TEST_F(FrameApplicationTest, ErrorTextGoesToStderrAsUtf8)
{
    testing::internal::CaptureStderr();
    application.ShowException(Exception(" DifType.init():\n Данный файл запускается только из программы Мирелон"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              u8s(u8" DifType.init():\n Данный файл запускается только из программы Мирелон\n"));
}

TEST_F(FrameApplicationTest, EmptyErrorTextIsAnEmptyLine)
{
    testing::internal::CaptureStderr();
    application.ShowException(Exception(""));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\n");
}

// main shows an error after the application may already have ended its bar.
TEST_F(FrameApplicationTest, ErrorsStillReachStderrAfterTerminate)
{
    application.Initialize(true);
    application.CreateForm();
    application.Terminate();
    application.Terminate();
    testing::internal::CaptureStderr();
    application.ShowException(Exception("end"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "end\n");
}

TEST(AlertTextTest, EveryAtIsDoubled)
{
    EXPECT_EQ(TApplication::alertText("a@b@@c@"), "a@@b@@@@c@@");
}

TEST(AlertTextTest, TextBecomesUtf8)
{
    EXPECT_EQ(TApplication::alertText("Ошибка: user@host"), u8s(u8"Ошибка: user@@host"));
}

TEST(AlertTextTest, FormatCharactersStayAsTheyAre)
{
    EXPECT_EQ(TApplication::alertText("100% %s %n"), "100% %s %n");
}

class DisplayProbeTest : public testing::Test {
protected:
    // No child of the probe may be left behind, finished or not.
    static void expectNoChildren()
    {
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }

    int display = freeDisplay();
};

TEST_F(DisplayProbeTest, NothingThereIsNoAnswer)
{
    EnvVar name("DISPLAY", ":" + std::to_string(display));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(XDisplay::answers(3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    expectNoChildren();
}

TEST_F(DisplayProbeTest, SilentServerIsGivenUpAfterTheTimeout)
{
    SilentXServer server(display);
    EnvVar name("DISPLAY", ":" + std::to_string(display));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(XDisplay::answers(300ms));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
    expectNoChildren();
}

TEST_F(DisplayProbeTest, MalformedNameIsNoAnswer)
{
    EnvVar name("DISPLAY", "no-such-host-name.invalid:0");
    EXPECT_FALSE(XDisplay::answers(3s));
    expectNoChildren();
}

}  // namespace
