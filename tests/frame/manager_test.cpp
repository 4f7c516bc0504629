#include "frame/manager.h"

#include <gtest/gtest.h>

#include "frame/fake_method.h"
#include "support/log_capture.h"

namespace {

using rltest::FakeMethod;
using rltest::LogCapture;

class ManagerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        m_mgr = static_cast<Ravvel::CRavvelManager*>(m_rl);
        m_log.Attach(m_rl);
    }
    void TearDown() override { DestroyRavvel(m_rl); }

    // Puts a fake method in a slot, as if Init had created it.
    FakeMethod* Adopt(RL_EMethod m)
    {
        FakeMethod* f = new FakeMethod();
        m_mgr->AdoptMethodForTesting(m, f);
        return f;
    }

    IRavvel* m_rl = nullptr;
    Ravvel::CRavvelManager* m_mgr = nullptr;
    LogCapture m_log;
};

TEST(EntryPoints, CreateDestroyAndVersion)
{
    EXPECT_EQ(CreateRavvel(nullptr), RL_ERR_INVALID_PARAM);
    DestroyRavvel(nullptr);  // tolerated
    const SRLVersion v = GetRavvelVersion();
    EXPECT_EQ(v.uiMajor, 4u);
    EXPECT_EQ(v.uiMinor, 9u);
    EXPECT_EQ(v.uiRevision, 2u);
    EXPECT_EQ(v.uiBuild, 0u);
    const int32_t arch = GetRavvelArch();
    EXPECT_GE(arch, 0);
    EXPECT_LE(arch, 5);
}

class InvalidMethodTest : public ManagerTest, public testing::WithParamInterface<int> {};

TEST_P(InvalidMethodTest, InitRefusesValuesWithoutAClass)
{
    EXPECT_EQ(m_rl->Init(static_cast<RL_EMethod>(GetParam()), nullptr, false), RL_ERR_INVALID_PARAM);
    ASSERT_EQ(m_log.lines.size(), 2u);
    EXPECT_NE(m_log.lines[0].text.find("Ravvel Init(), version: Ravvel Version: 4.9.2.0, commit="),
              std::string::npos);
    const std::string& line = m_log.lines[1].text;
    EXPECT_EQ(line.rfind("[rl][rl] rl=0x", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 25), ", INFO: Invalid parameter") << line;
    EXPECT_EQ(m_log.lines[1].level, RL_TRACE_INFO);
}

INSTANTIATE_TEST_SUITE_P(Values, InvalidMethodTest, testing::Values(-1, 0, 4, 9, 13, 16, 18, 27, 30, 1000));

TEST_F(ManagerTest, EmptySlotsAndRangeChecks)
{
    int32_t value = 0;
    SRLPictureInfo pic{};
    for (int m : {-1, 0, 30, 31}) {
        const RL_EMethod method = static_cast<RL_EMethod>(m);
        EXPECT_EQ(m_rl->Uninit(method), RL_ERR_INVALID_PARAM) << m;
        EXPECT_EQ(m_rl->Process(method, &pic, &pic, nullptr), RL_ERR_INVALID_PARAM) << m;
        EXPECT_EQ(m_rl->GpuProcess(method, RL_SUBMETHOD_NONE, nullptr, nullptr), RL_ERR_INVALID_PARAM) << m;
        EXPECT_EQ(m_rl->GetOption(method, RL_OPTION_AVERAGE_TIME, &value), RL_ERR_INVALID_PARAM) << m;
    }
    EXPECT_EQ(m_rl->SetOption(static_cast<RL_EMethod>(30), RL_OPTION_LOG_LEVEL, &value), RL_ERR_INVALID_PARAM);

    EXPECT_EQ(m_rl->Uninit(RL_METHOD_ALPHA_BLEND), RL_OK);
    EXPECT_EQ(m_rl->Process(RL_METHOD_ALPHA_BLEND, &pic, &pic, nullptr), RL_ERR_MISMATCH);
    EXPECT_EQ(m_rl->GpuProcess(RL_METHOD_ALPHA_BLEND, RL_SUBMETHOD_NONE, nullptr, nullptr), RL_ERR_MISMATCH);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_AVERAGE_TIME, &value), RL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_AVERAGE_TIME, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_CROP_PARAM, &value), RL_ERR_NOT_INITIALIZED);
}

TEST_F(ManagerTest, ManagerOptionsOnEmptySlotTouchOnlyTheManager)
{
    int32_t level = RL_TRACE_ERROR;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_LOG_LEVEL, &level), RL_OK);
    EXPECT_EQ(m_mgr->GetLogger()->GetLogLevel(), RL_TRACE_ERROR);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_LOG_LEVEL, nullptr), RL_ERR_INVALID_PARAM);
    int32_t ms = 500;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_STAT_INTERVAL, &ms), RL_ERR_FAILED);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_STAT_INTERVAL, nullptr), RL_ERR_INVALID_PARAM);
}

