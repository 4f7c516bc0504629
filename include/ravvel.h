/*
 * Ravvel: video-processing library.
 *
 * The one public header: the picture descriptor, the enumerations, the result
 * codes, the IRavvel interface, the exported entry points and the Init records
 * and option payloads of every method.
 */
#ifndef RAVVEL_H
#define RAVVEL_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define RAVVEL_API
#else
#define RAVVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define RAVVEL_EXTERN_C extern "C"
#else
#define RAVVEL_EXTERN_C
#endif

/* Enumerations are 32-bit; in C++ every int32 value is a valid value of
 * them, so a host may pass any number and get a result code back. */
#ifdef __cplusplus
#define RL_ENUM_INT32 : int32_t
#else
#define RL_ENUM_INT32
#endif

/* ---- Result codes ------------------------------------------------------ */

/* Every call returns one of these (32-bit, signed). */
enum {
    RL_OK = 0,
    RL_ERR_FAILED = -1,          /* general failure (see the method's notes) */
    RL_ERR_INVALID_PARAM = -2,   /* null pointer, method out of range, odd or too small size, unknown option */
    RL_ERR_NO_MEMORY = -3,       /* a buffer or object could not be allocated */
    RL_ERR_UNSUPPORTED = -4,     /* format or format pair not handled by the method */
    RL_ERR_MISMATCH = -5,        /* Process on a method never initialised; source and destination do not fit */
    RL_ERR_NOT_INITIALIZED = -7, /* Set/GetOption on a method never initialised; a call before Init succeeded */
    RL_ERR_BAD_FORMAT = -8       /* a format the upsampler does not scale */
};

/* ---- Pixel formats ----------------------------------------------------- */

typedef enum RL_EVideoFormat RL_ENUM_INT32 {
    RL_FORMAT_RGB24 = 1,
    RL_FORMAT_RGBA = 2,
    RL_FORMAT_BGR24 = 5,
    RL_FORMAT_BGRA = 6,
    RL_FORMAT_ABGR = 7,
    RL_FORMAT_ARGB = 8,
    RL_FORMAT_RGB_PLANAR = 9,
    RL_FORMAT_BGR_PLANAR = 10,
    RL_FORMAT_RGBA_SCREEN = 11,
    RL_FORMAT_YUYV = 20,
    RL_FORMAT_YVYU = 21,
    RL_FORMAT_UYVY = 22,
    RL_FORMAT_I420 = 23,
    RL_FORMAT_YV12 = 24,
    RL_FORMAT_NV12 = 26,
    RL_FORMAT_NV21 = 29,
    RL_FORMAT_I420_2 = 30,
    RL_FORMAT_VYUY = 31,
    /* Bit 31: rows are stored bottom-up. */
    RL_FORMAT_FLAG_BOTTOM_UP = (int32_t)0x80000000u
} RL_EVideoFormat;

#define RL_FORMAT_MASK 0x7fffffffu

/* ---- Methods ----------------------------------------------------------- */

typedef enum RL_EMethod RL_ENUM_INT32 {
    RL_METHOD_ALL = 0,
    RL_METHOD_COLOR_SPACE_CONVERT = 1,
    RL_METHOD_DENOISE = 2,
    RL_METHOD_LCBOOST = 3,
    RL_METHOD_FAST_DEBAND = 5,
    RL_METHOD_SCENE_CHANGE_DETECTION = 6,
    RL_METHOD_DOWNSAMPLING = 7,
    RL_METHOD_CONTENT_DETECTION = 8,
    RL_METHOD_IMAGE_ROTATING = 14,
    RL_METHOD_IMAGE_CROP = 15,
    RL_METHOD_SUPER_RESOLUTION = 19,
    RL_METHOD_UPSAMPLING = 20,
    RL_METHOD_VIDEO_FILTER = 21,
    RL_METHOD_MIA = 22,
    RL_METHOD_ALPHA_BLEND = 23,
    RL_METHOD_GAUSS_BLUR = 24,
    RL_METHOD_MOTION_DETECT = 25,
    RL_METHOD_MEDIA_DECODER = 26,
    RL_METHOD_EDGE = 28,
    RL_METHOD_FLICKER_DETECT = 29
} RL_EMethod;

#define RL_METHOD_SLOTS 30

