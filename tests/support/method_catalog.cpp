#include "support/method_catalog.h"

#include <cstring>

namespace rltest {

namespace {

void* NoConfig(Choices&, uint8_t*, uint8_t*) { return nullptr; }

void* IntRecord(Choices& c, uint8_t* record, int count, const int32_t* defaults)
{
    int32_t* r = reinterpret_cast<int32_t*>(record);
    for (int i = 0; i < count; ++i) {
        const uint8_t mode = c.Byte();
        r[i] = mode < 200 ? defaults[i] : static_cast<int32_t>(c.U32());
    }
    return record;
}

void* UpsampleConfig(Choices& c, uint8_t* record, uint8_t*)
{
    const int32_t defaults[] = {2};
    if (c.Byte() < 20) return nullptr;
    return IntRecord(c, record, 1, defaults);
}

void* DenoiseConfig(Choices& c, uint8_t* record, uint8_t*)
{
    const int32_t defaults[] = {64, 48, RL_FORMAT_I420, static_cast<int32_t>(c.Byte() % 6) - 1};
    if (c.Byte() < 10) return nullptr;
    return IntRecord(c, record, 4, defaults);
}

void* CropConfig(Choices& c, uint8_t* record, uint8_t*)
{
    uint32_t* r = reinterpret_cast<uint32_t*>(record);
    r[0] = c.Byte() % 3;  // modes 0, 1 and one unknown
    for (int i = 1; i < 5; ++i) r[i] = c.Byte() < 230 ? c.Range(0, kMaxSide + 8) : c.U32();
    return record;
}

// Mostly the three decoder types, sometimes a type that names none.
void* DecoderConfig(Choices& c, uint8_t* record, uint8_t*)
{
    static const char kSource[] = "media/clip.mp4";
    if (c.Byte() < 10) return nullptr;
    DecodeParams p{};
    if (c.Byte() & 1) p.pSource = kSource;
    p.iSourceLength = c.Range(-2, static_cast<int>(sizeof kSource) - 1);
    const uint8_t mode = c.Byte();
    p.uiMediaType = mode < 20 ? c.U32() : mode < 40 ? c.Range(0, 5) : c.Range(1, 3);
    p.uiUserData = c.U32();
    std::memcpy(record, &p, sizeof p);
    return record;
}

// Mostly a sane I420 record with or without thinning; sometimes any sizes,
// any pitch and any format.
void* EdgeConfig(Choices& c, uint8_t* record, uint8_t*)
{
    if (c.Byte() < 10) return nullptr;
    SRLEdgeConfig e{};
    const bool wild = c.Byte() < 20;
    e.iWidth = wild ? static_cast<int32_t>(c.U32()) : c.Range(0, kMaxSide);
    e.iHeight = wild ? static_cast<int32_t>(c.U32()) : c.Range(0, kMaxSide);
    e.iStride = wild ? static_cast<int32_t>(c.U32()) : e.iWidth;
    e.bSuppressNonMaxima = (c.Byte() & 1) == 0;
    const uint8_t f = c.Byte();
    e.eFormat = f >= 60 ? RL_FORMAT_I420 : f >= 30 ? RL_FORMAT_YV12 : static_cast<int32_t>(c.Range(0, 40));
    std::memcpy(record, &e, sizeof e);
    return record;
}

// A sigma: the usual ones, below the 0.5 floor, or any bit pattern.
void* BlurConfig(Choices& c, uint8_t* record, uint8_t*)
{
    static const float kSigmas[] = {5.0f, 0.3f, 1.0f, 20.0f, 0.0f, -3.0f};
    const uint8_t mode = c.Byte();
    if (mode < 10) return nullptr;
    const float sigma = mode < 30 ? [&] {
        const uint32_t bits = c.U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }()
                                  : kSigmas[mode % 6];
    std::memcpy(record, &sigma, sizeof sigma);
    return record;
}

void* VideoFilterConfig(Choices& c, uint8_t* record, uint8_t*)
{
    const int32_t defaults[] = {64, 48, RL_FORMAT_I420, 1 + c.Byte() % 6};
    if (c.Byte() < 20) return nullptr;
    return IntRecord(c, record, 4, defaults);
}

void* MiaConfig(Choices& c, uint8_t* record, uint8_t*)
{
    const int32_t defaults[] = {64, 48, c.Range(0, 100), 50, c.Range(0, 100), RL_FORMAT_I420};
    if (c.Byte() < 20) return nullptr;
    return IntRecord(c, record, 6, defaults);
}

// Mostly sensible records; now and then any value at all in a field.
void* LcboostConfig(Choices& c, uint8_t* record, uint8_t*)
{
    if (c.Byte() < 16) return nullptr;
    SLcboostConfig* r = reinterpret_cast<SLcboostConfig*>(record);
    const bool wild = c.Byte() >= 220;
    r->iWidth = wild ? static_cast<int32_t>(c.U32()) : c.Range(0, kMaxSide);
    r->iHeight = wild ? static_cast<int32_t>(c.U32()) : c.Range(0, kMaxSide);
    r->eFormat = c.Byte() < 230 ? RL_FORMAT_I420 : static_cast<int32_t>(c.U32());
    const float scales[] = {0.0f, 1.0f, 1.1f, 1.15f, 1.3f, -2.0f};
    r->fContrastScale = scales[c.Byte() % 6];
    r->fColourScale = scales[c.Byte() % 6];
    r->fHistogramCdfWeight = scales[c.Byte() % 6];
    r->iBrightnessMethod = wild ? static_cast<int32_t>(c.U32()) : c.Range(0, 3);
    r->iColourMethod = wild ? static_cast<int32_t>(c.U32()) : c.Range(0, 1);
    r->iScaleChromaWithLuma = c.Byte() & 1;
    return record;
}

// Width, height, format: mostly a valid I420 record, sometimes none or noise.
void* SizeFormatConfig(Choices& c, uint8_t* record, uint8_t*)
{
    const uint8_t mode = c.Byte();
    if (mode < 16) return nullptr;
    int32_t* r = reinterpret_cast<int32_t*>(record);
    if (mode < 40) {
        for (int i = 0; i < 3; ++i) r[i] = c.Byte() < 128 ? static_cast<int32_t>(c.U32()) : c.Range(0, kMaxSide);
        if (c.Byte() < 128) r[2] = RL_FORMAT_I420;
        return record;
    }
    r[0] = 64, r[1] = 48, r[2] = RL_FORMAT_I420;
    return record;
}

// Mostly sizes the generic drivers use, sometimes anything.
void* MotionConfig(Choices& c, uint8_t* record, uint8_t*)
{
    if (c.Byte() < 10) return nullptr;
    SRLMotionDetectConfig r{};
    // One choice value in sixteen goes out of range; runs of equal bytes
    // (the lifecycle test's defaults, or zeros past the end) stay valid.
    const bool wild = c.Byte() % 16 == 1;
    r.width = wild ? static_cast<int32_t>(c.U32()) : c.Range(1, kMaxSide);
    r.height = wild ? static_cast<int32_t>(c.U32()) : c.Range(1, kMaxSide);
    r.min_predict_step = c.Byte() % 16 == 1 ? static_cast<int32_t>(c.U32()) : c.Range(0, 20);
    r.area_threshold = c.Byte() % 16 == 1 ? 1.5 : c.Range(0, 100) / 100.0;
    std::memcpy(record, &r, sizeof r);
    return record;
}

void* FlickerConfig(Choices& c, uint8_t* record, uint8_t*)
{
    if (c.Byte() < 10) return nullptr;
    SRLFlickerDetectConfig r{};
    const bool wild = c.Byte() % 16 == 1;
    r.width = c.Range(1, kMaxSide);
    r.height = c.Range(1, kMaxSide);
    r.window_frames = wild ? static_cast<int32_t>(c.U32()) : c.Range(1, 8);
    r.grid_columns = wild ? static_cast<int32_t>(c.U32()) : c.Range(1, 40);
    r.grid_rows = c.Range(1, 6);
    r.grace_period = c.Range(0, 40);
    for (float& t : r.winsum_threshold_yuv) t = static_cast<float>(c.Range(0, 2000));
    r.format = c.Byte() % 16 == 1 ? RL_FORMAT_NV12 : RL_FORMAT_I420;
    std::memcpy(record, &r, sizeof r);
    return record;
}

void* AlphaConfig(Choices& c, uint8_t*, uint8_t* host) { return c.Byte() < 10 ? nullptr : host; }

void* DebandConfig(Choices& c, uint8_t* record, uint8_t*)
{
    const int32_t defaults[] = {kMaxSide, kMaxSide, 64, 6, 6, RL_FORMAT_I420, 1, 1};
    if (c.Byte() < 20) return nullptr;
    return IntRecord(c, record, 8, defaults);
}

const std::vector<uint32_t> kAllFormats = {1, 2, 5, 6, 7, 8, 9, 10, 11, 20, 21, 22, 23, 24, 26, 29, 30, 31,
                                           0, 3, 12, 25, 0x80000000u | 23, 0x80000000u | 2};
const std::vector<uint32_t> kYuv420 = {23, 24, 26, 29, 30, 31, 0x80000000u | 23};

}  // namespace

const std::vector<MethodEntry>& MethodCatalog()
{
    static const std::vector<MethodEntry> catalog = {
        {RL_METHOD_COLOR_SPACE_CONVERT, "csc", kAllFormats, kAllFormats, DstKind::SameSize, false, NoConfig, {}},
        {RL_METHOD_DENOISE, "denoise", kYuv420, {}, DstKind::SameSize, false, DenoiseConfig, {1, 2, 3, 4, 5, 6, 54}},
        {RL_METHOD_DOWNSAMPLING, "downsample", kAllFormats, {}, DstKind::AnySize, true, NoConfig, {54, 60, 61, 76}},
        {RL_METHOD_UPSAMPLING, "upsample", kYuv420, {}, DstKind::AnySize, false, UpsampleConfig, {}},
        {RL_METHOD_SUPER_RESOLUTION, "sr", kYuv420, {}, DstKind::Enlarged, true, NoConfig, {39, 50, 51, 54}},
        {RL_METHOD_IMAGE_ROTATING, "rotate", kAllFormats, {}, DstKind::Unread, false, NoConfig, {59}},
        {RL_METHOD_IMAGE_CROP, "crop", kAllFormats, {}, DstKind::Descriptor, false, CropConfig, {54, 58}},
        {RL_METHOD_VIDEO_FILTER, "videofilter", kYuv420, {}, DstKind::Unread, false, VideoFilterConfig, {45}},
        {RL_METHOD_MIA, "mia", kYuv420, {}, DstKind::Unread, false, MiaConfig, {46, 47, 48, 54}},
        {RL_METHOD_LCBOOST, "lcboost", kYuv420, {RL_FORMAT_I420}, DstKind::SameSize, false, LcboostConfig,
         {7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 20, 54}},
        {RL_METHOD_MOTION_DETECT, "motion", kAllFormats, {}, DstKind::Reference, false, MotionConfig, {54, 57}},
        {RL_METHOD_FLICKER_DETECT, "flicker", kYuv420, {}, DstKind::Reference, false, FlickerConfig,
         {54, 64, 65, 66, 67, 70, 71, 74, 75}},
        {RL_METHOD_ALPHA_BLEND, "alphablend", kAllFormats, {}, DstKind::SameSize, false, AlphaConfig, {}},
        {RL_METHOD_GAUSS_BLUR, "gaussblur", kAllFormats, {}, DstKind::SameSize, false, BlurConfig, {}},
        {RL_METHOD_EDGE, "edge", kAllFormats, {}, DstKind::SameSize, false, EdgeConfig, {54, 62}},
        {RL_METHOD_MEDIA_DECODER, "mediadecoder", kAllFormats, {}, DstKind::SameSize, false, DecoderConfig, {63}},
        // Only the first plane is read, width bytes per row: any layout will do.
        {RL_METHOD_SCENE_CHANGE_DETECTION, "scenechange", kAllFormats, {}, DstKind::Reference, false,
         SizeFormatConfig, {55, 56}},
        {RL_METHOD_CONTENT_DETECTION, "content", kAllFormats, {}, DstKind::Reference, false, SizeFormatConfig,
         {42, 54}},
        {RL_METHOD_FAST_DEBAND, "deband", kYuv420, {}, DstKind::SameSize, false, DebandConfig,
         {25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38}, 64},
    };
    return catalog;
}

uint8_t* CatalogHostMemory()
{
    static uint8_t* memory = [] {
        static uint8_t block[kMaxSide * kMaxSide];
        std::memset(block, 128, sizeof block);
        return block;
    }();
    return memory;
}

bool OptionCarriesPointer(int option)
{
    switch (option) {
    case RL_OPTION_CONTENT_CALLBACK:
    case RL_OPTION_LOG_CALLBACK:
    case RL_OPTION_LOG_CALLBACK_INSTANCE:
    case RL_OPTION_SR_COEFF_FILE:
    case RL_OPTION_MOTION_RESULT:
        return true;
    default:
        return false;
    }
}

}  // namespace rltest
