// A minimal method for exercising the manager and the base class.
#ifndef RAVVEL_TESTS_FRAME_FAKE_METHOD_H
#define RAVVEL_TESTS_FRAME_FAKE_METHOD_H

#include "frame/framework.h"

namespace rltest {

class FakeMethod : public Ravvel::CRavvelFramework {
public:
    explicit FakeMethod(const char* name = "Fake")
    {
        m_strName = name;
        CreateLogger();
    }
    ~FakeMethod() override { DestroyLogger(); }

    int32_t Init(void*, bool flag) override
    {
        lastFlag = flag;
        ++inits;
        m_bInited = true;
        return initResult;
    }
    int32_t Uninit() override
    {
        ++uninits;
        return uninitResult;
    }
    int32_t Process(SRLPictureInfo*, SRLPictureInfo*, void*) override
    {
        const int64_t start = NowUs();
        AccountFrame(start);
        return processResult;
    }
    int32_t SetOption(RL_EOption option, void*) override
    {
        lastOption = option;
        return 7;
    }
    int32_t GetOption(RL_EOption option, void*) override
    {
        lastOption = option;
        return 8;
    }

    bool lastFlag = false;
    int inits = 0, uninits = 0;
    int32_t initResult = RL_OK, uninitResult = RL_OK, processResult = 3;
    int lastOption = -1;
};

}  // namespace rltest

#endif