/* ---- Options ----------------------------------------------------------- */

typedef enum RL_EOption RL_ENUM_INT32 {
    RL_OPTION_DENOISE_MODE = 1,
    RL_OPTION_DENOISE_ESTIMATE_INTERVAL = 2,
    RL_OPTION_DENOISE_RESET_COUNTER = 3,
    RL_OPTION_DENOISE_REINIT = 4,
    RL_OPTION_DENOISE_LEVEL = 5,
    RL_OPTION_DENOISE_NOISE_ESTIMATE = 6,
    RL_OPTION_LCBOOST_BRIGHTNESS_METHOD = 7,
    RL_OPTION_LCBOOST_COLOUR_METHOD = 8,
    RL_OPTION_LCBOOST_CONTRAST_SCALE = 9,
    RL_OPTION_LCBOOST_COLOUR_SCALE = 10,
    RL_OPTION_LCBOOST_COLOUR_AUTO = 11,
    RL_OPTION_LCBOOST_FILTER_VBG = 12,
    RL_OPTION_LCBOOST_SCALE_CHROMA_WITH_LUMA = 13,
    RL_OPTION_LCBOOST_HISTOGRAM_CDF_WEIGHT = 14,
    RL_OPTION_LCBOOST_GET_COLOUR_SCALE = 15,
    RL_OPTION_LCBOOST_GET_COLOUR_AUTO = 16,
    RL_OPTION_LCBOOST_GET_FILTER_VBG = 17,
    RL_OPTION_LCBOOST_GET_CONTRAST_SCALE = 18,
    RL_OPTION_LCBOOST_GET_HISTOGRAM_CDF_WEIGHT = 19,
    RL_OPTION_LCBOOST_RESET = 20,
    RL_OPTION_DEBAND_DEPTH_Y = 25,
    RL_OPTION_DEBAND_GET_DEPTH_Y = 26,
    RL_OPTION_DEBAND_DEPTH_UV = 27,
    RL_OPTION_DEBAND_GET_DEPTH_UV = 28,
    RL_OPTION_DEBAND_STRENGTH = 29,
    RL_OPTION_DEBAND_GET_STRENGTH = 30,
    RL_OPTION_DEBAND_DITHER = 31,
    RL_OPTION_DEBAND_GET_DITHER = 32,
    RL_OPTION_DEBAND_LOG2_SIZE = 33,
    RL_OPTION_DEBAND_GET_LOG2_SIZE = 34,
    RL_OPTION_DEBAND_SEED_METHOD = 35,
    RL_OPTION_DEBAND_GET_SEED_METHOD = 36,
    RL_OPTION_DEBAND_AUTO_MODE = 37,
    RL_OPTION_DEBAND_GET_AUTO_MODE = 38,
    RL_OPTION_SR_INITED = 39,
    RL_OPTION_CONTENT_CALLBACK = 40,
    RL_OPTION_CONTENT_RESET = 42,
    RL_OPTION_LOG_CALLBACK = 43,
    RL_OPTION_LOG_LEVEL = 44,
    RL_OPTION_VIDEO_FILTER_MODE = 45,
    RL_OPTION_MIA_BRIGHTNESS = 46,
    RL_OPTION_MIA_CONTRAST = 47,
    RL_OPTION_MIA_SATURATION = 48,
    RL_OPTION_LOG_CALLBACK_INSTANCE = 49,
    RL_OPTION_SR_SIMPLE_1PT5 = 50,
    RL_OPTION_SR_ENHANCED = 51,
    RL_OPTION_SR_COEFF_FILE = 52,
    RL_OPTION_STAT_INTERVAL = 53,
    RL_OPTION_AVERAGE_TIME = 54,
    RL_OPTION_SCENE_CHANGE_RATIO = 55,
    RL_OPTION_SCENE_CHANGE_LEVEL = 56,
    RL_OPTION_MOTION_RESULT = 57,
    RL_OPTION_CROP_PARAM = 58,
    RL_OPTION_ROTATION_ANGLE = 59,
    RL_OPTION_DOWNSAMPLE_BILINEAR = 60,
    RL_OPTION_DOWNSAMPLE_LANCZOS = 61,
    RL_OPTION_EDGE_CONFIG = 62,
    RL_OPTION_MEDIA_SEEK = 63,
    RL_OPTION_FLICKER_WINDOW_SIZE = 64,
    RL_OPTION_FLICKER_RESULT = 65,
    RL_OPTION_FLICKER_GRACE_PERIOD = 66,
    RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y = 67,
    RL_OPTION_FLICKER_WINSUM_THRESHOLD_U = 68,
    RL_OPTION_FLICKER_WINSUM_THRESHOLD_V = 69,
    RL_OPTION_FLICKER_PEAK_THRESHOLD = 70,
    RL_OPTION_FLICKER_STATIC_THRESHOLD_Y = 71,
    RL_OPTION_FLICKER_STATIC_THRESHOLD_U = 72,
    RL_OPTION_FLICKER_STATIC_THRESHOLD_V = 73,
    RL_OPTION_FLICKER_STATIC_RATIO = 74,
    RL_OPTION_FLICKER_RESET = 75,
    RL_OPTION_LANCZOS_TUNE = 76
} RL_EOption;

