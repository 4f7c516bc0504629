#include "frame/manager.h"

#include <new>

#include "frame/cpu_features.h"
#include "frame/method_table.h"

namespace Ravvel {

CRavvelManager::CRavvelManager() : m_pLogger(new Logger(this, "rl")) {}

CRavvelManager::~CRavvelManager()
{
    for (int32_t m = 0; m < RL_METHOD_SLOTS; ++m) Uninit(static_cast<RL_EMethod>(m));
    delete m_pLogger;
}

CRavvelFramework* CRavvelManager::GetMethod(int32_t method) const
{
    return InSlotRange(method) ? m_pMethods[method] : nullptr;
}

void CRavvelManager::AdoptMethodForTesting(int32_t method, CRavvelFramework* obj)
{
    if (!InSlotRange(method)) return;
    delete m_pMethods[method];
    m_pMethods[method] = obj;
}

int32_t CRavvelManager::Init(RL_EMethod method, void* config, bool flag)
{
    int32_t processors = 1;
    const uint32_t cpuFlags = VeskCPUFeatureDetect(&processors);
    const int32_t level = m_pLogger->GetLogLevel();
    const RLLogCallbackFunc func = m_pLogger->GetLogCallbackFunc();
    void* const instance = m_pLogger->GetLogCallbackInstance();
    m_pLogger->Info("Ravvel Init(), version: %s, commit=%s", "Ravvel Version: 4.9.2.0", "");

    const MethodRow* row = FindMethodRow(method);
    if (row == nullptr || row->pfnCreate == nullptr) {
        m_pLogger->Info("Invalid parameter");
        return RL_ERR_INVALID_PARAM;
    }
    if (m_pMethods[method] == nullptr) {
        CRavvelFramework* created = row->pfnCreate(cpuFlags);
        if (created == nullptr || created->GetLogger() == nullptr) {
            delete created;
            m_pLogger->Warning("Create %s failed as out of memory.", row->szClassName);
            return RL_ERR_NO_MEMORY;
        }
        m_pMethods[method] = created;
    }
    CRavvelFramework* obj = m_pMethods[method];
    obj->InitLogger(static_cast<RL_ETraceLevel>(level), func, instance);
    m_pLogger->Info(row->szCreateLine, static_cast<void*>(obj));
    return obj->Init(config, row->bPassCallerFlag ? flag : false);
}

int32_t CRavvelManager::Uninit(RL_EMethod method)
{
    if (!InSlotRange(method)) return RL_ERR_INVALID_PARAM;
    CRavvelFramework* obj = m_pMethods[method];
    if (obj == nullptr) return RL_OK;
    if (obj->Uninit() != RL_OK) return RL_ERR_FAILED;
    delete obj;
    m_pMethods[method] = nullptr;
    return RL_OK;
}

int32_t CRavvelManager::Process(RL_EMethod method, SRLPictureInfo* src, SRLPictureInfo* dst, void* extra)
{
    if (!InSlotRange(method)) return RL_ERR_INVALID_PARAM;
    if (m_pMethods[method] == nullptr) return RL_ERR_MISMATCH;
    return m_pMethods[method]->Process(src, dst, extra);
}

int32_t CRavvelManager::GpuProcess(RL_EMethod method, RL_ESubMethod sub, GpuRLPictureInfo* src,
                                   GpuRLPictureInfo* dst)
{
    if (!InSlotRange(method)) return RL_ERR_INVALID_PARAM;
    CRavvelFramework* obj = m_pMethods[method];
    if (obj == nullptr) return RL_ERR_MISMATCH;
    if (!obj->HasGpuProcess()) return RL_ERR_UNSUPPORTED;
    return obj->GpuProcess(sub, src, dst);
}

int32_t CRavvelManager::GetOption(RL_EMethod method, RL_EOption option, void* value)
{
    if (!InSlotRange(method) || value == nullptr) return RL_ERR_INVALID_PARAM;
    if (m_pMethods[method] == nullptr) return RL_ERR_NOT_INITIALIZED;
    return m_pMethods[method]->GetOption(option, value);
}

// Applies one of the logger options (43, 44, 49) to the manager's logger and,
// when given, to one method's logger.
int32_t CRavvelManager::SetLoggerOption(CRavvelFramework* target, RL_EOption option, void* value)
{
    Logger* method = target ? target->GetLogger() : nullptr;
    switch (option) {
    case RL_OPTION_LOG_CALLBACK: {
        const RLLogCallbackFunc func = *static_cast<RLLogCallbackFunc*>(value);
        m_pLogger->SetLogCallbackFunc(func);
        if (method) method->SetLogCallbackFunc(func);
        break;
    }
    case RL_OPTION_LOG_LEVEL: {
        const int32_t level = *static_cast<const int32_t*>(value);
        m_pLogger->SetLogLevel(level);
        if (method) method->SetLogLevel(level);
        break;
    }
    case RL_OPTION_LOG_CALLBACK_INSTANCE: {
        void* const instance = *static_cast<void**>(value);
        m_pLogger->SetLogCallbackInstance(instance);
        if (method) method->SetLogCallbackInstance(instance);
        break;
    }
    default:
        break;
    }
    return RL_OK;
}

int32_t CRavvelManager::SetOption(RL_EMethod method, RL_EOption option, void* value)
{
    if (static_cast<int32_t>(method) >= RL_METHOD_SLOTS || static_cast<int32_t>(method) < 0)
        return RL_ERR_INVALID_PARAM;

    const bool loggerOption = option == RL_OPTION_LOG_CALLBACK || option == RL_OPTION_LOG_LEVEL ||
                              option == RL_OPTION_LOG_CALLBACK_INSTANCE;

    if (method == RL_METHOD_ALL) {
        if (value == nullptr) return RL_ERR_INVALID_PARAM;
        if (loggerOption) {
            SetLoggerOption(nullptr, option, value);
            for (CRavvelFramework* obj : m_pMethods)
                if (obj) SetLoggerOption(obj, option, value);
            return RL_OK;
        }
        if (option == RL_OPTION_STAT_INTERVAL) {
            for (CRavvelFramework* obj : m_pMethods)
                if (obj) obj->SetStatInterval(value);
            return RL_ERR_FAILED;
        }
        return RL_OK;
    }

    CRavvelFramework* obj = m_pMethods[method];
    if (loggerOption) {
        if (value == nullptr) return RL_ERR_INVALID_PARAM;
        return SetLoggerOption(obj, option, value);
    }
    if (option == RL_OPTION_STAT_INTERVAL) {
        if (value == nullptr) return RL_ERR_INVALID_PARAM;
        if (obj) obj->SetStatInterval(value);
        return RL_ERR_FAILED;
    }
    if (obj == nullptr) return RL_ERR_NOT_INITIALIZED;
    return obj->SetOption(option, value);
}

}  // namespace Ravvel
