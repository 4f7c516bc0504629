#include <gtest/gtest.h>

#include <cstring>

#include "decoder/media_decoder_wrapper.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;
using rltest::LogCapture;

DecodeParams Params(uint32_t type, const char* source = nullptr, int32_t length = 0)
{
    DecodeParams p{};
    p.pSource = source;
    p.iSourceLength = length;
    p.uiMediaType = type;
    p.uiUserData = 0x1234567890ull;
    return p;
}

class MediaDecoderSlot : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&rl), RL_OK);
        log.Attach(rl);
    }
    void TearDown() override
    {
        if (rl) DestroyRavvel(rl);
    }
    int32_t Init(uint32_t type)
    {
        DecodeParams p = Params(type, "clip.gif", 8);
        return rl->Init(RL_METHOD_MEDIA_DECODER, &p, false);
    }
    IRavvel* rl = nullptr;
    LogCapture log;
};

TEST_F(MediaDecoderSlot, UnknownTypeBeforeAnyDecoderIsRefusedAndLogged)
{
    SRLPictureInfo pic{};
    EXPECT_EQ(Init(7), RL_ERR_INVALID_PARAM);
    ASSERT_TRUE(log.Contains("CMediaDecoderWrapper::Init(), unknown media type=7"));
    EXPECT_EQ(log.lines.back().level, RL_TRACE_ERROR);
    const std::string& line = log.lines.back().text;
    EXPECT_EQ(line.rfind("[rl][MediaDecoder] MediaDecoder=0x", 0), 0u) << line;
    EXPECT_NE(line.find(", ERROR: CMediaDecoderWrapper::Init(), unknown media type=7"), std::string::npos) << line;
    // The slot exists but holds no decoder: nothing to read from.
    EXPECT_EQ(rl->Process(RL_METHOD_MEDIA_DECODER, &pic, &pic, nullptr), RL_ERR_NOT_INITIALIZED);
    MediaSeekPosition pos = 3;
    EXPECT_EQ(rl->SetOption(RL_METHOD_MEDIA_DECODER, RL_OPTION_MEDIA_SEEK, &pos), RL_OK);

    EXPECT_EQ(rl->Init(RL_METHOD_MEDIA_DECODER, nullptr, false), RL_ERR_INVALID_PARAM);
    EXPECT_TRUE(log.Contains("ERROR: CMediaDecoderWrapper::Init(), config is null"));
}

TEST_F(MediaDecoderSlot, ShellsForwardReadsAndReportUnsupported)
{
    SRLPictureInfo pic{};
    for (uint32_t type : {1u, 2u, 3u}) {
        EXPECT_EQ(Init(type), RL_ERR_UNSUPPORTED) << type;
        // A created decoder answers reads itself, also without a source picture.
        EXPECT_EQ(rl->Process(RL_METHOD_MEDIA_DECODER, &pic, &pic, nullptr), RL_ERR_UNSUPPORTED);
        EXPECT_EQ(rl->Process(RL_METHOD_MEDIA_DECODER, nullptr, &pic, nullptr), RL_ERR_UNSUPPORTED);
        EXPECT_EQ(rl->Process(RL_METHOD_MEDIA_DECODER, &pic, nullptr, nullptr), RL_ERR_NOT_INITIALIZED);
    }
    int32_t v = 0;
    EXPECT_EQ(rl->GetOption(RL_METHOD_MEDIA_DECODER, RL_OPTION_AVERAGE_TIME, &v), RL_OK);
    EXPECT_EQ(rl->SetOption(RL_METHOD_MEDIA_DECODER, RL_OPTION_MEDIA_SEEK, nullptr), RL_OK);
    EXPECT_EQ(rl->SetOption(RL_METHOD_MEDIA_DECODER, RL_OPTION_CROP_PARAM, &v), RL_OK);
    // Uninit destroys the decoder and the object, which says goodbye.
    EXPECT_EQ(rl->Uninit(RL_METHOD_MEDIA_DECODER), RL_OK);
    EXPECT_TRUE(log.Contains("INFO: CMediaDecoderWrapper::~CMediaDecoderWrapper() begin"));
    EXPECT_EQ(rl->Process(RL_METHOD_MEDIA_DECODER, &pic, &pic, nullptr), RL_ERR_MISMATCH);
}

// The decoder type sequence, observed on the object itself.
TEST(MediaDecoderWrapper, SelectionReplacementAndSeek)
{
    CMediaDecoderWrapper w(0);
    EXPECT_EQ(w.GetDecoder(), nullptr);
    char text[] = "anim.gif";
    DecodeParams p = Params(MEDIA_DECODE_GIF, text, 8);
    EXPECT_EQ(w.Init(&p, false), RL_ERR_UNSUPPORTED);
    const CMediaDecoder* gif = w.GetDecoder();
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->GetType(), MEDIA_DECODE_GIF);
    std::memcpy(text, "XXXXXXXX", 8);  // the wrapper copied the text; the caller may reuse its buffer

    EXPECT_EQ(w.Init(&p, false), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(w.GetDecoder(), gif);  // same type: kept
    p.uiMediaType = 9;
    EXPECT_EQ(w.Init(&p, false), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(w.GetDecoder(), gif);  // unknown type: the existing decoder is re-initialised

    MediaSeekPosition pos = 42;
    EXPECT_EQ(w.SetOption(RL_OPTION_MEDIA_SEEK, &pos), RL_OK);  // rewinds the animation
    EXPECT_EQ(gif->GetFramePosition(), 0u);

    p = Params(MEDIA_DECODE_IMAGE, nullptr, 5);  // length without text: no text taken
    EXPECT_EQ(w.Init(&p, false), RL_ERR_UNSUPPORTED);
    ASSERT_NE(w.GetDecoder(), nullptr);
    EXPECT_EQ(w.GetDecoder()->GetType(), MEDIA_DECODE_IMAGE);
    p.uiMediaType = MEDIA_DECODE_VIDEO;
    p.pSource = "x";
    p.iSourceLength = -1;
    EXPECT_EQ(w.Init(&p, false), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(w.GetDecoder()->GetType(), MEDIA_DECODE_VIDEO);
    EXPECT_EQ(w.Uninit(), RL_OK);
    EXPECT_EQ(w.GetDecoder(), nullptr);
    EXPECT_EQ(w.Uninit(), RL_OK);
}

}  // namespace