/* ---- Trace levels ------------------------------------------------------ */

typedef enum RL_ETraceLevel RL_ENUM_INT32 {
    RL_TRACE_ERROR = 0,
    RL_TRACE_WARNING = 1,
    RL_TRACE_INFO = 2,
    RL_TRACE_DEBUG = 3,
    RL_TRACE_DETAIL = 4
} RL_ETraceLevel;

/* Log callback: (instance, level, zero-terminated line). */
typedef void (*RLLogCallbackFunc)(void* instance, RL_ETraceLevel level, const char* message);

/* ---- CPU feature flags ------------------------------------------------- */

enum {
    RL_CPU_MMX = 0x1,
    RL_CPU_MMXEXT = 0x2,
    RL_CPU_SSE = 0x4,
    RL_CPU_SSE2 = 0x8,
    RL_CPU_SSE3 = 0x10,
    RL_CPU_SSE41 = 0x20,
    RL_CPU_3DNOW = 0x40,
    RL_CPU_SSSE3 = 0x200,
    RL_CPU_SSE42 = 0x400,
    RL_CPU_AVX = 0x800,
    RL_CPU_FPU = 0x1000,
    RL_CPU_HTT = 0x2000,
    RL_CPU_CMOV = 0x4000,
    RL_CPU_MOVBE = 0x8000,
    RL_CPU_AES = 0x10000,
    RL_CPU_FMA = 0x20000,
    RL_CPU_AVX2 = 0x40000,
    RL_CPU_AVX512F = 0x80000,
    RL_CPU_AVX512DQ = 0x200000,
    RL_CPU_AVX512BW = 0x400000,
    RL_CPU_AVX512VL = 0x800000,
    RL_CPU_CACHELINE_16 = 0x10000000,
    RL_CPU_CACHELINE_32 = 0x20000000,
    RL_CPU_CACHELINE_64 = 0x40000000,
    RL_CPU_CACHELINE_128 = (int32_t)0x80000000u
};

/* ---- Picture descriptor ------------------------------------------------ */

typedef struct SRLPictureInfo {
    uint8_t* pData[3];
    int32_t iStride[3];
    int32_t iWidth;
    int32_t iHeight;
    int32_t iReserved0;
    RL_EVideoFormat eFormat; /* format in bits 0..30, RL_FORMAT_FLAG_BOTTOM_UP in bit 31 */
    int32_t iReserved1;
    uint8_t* pQPList;
    int32_t iReserved2;
    int32_t iSizeCapWidth;
    int32_t iSizeCapHeight;
    int32_t iMaskWidth;
    int32_t iMaskHeight;
    int32_t iReserved3;
    uint8_t* pMask;
    uint64_t uiReserved4[3];
} SRLPictureInfo;

