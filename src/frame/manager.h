// CRavvelManager: the IRavvel object; owns one method object per method value.
#ifndef RAVVEL_FRAME_MANAGER_H
#define RAVVEL_FRAME_MANAGER_H

#include "frame/framework.h"
#include "frame/logger.h"
#include "ravvel.h"

namespace Ravvel {

class CRavvelManager : public IRavvel {
public:
    CRavvelManager();
    ~CRavvelManager() override;

    int32_t Init(RL_EMethod method, void* config, bool flag) override;
    int32_t Uninit(RL_EMethod method) override;
    int32_t Process(RL_EMethod method, SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t GpuProcess(RL_EMethod method, RL_ESubMethod sub, GpuRLPictureInfo* src,
                       GpuRLPictureInfo* dst) override;
    int32_t SetOption(RL_EMethod method, RL_EOption option, void* value) override;
    int32_t GetOption(RL_EMethod method, RL_EOption option, void* value) override;

    // For tests: the method object in a slot (null when empty), and a way to
    // place an object of their own in a slot (the manager takes ownership).
    CRavvelFramework* GetMethod(int32_t method) const;
    void AdoptMethodForTesting(int32_t method, CRavvelFramework* obj);
    Logger* GetLogger() const { return m_pLogger; }

private:
    static bool InSlotRange(int32_t method) { return method >= 1 && method < RL_METHOD_SLOTS; }
    int32_t SetLoggerOption(CRavvelFramework* target, RL_EOption option, void* value);

    CRavvelFramework* m_pMethods[RL_METHOD_SLOTS] = {};
    Logger* m_pLogger;
};

}  // namespace Ravvel

#endif
