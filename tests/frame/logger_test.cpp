#include "frame/logger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "frame/fake_method.h"
#include "support/log_capture.h"

namespace {

using rltest::LogCapture;
using Ravvel::Logger;

std::string Prefix(const char* name, const void* owner, const char* level)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "[rl][%s] %s=%p, %s: ", name, name, owner, level);
    return buf;
}

class LoggerTest : public testing::Test {
protected:
    LoggerTest() : m_logger(&m_owner, "Denoise")
    {
        m_logger.SetLogCallbackFunc(&LogCapture::Callback);
        m_logger.SetLogCallbackInstance(&m_cap);
    }
    int m_owner = 0;
    LogCapture m_cap;
    Logger m_logger;
};

TEST_F(LoggerTest, LineFormatPerLevel)
{
    m_logger.SetLogLevel(RL_TRACE_DETAIL);
    m_logger.Error("e %d", 1);
    m_logger.Warning("w %s", "x");
    m_logger.Info("i");
    m_logger.Debug("d %.1f", 2.5);
    m_logger.Detail("t");
    m_logger.Log(RL_TRACE_INFO, "l%c", '!');
    ASSERT_EQ(m_cap.lines.size(), 6u);
    EXPECT_EQ(m_cap.lines[0].text, Prefix("Denoise", &m_owner, "ERROR") + "e 1");
    EXPECT_EQ(m_cap.lines[1].text, Prefix("Denoise", &m_owner, "WARNING") + "w x");
    EXPECT_EQ(m_cap.lines[2].text, Prefix("Denoise", &m_owner, "INFO") + "i");
    EXPECT_EQ(m_cap.lines[3].text, Prefix("Denoise", &m_owner, "DEBUG") + "d 2.5");
    EXPECT_EQ(m_cap.lines[4].text, Prefix("Denoise", &m_owner, "DETAIL") + "t");
    EXPECT_EQ(m_cap.lines[5].text, Prefix("Denoise", &m_owner, "INFO") + "l!");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(m_cap.lines[i].level, i);
}

TEST_F(LoggerTest, LevelFiltersAndClamps)
{
    EXPECT_EQ(m_logger.GetLogLevel(), RL_TRACE_INFO);  // default
    m_logger.Debug("hidden at the default level");
    EXPECT_TRUE(m_cap.lines.empty());

    m_logger.SetLogLevel(RL_TRACE_WARNING);
    m_logger.Info("no");
    m_logger.Warning("yes");
    m_logger.Error("yes");
    EXPECT_EQ(m_cap.lines.size(), 2u);

    m_logger.SetLogLevel(7);
    EXPECT_EQ(m_logger.GetLogLevel(), RL_TRACE_DETAIL);
    m_logger.SetLogLevel(-3);
    EXPECT_EQ(m_logger.GetLogLevel(), -1);
    m_logger.Error("silenced");
    m_logger.Log(-2, "silenced too");
    EXPECT_EQ(m_cap.lines.size(), 2u);
}

TEST_F(LoggerTest, NullCallbackKeepsThePreviousOne)
{
    m_logger.SetLogCallbackFunc(nullptr);
    EXPECT_EQ(m_logger.GetLogCallbackFunc(), &LogCapture::Callback);
    m_logger.SetLogCallbackInstance(nullptr);  // null instance is allowed
    EXPECT_EQ(m_logger.GetLogCallbackInstance(), nullptr);
}

TEST_F(LoggerTest, OverlongFormatGivesAnEmptyLine)
{
    const std::string prefix = Prefix("Denoise", &m_owner, "INFO");
    // Prefix plus format exactly 1023 characters still fits.
    const std::string fits(1023 - prefix.size(), 'a');
    m_logger.Info("%s", fits.c_str());
    std::string fmt(1023 - prefix.size(), 'b');
    m_logger.Info(fmt.c_str(), 0);
    fmt.push_back('c');
    m_logger.Info(fmt.c_str(), 0);
    ASSERT_EQ(m_cap.lines.size(), 3u);
    EXPECT_EQ(m_cap.lines[0].text, prefix + fits);
    EXPECT_EQ(m_cap.lines[1].text, prefix + std::string(1023 - prefix.size(), 'b'));
    EXPECT_EQ(m_cap.lines[2].text, "");
}