#ifdef __cplusplus
static_assert(sizeof(SRLPictureInfo) == 120, "SRLPictureInfo is a 120-byte record");
static_assert(offsetof(SRLPictureInfo, iStride) == 24, "iStride");
static_assert(offsetof(SRLPictureInfo, iWidth) == 36, "iWidth");
static_assert(offsetof(SRLPictureInfo, iHeight) == 40, "iHeight");
static_assert(offsetof(SRLPictureInfo, eFormat) == 48, "eFormat");
static_assert(offsetof(SRLPictureInfo, pQPList) == 56, "pQPList");
static_assert(offsetof(SRLPictureInfo, iSizeCapWidth) == 68, "iSizeCapWidth");
static_assert(offsetof(SRLPictureInfo, iSizeCapHeight) == 72, "iSizeCapHeight");
static_assert(offsetof(SRLPictureInfo, iMaskWidth) == 76, "iMaskWidth");
static_assert(offsetof(SRLPictureInfo, iMaskHeight) == 80, "iMaskHeight");
static_assert(offsetof(SRLPictureInfo, pMask) == 88, "pMask");
static_assert(offsetof(SRLPictureInfo, uiReserved4) == 96, "reserved tail");
static_assert(sizeof(RL_EVideoFormat) == 4, "formats are 32-bit");
#endif

/* GPU processing is named by the interface; no method implements it. */
typedef enum RL_ESubMethod RL_ENUM_INT32 { RL_SUBMETHOD_NONE = 0 } RL_ESubMethod;
typedef struct GpuRLPictureInfo GpuRLPictureInfo;

typedef struct SRLVersion {
    uint32_t uiMajor;
    uint32_t uiMinor;
    uint32_t uiRevision;
    uint32_t uiBuild;
} SRLVersion;

/* ---- Method Init records and option payloads --------------------------- */

/* -- Colour space conversion (method 1) -- */
/* No Init record (config may be null) and no options: the source and
 * destination formats of each Process call choose the conversion. */

/* -- Scaling: downsampling (7), upsampling (20), super resolution (19) -- */

/* Downsampling (7): Init's config is not read. Init's flag true writes the
 * caller's destination planes; false points the destination descriptor's
 * planes and strides at library memory, valid until the next call or Uninit.
 * Options 60 (bilinear) and 61 (filtered, the default) take no payload;
 * option 76 takes a pointer to a uint8_t, non-zero for the sharper filters.
 * GetOption 54 writes a double: microseconds per frame. */
typedef uint8_t RLLanczosTune;

/* Upsampling (20): Init's config, when not null, points at an SRLUpsampleConfig.
 * iFilterMode 2 selects bilinear, 3 box, any other value linear (the default). */
typedef enum FilterMode RL_ENUM_INT32 {
    RL_FILTER_NONE = 0,     /* point sampling */
    RL_FILTER_LINEAR = 1,   /* horizontal interpolation only; rows are repeated */
    RL_FILTER_BILINEAR = 2,
    RL_FILTER_BOX = 3
} FilterMode;

typedef struct SRLUpsampleConfig {
    int32_t iFilterMode;
} SRLUpsampleConfig;

/* Super resolution (19): I420 only, destination exactly 2x or 1.5x the
 * source (all sides even). Init's config is not read; its flag works as the
 * downsampler's. The 2x filter skips blocks unchanged since the previous
 * frame when the library owns the output. The source's pQPList, when set,
 * holds one quantiser (0..51) per 16x16 luma block, (width + 15) / 16 per row;
 * otherwise 24 is used everywhere.
 * Options: 50 and 51 take a pointer to a uint8_t (simple 1.5x; enhanced
 * 2x); 52 a zero-terminated path of at most 134 characters to the enhanced
 * coefficient file (longer paths are refused with -2). Without option 52
 * the file is read from "../../../../../super_resolution/data/superResCoeffs.txt",
 * relative to the working directory; the trained file ships as
 * share/ravvel/superResCoeffs.txt under the install prefix. A file that
 * cannot be read fails the frame (-1) and is tried again on the next one.
 * GetOption 39 writes one byte (initialised), 54 a double (microseconds per
 * frame; returns -1). */
typedef uint8_t RLSRSimple1pt5;
typedef uint8_t RLSREnhanced;
#define RL_SR_MAX_COEFF_PATH 134
/* Enhanced coefficient file: one line per class and phase, fields separated
 * by single spaces: class (1..8192), phase (0..3), four ignored fields, then
 * up to nine coefficients applied to the 3x3 neighbourhood in raster order. */

/* -- Enhancement: denoise (2), lcboost (3), fast deband (5) -- */

