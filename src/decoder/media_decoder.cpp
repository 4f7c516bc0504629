#include "decoder/media_decoder.h"

#include "frame/memory.h"

namespace Ravvel {

CMediaDecoder::~CMediaDecoder() { CMediaDecoder::Uninit(); }

int32_t CMediaDecoder::Uninit()
{
    m_strSource.clear();
    m_iWidth = m_iHeight = 0;
    m_uiFrameCount = m_uiFramePosition = 0;
    VeskFree(m_pFrameBuffer);
    m_pFrameBuffer = nullptr;
    return RL_OK;
}

void CMediaDecoder::Seek(MediaSeekPosition) { m_uiFramePosition = 0; }

// No codec is built in: every decoder reports its media as unsupported.
int32_t CImageDecoder::Init(const DecodeParams&) { return RL_ERR_UNSUPPORTED; }
int32_t CImageDecoder::ReadSample(SRLPictureInfo*, SRLPictureInfo*) { return RL_ERR_UNSUPPORTED; }
void CImageDecoder::Seek(MediaSeekPosition) {}

int32_t CGifDecoder::Init(const DecodeParams&) { return RL_ERR_UNSUPPORTED; }
int32_t CGifDecoder::ReadSample(SRLPictureInfo*, SRLPictureInfo*) { return RL_ERR_UNSUPPORTED; }
void CGifDecoder::Seek(MediaSeekPosition) { m_uiFramePosition = 0; }

int32_t CVideoDecoder::Init(const DecodeParams&) { return RL_ERR_UNSUPPORTED; }
int32_t CVideoDecoder::ReadSample(SRLPictureInfo*, SRLPictureInfo*) { return RL_ERR_UNSUPPORTED; }
void CVideoDecoder::Seek(MediaSeekPosition) {}

}  // namespace Ravvel