TEST_F(LoggerTest, LongArgumentsAreCutAt1023Characters)
{
    const std::string arg(5000, 'z');
    m_logger.Info("%s", arg.c_str());
    ASSERT_EQ(m_cap.lines.size(), 1u);
    const std::string prefix = Prefix("Denoise", &m_owner, "INFO");
    EXPECT_EQ(m_cap.lines[0].text.size(), 1023u);
    EXPECT_EQ(m_cap.lines[0].text, prefix + arg.substr(0, 1023 - prefix.size()));
}

TEST(LoggerPrinter, ErrorsGoToStderrOthersToStdout)
{
    int owner = 0;
    Logger logger(&owner, "CSC");
    logger.SetLogLevel(RL_TRACE_DETAIL);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    logger.Error("bad %d", 1);
    logger.Warning("careful");
    logger.Detail("fine");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, Prefix("CSC", &owner, "ERROR") + "bad 1\n");
    EXPECT_EQ(out, Prefix("CSC", &owner, "WARNING") + "careful\n" + Prefix("CSC", &owner, "DETAIL") + "fine\n");
}

// A clock the tests move by hand.
int64_t g_fakeNowUs = 0;
int64_t FakeClock() { return g_fakeNowUs; }

class StatisticsTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_fakeNowUs = 1000000000;
        m_method.SetClock(&FakeClock);
        m_method.GetLogger()->SetLogCallbackFunc(&LogCapture::Callback);
        m_method.GetLogger()->SetLogCallbackInstance(&m_cap);
    }
    int Lines() const { return static_cast<int>(m_cap.lines.size()); }
    void Frame(int64_t advanceMs)
    {
        g_fakeNowUs += advanceMs * 1000;
        m_method.Process(nullptr, nullptr, nullptr);
    }
    rltest::FakeMethod m_method;
    LogCapture m_cap;
};

TEST_F(StatisticsTest, DefaultIntervalIsTenSeconds)
{
    for (int32_t interval : {0, -1}) {
        m_cap.lines.clear();
        m_method.SetStatInterval(&interval);
        m_method.ReinitStatistics();
        Frame(5000);
        Frame(5000);  // exactly 10 s: not yet
        EXPECT_EQ(Lines(), 0) << interval;
        Frame(1);
        ASSERT_EQ(Lines(), 1) << interval;
        Frame(9000);
        EXPECT_EQ(Lines(), 1) << interval;
    }
}

TEST_F(StatisticsTest, ConfiguredIntervalAndAverage)
{
    int32_t interval = 2000;
    m_method.SetStatInterval(&interval);
    Frame(1999);
    Frame(2);  // 2001 ms since the window opened
    ASSERT_EQ(Lines(), 1);
    // Frames take no time on the fake clock: the average is 0.
    EXPECT_NE(m_cap.lines[0].text.find("INFO: 0.000000 ms per frame"), std::string::npos) << m_cap.lines[0].text;
    EXPECT_EQ(m_method.GetStatistics()->uiFrames, 0u);  // window restarted
    Frame(1500);
    EXPECT_EQ(Lines(), 1);
    Frame(600);
    EXPECT_EQ(Lines(), 2);
}

TEST(Statistics, AverageOverTheWindow)
{
    rltest::FakeMethod m;
    LogCapture cap;
    m.GetLogger()->SetLogCallbackFunc(&LogCapture::Callback);
    m.GetLogger()->SetLogCallbackInstance(&cap);
    m.SetClock(&FakeClock);
    Ravvel::StatisticsInfo* s = m.GetStatistics();
    s->uiTotalTimeUs = 4500;
    s->uiFrames = 3;
    g_fakeNowUs += 20000 * 1000;
    m.GetStatisticsLog(s);
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_NE(cap.lines[0].text.find("INFO: 1.500000 ms per frame"), std::string::npos);
    EXPECT_EQ(s->uiTotalTimeUs, 0u);
}

}  // namespace