/* Lcboost (3): local contrast, brightness and colour boost of I420 pictures
 * into a separate destination. Init's config, when not null, points at an
 * SLcboostConfig (eFormat must be RL_FORMAT_I420; a contrast scale of 0
 * derives the contrast once from the picture; a cdf weight of 0 keeps the
 * current one). Options 7 and 8 take an int32_t (SLcboostConfig's methods),
 * 9, 10 and 14 a float, 11 (automatic colour), 12 (ignore the mask) and 13
 * (scale chroma with luma) a uint8_t flag, 20 (restart the analysis) no
 * payload. GetOption 15, 18 and 19 answer a float, 16 and 17 a uint8_t, 54
 * a double (microseconds per frame). The source's optional pMask
 * (iMaskWidth x iMaskHeight bytes, 255 full effect, 0 keeps the source) is
 * scaled to the picture. */
typedef enum RL_ELcboostBrightness RL_ENUM_INT32 {
    RL_LCBOOST_BRIGHTNESS_NONE = 0,
    RL_LCBOOST_BRIGHTNESS_HISTOGRAM = 1, /* histogram equalisation */
    RL_LCBOOST_BRIGHTNESS_BETA = 2,      /* logarithmic curve towards a skin/mean target */
    RL_LCBOOST_BRIGHTNESS_HYBRID = 3     /* the default */
} RL_ELcboostBrightness;

typedef struct SLcboostConfig {
    int32_t iWidth;
    int32_t iHeight;
    int32_t eFormat;
    float fContrastScale;       /* 1.15 by default; 0 derives it */
    float fColourScale;         /* vibrance strength, 1.1 by default */
    float fHistogramCdfWeight;  /* exponent divisor of the equalisation, 1.1 by default */
    int32_t iBrightnessMethod;  /* RL_ELcboostBrightness */
    int32_t iColourMethod;      /* 0 none, 1 chroma gain table */
    int32_t iScaleChromaWithLuma; /* non-zero: chroma follows the luma change */
} SLcboostConfig;

/* Denoise (2): Init's config is an SDenoiseConfig. The source picture (I420 or
 * YV12) is denoised in place; the destination is not read. iMode 0 estimates
 * the noise level every RL_OPTION_DENOISE_ESTIMATE_INTERVAL frames (int32_t,
 * default 90), 1..4 fixes it (1 weak .. 4 strongest), -1 (the initial mode)
 * leaves frames untouched. Options 1 and 2 take an int32_t*, 3 and 4 no
 * payload; GetOption 5 (level 0..4) and 6 (raw estimate) write an int32_t,
 * 54 a double (microseconds per frame). */
typedef struct SDenoiseConfig {
    int32_t iWidth;
    int32_t iHeight;
    int32_t eFormat; /* RL_FORMAT_I420 or RL_FORMAT_YV12 */
    int32_t iMode;
} SDenoiseConfig;

/* Fast deband (5): Init's config, when not null, points at an
 * SFastDebandConfig (eFormat must be RL_FORMAT_I420); the filter runs on
 * iWidth x iHeight, clipped to the pictures. Options 25..38 take a pointer to
 * an int32_t: 25/27 passes on luma (0..4) and chroma (1..4), 29 strength
 * (threshold in 1/16 levels; 0 turns the filter off, 1..16 act as 16), 31
 * dither, 33 log2 tap span, 35 seed method (1: frame index mod 2, otherwise a
 * generator that restarts with Init and Uninit), 37 automatic mode (strength
 * and span from the quantiser history). The matching GET options (26 .. 36)
 * write an int32_t; 38 writes one uint8_t. */
typedef struct SFastDebandConfig {
    int32_t iWidth;
    int32_t iHeight;
    int32_t iStrength; /* default 8 */
    int32_t iDither;   /* default 6: noise 0..15/16 of a level; 8 or more moves flat areas */
    int32_t iLog2Size; /* default 6 */
    int32_t eFormat;   /* RL_FORMAT_I420 */
    int32_t iDepthY;   /* default 0: one pass */
    int32_t iDepthUV;  /* default 1 */
} SFastDebandConfig;

/* -- Analysis: scene change (6), content (8), motion (25), flicker (29) -- */

/* Scene change (6): compares the luma of Process's source (the current frame)
 * with that of its destination (the reference frame) in 8x8 blocks; neither is
 * written. Init's config is optional; when given, eFormat must be I420.
 * GetOption 55 writes a float (share of blocks that changed), 56 an int32
 * level (RL_ESceneChangeLevel). Pictures of another width, height or luma
 * stride than the reference are refused with -2 and re-initialise the method
 * for the current frame. */