TEST_F(ManagerTest, BroadcastReachesManagerAndEveryMethod)
{
    FakeMethod* a = Adopt(RL_METHOD_DENOISE);
    FakeMethod* b = Adopt(RL_METHOD_EDGE);

    int32_t level = 7;  // clamped to DETAIL
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &level), RL_OK);
    EXPECT_EQ(m_mgr->GetLogger()->GetLogLevel(), RL_TRACE_DETAIL);
    EXPECT_EQ(a->GetLogger()->GetLogLevel(), RL_TRACE_DETAIL);
    EXPECT_EQ(b->GetLogger()->GetLogLevel(), RL_TRACE_DETAIL);

    RLLogCallbackFunc fn = &LogCapture::Callback;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &fn), RL_OK);
    EXPECT_EQ(a->GetLogger()->GetLogCallbackFunc(), fn);
    RLLogCallbackFunc none = nullptr;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &none), RL_OK);
    EXPECT_EQ(m_mgr->GetLogger()->GetLogCallbackFunc(), fn);  // a null function changes nothing
    EXPECT_EQ(b->GetLogger()->GetLogCallbackFunc(), fn);

    void* inst = &level;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK_INSTANCE, &inst), RL_OK);
    EXPECT_EQ(b->GetLogger()->GetLogCallbackInstance(), inst);

    int32_t ms = 2000;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_STAT_INTERVAL, &ms), RL_ERR_FAILED);
    EXPECT_EQ(a->GetStatInterval(), 2000);
    EXPECT_EQ(b->GetStatInterval(), 2000);
    ms = -5;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_STAT_INTERVAL, &ms), RL_ERR_FAILED);
    EXPECT_EQ(a->GetStatInterval(), -5);
    EXPECT_EQ(b->GetStatInterval(), 2000);

    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_STAT_INTERVAL, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_CROP_PARAM, &ms), RL_OK);  // ignored
    EXPECT_EQ(a->lastOption, -1);

    level = RL_TRACE_WARNING;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_EDGE, RL_OPTION_LOG_LEVEL, &level), RL_OK);
    EXPECT_EQ(b->GetLogger()->GetLogLevel(), RL_TRACE_WARNING);
    EXPECT_EQ(a->GetLogger()->GetLogLevel(), RL_TRACE_DETAIL);
    EXPECT_EQ(m_mgr->GetLogger()->GetLogLevel(), RL_TRACE_WARNING);
}

TEST_F(ManagerTest, RoutesCallsAndResultsUnchanged)
{
    FakeMethod* f = Adopt(RL_METHOD_ALPHA_BLEND);
    SRLPictureInfo pic{};
    int32_t v = 0;
    EXPECT_EQ(m_rl->Process(RL_METHOD_ALPHA_BLEND, &pic, &pic, nullptr), 3);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_CROP_PARAM, &v), 7);
    EXPECT_EQ(f->lastOption, RL_OPTION_CROP_PARAM);
    // The manager's own options are not answered by GetOption: they reach the method.
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_LOG_LEVEL, &v), 8);
    EXPECT_EQ(f->lastOption, RL_OPTION_LOG_LEVEL);
    EXPECT_EQ(m_rl->GpuProcess(RL_METHOD_ALPHA_BLEND, RL_SUBMETHOD_NONE, nullptr, nullptr), RL_ERR_UNSUPPORTED);
}

TEST_F(ManagerTest, UninitKeepsObjectWhenMethodFails)
{
    FakeMethod* f = Adopt(RL_METHOD_EDGE);
    f->uninitResult = RL_ERR_NO_MEMORY;
    EXPECT_EQ(m_rl->Uninit(RL_METHOD_EDGE), RL_ERR_FAILED);
    EXPECT_EQ(m_mgr->GetMethod(RL_METHOD_EDGE), f);
    f->uninitResult = RL_OK;
    EXPECT_EQ(m_rl->Uninit(RL_METHOD_EDGE), RL_OK);
    EXPECT_EQ(m_mgr->GetMethod(RL_METHOD_EDGE), nullptr);
    EXPECT_EQ(m_rl->Uninit(RL_METHOD_EDGE), RL_OK);  // empty slot
}

TEST(ManagerLifecycle, DestructorUninitialisesEveryMethodInOrder)
{
    static std::vector<std::string> order;
    struct Recording : FakeMethod {
        explicit Recording(const char* n) : FakeMethod(n) {}
        int32_t Uninit() override
        {
            order.push_back(GetName());
            return RL_OK;
        }
    };
    order.clear();
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    auto* mgr = static_cast<Ravvel::CRavvelManager*>(rl);
    mgr->AdoptMethodForTesting(RL_METHOD_FLICKER_DETECT, new Recording("last"));
    mgr->AdoptMethodForTesting(RL_METHOD_COLOR_SPACE_CONVERT, new Recording("first"));
    mgr->AdoptMethodForTesting(RL_METHOD_IMAGE_CROP, new Recording("middle"));
    DestroyRavvel(rl);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "middle", "last"}));
}

}  // namespace
