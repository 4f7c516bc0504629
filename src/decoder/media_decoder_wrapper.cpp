#include "decoder/media_decoder_wrapper.h"

#include <new>

namespace Ravvel {

namespace {

CMediaDecoder* CreateDecoder(uint32_t type, Logger* logger)
{
    switch (type) {
    case MEDIA_DECODE_IMAGE:
        return new (std::nothrow) CImageDecoder(logger);
    case MEDIA_DECODE_GIF:
        return new (std::nothrow) CGifDecoder(logger);
    case MEDIA_DECODE_VIDEO:
        return new (std::nothrow) CVideoDecoder(logger);
    default:
        return nullptr;
    }
}

bool IsKnownType(uint32_t type)
{
    return type == MEDIA_DECODE_IMAGE || type == MEDIA_DECODE_GIF || type == MEDIA_DECODE_VIDEO;
}

}  // namespace

CMediaDecoderWrapper::CMediaDecoderWrapper(uint32_t)
{
    m_strName = "MediaDecoder";
    CreateLogger();
}

CMediaDecoderWrapper::~CMediaDecoderWrapper()
{
    RL_LOG(Info, "CMediaDecoderWrapper::~CMediaDecoderWrapper() begin");
    Uninit();
    DestroyLogger();
}

int32_t CMediaDecoderWrapper::Init(void* config, bool)
{
    if (config == nullptr) {
        RL_LOG(Error, "CMediaDecoderWrapper::Init(), config is null");
        return RL_ERR_INVALID_PARAM;
    }
    const DecodeParams& given = *static_cast<const DecodeParams*>(config);
    try {
        if (given.pSource && given.iSourceLength > 0)
            m_strSource.assign(given.pSource, static_cast<size_t>(given.iSourceLength));
        else
            m_strSource.clear();
    } catch (...) {
        return RL_ERR_NO_MEMORY;
    }
    m_sParams = given;
    m_sParams.pSource = m_strSource.empty() ? nullptr : m_strSource.c_str();
    m_sParams.iSourceLength = static_cast<int32_t>(m_strSource.size());

    const uint32_t type = given.uiMediaType;
    if (m_pDecoder) {
        // An unknown type keeps whatever decoder there is.
        if (!IsKnownType(type) || static_cast<uint32_t>(m_pDecoder->GetType()) == type)
            return m_pDecoder->Init(m_sParams);
        delete m_pDecoder;
        m_pDecoder = nullptr;
    }
    if (!IsKnownType(type)) {
        RL_LOG(Error, "CMediaDecoderWrapper::Init(), unknown media type=%d", static_cast<int32_t>(type));
        return RL_ERR_INVALID_PARAM;
    }
    m_pDecoder = CreateDecoder(type, m_pLogger);
    if (m_pDecoder == nullptr) return RL_ERR_NO_MEMORY;
    return m_pDecoder->Init(m_sParams);
}

int32_t CMediaDecoderWrapper::Uninit()
{
    delete m_pDecoder;
    m_pDecoder = nullptr;
    return RL_OK;
}

int32_t CMediaDecoderWrapper::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    if (m_pDecoder == nullptr || dst == nullptr) return RL_ERR_NOT_INITIALIZED;
    return m_pDecoder->ReadSample(src, dst);
}

int32_t CMediaDecoderWrapper::SetOption(RL_EOption option, void* value)
{
    if (option == RL_OPTION_MEDIA_SEEK && m_pDecoder && value)
        m_pDecoder->Seek(*static_cast<const MediaSeekPosition*>(value));
    return RL_OK;
}

int32_t CMediaDecoderWrapper::GetOption(RL_EOption, void*) { return RL_OK; }

}  // namespace Ravvel