typedef struct SRLSceneChangeConfig {
    int32_t iWidth;
    int32_t iHeight;
    RL_EVideoFormat eFormat;
} SRLSceneChangeConfig;

typedef enum RL_ESceneChangeLevel RL_ENUM_INT32 {
    RL_SCENE_CHANGE_NONE = 0,   /* fewer than 1 % of the blocks changed */
    RL_SCENE_CHANGE_SMALL = 1,  /* at least 1 % */
    RL_SCENE_CHANGE_MEDIUM = 2, /* at least 50 % */
    RL_SCENE_CHANGE_LARGE = 3   /* at least 85 % */
} RL_ESceneChangeLevel;

/* Content detection (8): decides whether an I420 stream shows text-like
 * content or natural video and calls the host back on each change. Init's
 * config (required) is an SRLContentDetectionConfig. Process needs the
 * callback (option 40, an SRLContentCallback*); option 42 takes a uint8_t*,
 * non-zero to restart the histories at the next frame (hosts do this before
 * the first frame). GetOption 54 writes a double: microseconds per frame. */
typedef struct SRLContentDetectionConfig {
    int32_t iWidth;
    int32_t iHeight;
    RL_EVideoFormat eFormat;
} SRLContentDetectionConfig;

typedef enum RL_EContentType RL_ENUM_INT32 {
    RL_CONTENT_VIDEO = 0,
    RL_CONTENT_TEXT = 1
} RL_EContentType;

/* Called as pfnCallback(pContext, content) with content RL_CONTENT_VIDEO or
 * RL_CONTENT_TEXT. A null function or context unregisters the callback. */
typedef void (*RLContentCallbackFunc)(void* context, int32_t content);
typedef struct SRLContentCallback {
    RLContentCallbackFunc pfnCallback;
    void* pContext;
} SRLContentCallback;
/* Motion detection (25): Init's config points at an SRLMotionDetectConfig.
 * Process takes RL_FORMAT_RGB_PLANAR pictures of the configured size: planes
 * pData[0..2] and the mask pMask, each width x height bytes with no gap
 * between rows (a mask byte above 128 is inside). SetOption
 * RL_OPTION_MOTION_RESULT registers an int32_t* that every successful Process
 * sets to 1 (changed along the mask's boundary) or 0; the host keeps it valid.
 * GetOption 54 writes a double: microseconds per frame. */
typedef struct SRLMotionDetectConfig {
    int32_t width;            /* 1 to 10000000 */
    int32_t height;           /* 1 to 10000000 */
    int32_t min_predict_step; /* frames after a reported change before the next test, 0 to 100 */
    double area_threshold;    /* fraction of boundary pixels that must change, 0.0 to 1.0 */
} SRLMotionDetectConfig;

/* Flicker detection (29): Init's config points at an SRLFlickerDetectConfig;
 * a null config keeps the current settings. Process takes RL_FORMAT_I420
 * pictures (each plane with its own stride) and writes nothing; the verdict,
 * 1 while the picture flickers and for grace_period frames after, is read
 * with GetOption RL_OPTION_FLICKER_RESULT (int32_t). The window of
 * N = window_frames + max(peak threshold, 1) + 1 frames is read with option
 * 64; options 66 and 70 to 73 carry int32_t, 67 to 69 and 74 float, option 75
 * a new SRLFlickerDetectConfig. GetOption 54 writes a float: microseconds
 * per frame. */
typedef struct SRLFlickerDetectConfig {
    int32_t width;
    int32_t height;
    int32_t window_frames;           /* 1 and up; N must stay within 1024 */
    int32_t grid_columns;            /* regions across, 1 and up */
    int32_t grid_rows;               /* regions down; at most 1024 regions in all */
    int32_t grace_period;            /* frames the verdict stays 1 after a flickering frame */
    float winsum_threshold_yuv[3];   /* region MSE sum per window_frames frames, per plane */
    int32_t format;                  /* RL_FORMAT_I420 */
} SRLFlickerDetectConfig;

/* -- Image operations: rotation (14), crop (15), alpha blending (23) -- */

