// Decoders the media decoder slot can hold. This library ships them as
// shells: they take part in selection and seeking but decode nothing.
#ifndef RAVVEL_DECODER_MEDIA_DECODER_H
#define RAVVEL_DECODER_MEDIA_DECODER_H

#include <cstdint>
#include <string>

#include "frame/logger.h"
#include "ravvel.h"

namespace Ravvel {

class CMediaDecoder {
public:
    // The logger belongs to the owner of the decoder and must outlive it.
    CMediaDecoder(MediaDecodeType type, Logger* logger) : m_eType(type), m_pLogger(logger) {}
    virtual ~CMediaDecoder();

    virtual int32_t Init(const DecodeParams& params) = 0;
    virtual int32_t Uninit();
    virtual int32_t ReadSample(SRLPictureInfo* src, SRLPictureInfo* dst) = 0;
    virtual void Seek(MediaSeekPosition position);

    MediaDecodeType GetType() const { return m_eType; }
    uint32_t GetFramePosition() const { return m_uiFramePosition; }

protected:
    const MediaDecodeType m_eType;
    Logger* m_pLogger;
    std::string m_strSource;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    uint32_t m_uiFrameCount = 0;
    uint32_t m_uiFramePosition = 0;
    uint8_t* m_pFrameBuffer = nullptr;
};

class CImageDecoder : public CMediaDecoder {
public:
    explicit CImageDecoder(Logger* logger) : CMediaDecoder(MEDIA_DECODE_IMAGE, logger) {}
    int32_t Init(const DecodeParams& params) override;
    int32_t ReadSample(SRLPictureInfo* src, SRLPictureInfo* dst) override;
    // A still image has no position to move.
    void Seek(MediaSeekPosition position) override;
};

class CGifDecoder : public CMediaDecoder {
public:
    explicit CGifDecoder(Logger* logger) : CMediaDecoder(MEDIA_DECODE_GIF, logger) {}
    int32_t Init(const DecodeParams& params) override;
    int32_t ReadSample(SRLPictureInfo* src, SRLPictureInfo* dst) override;
    // Any seek restarts the animation.
    void Seek(MediaSeekPosition position) override;
};

class CVideoDecoder : public CMediaDecoder {
public:
    explicit CVideoDecoder(Logger* logger) : CMediaDecoder(MEDIA_DECODE_VIDEO, logger) {}
    int32_t Init(const DecodeParams& params) override;
    int32_t ReadSample(SRLPictureInfo* src, SRLPictureInfo* dst) override;
    void Seek(MediaSeekPosition position) override;
};

}  // namespace Ravvel

#endif
