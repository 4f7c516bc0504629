// Method 26: holds at most one decoder, chosen by the media type given to
// Init, and forwards reading and seeking to it.
#ifndef RAVVEL_DECODER_MEDIA_DECODER_WRAPPER_H
#define RAVVEL_DECODER_MEDIA_DECODER_WRAPPER_H

#include <cstdint>
#include <string>

#include "decoder/media_decoder.h"
#include "frame/framework.h"

namespace Ravvel {

class CMediaDecoderWrapper : public CRavvelFramework {
public:
    explicit CMediaDecoderWrapper(uint32_t cpuFlags);
    ~CMediaDecoderWrapper() override;

    // config is a DecodeParams*. A known type different from the current
    // decoder's replaces it; an unknown type re-initialises the current one.
    int32_t Init(void* config, bool flag) override;
    // Destroys the decoder.
    int32_t Uninit() override;
    // Reads the next sample through the decoder.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    // RL_OPTION_MEDIA_SEEK: a MediaSeekPosition for the decoder. Always 0.
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    const CMediaDecoder* GetDecoder() const { return m_pDecoder; }

private:
    CMediaDecoder* m_pDecoder = nullptr;
    // The caller's parameters with the source text in storage of our own.
    DecodeParams m_sParams{};
    std::string m_strSource;
};

}  // namespace Ravvel

#endif