/* Rotation takes no Init record; RL_OPTION_ROTATION_ANGLE carries a uint32_t
 * angle in degrees clockwise (90, 180 or 270). Planes are read and written
 * tightly packed, and the host describes the rotated destination itself. */

/* Crop request: Init's config (optional) and the RL_OPTION_CROP_PARAM payload.
 * RL_OPTION_AVERAGE_TIME answers a double (microseconds per frame). */
typedef enum RL_ECropMode {
    RL_CROP_MODE_ASPECT = 0, /* largest top-left rectangle of aspect uiWidth:uiHeight */
    RL_CROP_MODE_RECT = 1    /* the rectangle uiTop, uiLeft, uiWidth x uiHeight */
} RL_ECropMode;

typedef struct SRLCropParam {
    uint32_t uiMode; /* RL_ECropMode */
    uint32_t uiTop;
    uint32_t uiLeft;
    uint32_t uiWidth;  /* width, or the aspect numerator */
    uint32_t uiHeight; /* height, or the aspect denominator */
} SRLCropParam;

/* Alpha blending: Init's config is the alpha map, const uint8_t*, one byte
 * per destination pixel (iWidth x iHeight, no padding), owned by the host and
 * read on every Process. The method has no options. */

/* -- Effects: video filter (21), MIA (22), Gaussian blur (24), edge (28) -- */

/* Gaussian blur (24): Init's config points at one float, the sigma (values
 * below 0.5 count as 0.5; 5.0 until set). Source and destination have the
 * same size and format: planar 4:2:0 (23, 24), 4-byte RGB (2, 6, 7, 8) or one
 * grey plane (31). A plane pitch at least as long as its row is honoured;
 * anything shorter (0 included) means rows packed without gaps. The method
 * has no options. */
typedef float RLGaussSigma;

/* Edge map (28): Init's config, and the RL_OPTION_EDGE_CONFIG payload. The
 * luma plane of an I420 or YV12 source (or a format-31 grey plane) becomes an
 * 8-bit Sobel edge-strength map in the destination's plane 0; with
 * bSuppressNonMaxima the edges are thinned to one pixel. A source of another
 * size re-initialises the method from the picture. GetOption 54 writes a
 * double: microseconds per frame. */
typedef struct SRLEdgeConfig {
    int32_t iWidth;
    int32_t iHeight;
    int32_t iStride;         /* plane-0 row pitch */
    bool bSuppressNonMaxima;
    int32_t eFormat;         /* RL_FORMAT_I420 or RL_FORMAT_YV12 */
} SRLEdgeConfig;

/* Colour filters (21): recolour a planar 4:2:0 (I420) picture in place.
 * Init's config, when not null, points at an SRLVideoFilterConfig; the mode
 * may also be changed at any time with RL_OPTION_VIDEO_FILTER_MODE (an
 * int32_t payload). Mode 0 makes Process refuse to run; an unknown non-zero
 * mode is treated as black and white. A picture of another size than the
 * last one re-initialises the method and keeps the mode. */
typedef enum RL_EVideoFilterMode RL_ENUM_INT32 {
    RL_VIDEO_FILTER_NONE = 0,
    RL_VIDEO_FILTER_BLACK_AND_WHITE = 1, /* chroma set to 128, luma untouched */
    RL_VIDEO_FILTER_HUE_ANGLE = 2,       /* chroma rotated by about 35.5 degrees */
    RL_VIDEO_FILTER_SEPIA = 3,           /* the following three go through RGB */
    RL_VIDEO_FILTER_CINNAMON = 4,
    RL_VIDEO_FILTER_SEAFOAM = 5
} RL_EVideoFilterMode;

typedef struct SRLVideoFilterConfig {
    int32_t iWidth;
    int32_t iHeight;
    int32_t iFormat; /* must be RL_FORMAT_I420 */
    int32_t iMode;   /* RL_EVideoFilterMode */
} SRLVideoFilterConfig;

/* MIA (22): brightness, contrast and saturation of an I420 picture, adjusted
 * in place; 50 is neutral for each. Luma becomes
 * 128 + (Y - 128) * (contrast + 50) / 100 + brightness - 50 and chroma
 * 128 + (C - 128) * (contrast + 50) * saturation / 5000, both clamped to
 * 0..255. Options 46, 47 and 48 set (SetOption) or read (GetOption) an
 * int32_t; GetOption 54 writes a double (microseconds per frame). When the
 * source picture carries a mask (pMask, iMaskWidth x iMaskHeight bytes, rows
 * packed), each sample moves from its value towards the adjusted one by
 * mask / 256; a mask of another size is scaled to the picture by nearest
 * neighbour. Init is optional; its config, when not null, points at an
 * SRLMiaConfig, whose iReserved field is not read (contrast is set by option
 * only). */
typedef struct SRLMiaConfig {
    int32_t iWidth;
    int32_t iHeight;
    int32_t iBrightness;
    int32_t iReserved;
    int32_t iSaturation;
    int32_t iFormat; /* must be RL_FORMAT_I420 */
} SRLMiaConfig;

/* -- Media decoder (26) -- */

/* The decoder slot holds one decoder chosen by the media type of Init's
 * DecodeParams; the decoders of this library decode nothing (their Init and
 * Process return RL_ERR_UNSUPPORTED), but selection, replacement and seeking
 * behave as for real ones. RL_OPTION_MEDIA_SEEK takes a MediaSeekPosition. */
typedef enum MediaDecodeType RL_ENUM_INT32 {
    MEDIA_DECODE_IMAGE = 1,
    MEDIA_DECODE_GIF = 2,
    MEDIA_DECODE_VIDEO = 3
} MediaDecodeType;

typedef struct DecodeParams {
    const char* pSource;  /* path or locator, may be null; copied by Init */
    int32_t iSourceLength; /* the text is taken only when pSource is set and this is above 0 */
    uint32_t uiMediaType;  /* MediaDecodeType */
    uint64_t uiUserData;   /* handed to the decoder unchanged */
} DecodeParams;

typedef int32_t MediaSeekPosition;

/* ---- The interface ----------------------------------------------------- */

/* One IRavvel (CreateRavvel) serves one host thread at a time; separate
 * objects may be used on separate threads at once. Init(method, config, flag)
 * creates the method on first use and (re)configures it; Process runs one
 * frame; Uninit(method) frees it (0 for a method never created). Each
 * method's notes above give its config, flag, options and extra codes.
 * Logging is set through SetOption with RL_METHOD_ALL (every method, now and
 * later) or a method value (that method): RL_OPTION_LOG_CALLBACK takes a
 * pointer to an RLLogCallbackFunc, RL_OPTION_LOG_CALLBACK_INSTANCE a pointer
 * to the void* handed back to it, RL_OPTION_LOG_LEVEL a pointer to an int32
 * RL_ETraceLevel (lines up to that level are passed on); all return 0.
 * RL_OPTION_STAT_INTERVAL takes a pointer to an int32, the milliseconds
 * between timing lines (0 or less: 10000), and returns -1 once applied. */

#ifdef __cplusplus
class IRavvel {
public:
    virtual ~IRavvel() {}
    virtual int32_t Init(RL_EMethod method, void* config, bool flag) = 0;
    virtual int32_t Uninit(RL_EMethod method) = 0;
    virtual int32_t Process(RL_EMethod method, SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) = 0;
    virtual int32_t GpuProcess(RL_EMethod method, RL_ESubMethod sub, GpuRLPictureInfo* src,
                               GpuRLPictureInfo* dst) = 0;
    virtual int32_t SetOption(RL_EMethod method, RL_EOption option, void* value) = 0;
    virtual int32_t GetOption(RL_EMethod method, RL_EOption option, void* value) = 0;
};
#else
typedef struct IRavvel IRavvel;
#endif

RAVVEL_EXTERN_C RAVVEL_API int32_t CreateRavvel(IRavvel** out);
RAVVEL_EXTERN_C RAVVEL_API void DestroyRavvel(IRavvel* p);
RAVVEL_EXTERN_C RAVVEL_API SRLVersion GetRavvelVersion(void);
/* SIMD level of this processor: 5 AVX2, 4 AVX, 3 SSE4.2, 2 SSSE3, 1 SSE2, 0 none. */
RAVVEL_EXTERN_C RAVVEL_API int32_t GetRavvelArch(void);
/* CPU feature flags (RL_CPU_*); logicalProcessors may be null. */
RAVVEL_EXTERN_C RAVVEL_API uint32_t VeskCPUFeatureDetect(int32_t* logicalProcessors);

#endif /* RAVVEL_H */
