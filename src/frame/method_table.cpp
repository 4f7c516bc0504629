#include "frame/method_table.h"

#include <new>

#include "analysis/content_detection.h"
#include "analysis/scene_change.h"
#include "analysis/flicker_detect.h"
#include "analysis/motion_detect.h"
#include "csc/color_space_convertor.h"
#include "decoder/media_decoder_wrapper.h"
#include "effects/edge.h"
#include "effects/gauss_blur.h"
#include "effects/mia.h"
#include "effects/video_filter.h"
#include "enhance/lcboost.h"
#include "enhance/denoise.h"
#include "enhance/fast_deband.h"
#include "imageops/alpha_blend.h"
#include "imageops/image_crop.h"
#include "imageops/image_rotating.h"
#include "scale/downsample.h"
#include "scale/super_resolution.h"
#include "scale/upsample.h"

namespace Ravvel {

namespace {

template <class T>
CRavvelFramework* Make(uint32_t cpuFlags)
{
    return new (std::nothrow) T(cpuFlags);
}

// Each method adds its class here; a row without a factory is refused by Init.
const MethodRow kMethodRows[] = {
    {RL_METHOD_COLOR_SPACE_CONVERT, "Create ColorSpaceConvertion CSC(%p)", false, &Make<CColorSpaceConvertor>, "CSC"},
    {RL_METHOD_DENOISE, "Create Denoise(%p)", false, &Make<CDenoise>, "Denoise"},
    {RL_METHOD_LCBOOST, "Create LCBoost(%p)", false, &Make<CLcboost>, "LcBoost"},
    {RL_METHOD_FAST_DEBAND, "Create FastDeband(%p)", false, &Make<CFastDeband>, "FastDeband"},
    {RL_METHOD_SCENE_CHANGE_DETECTION, "Create SceneChangeDetection(%p)", false, &Make<CSceneChangeDetection>, "SceneChangeDetection"},
    {RL_METHOD_DOWNSAMPLING, "Create Downsample(%p)", true, &Make<CDownsampling>, "Downsample"},
    {RL_METHOD_CONTENT_DETECTION, "Create ContentDetection(%p)", false, &Make<CContentDetection>, "ContentDetection"},
    {RL_METHOD_IMAGE_ROTATING, "Create ImageRotate(%p)", false, &Make<CImageRotating>, "ImageRotate"},
    {RL_METHOD_IMAGE_CROP, "Create ImageCrop(%p)", false, &Make<CImageCrop>, "ImageCrop"},
    {RL_METHOD_SUPER_RESOLUTION, "Create super resolution SR(%p)", true, &Make<CSuperResolution>, "SuperResolution"},
    {RL_METHOD_UPSAMPLING, "Create Upsample(%p)", false, &Make<CUpsampling>, "Upsample"},
    {RL_METHOD_VIDEO_FILTER, "Create VideoFilter(%p)", false, &Make<CVideoFilter>, "VideoFilter"},
    {RL_METHOD_MIA, "Create MIA(%p)", false, &Make<CMia>, "MIA"},
    {RL_METHOD_ALPHA_BLEND, "Create AlphaBlend(%p)", false, &Make<CAlphaBlend>, "AlphaBlend"},
    {RL_METHOD_GAUSS_BLUR, "Create GaussBlur(%p)", false, &Make<CGaussBlur>, "GaussBlur"},
    {RL_METHOD_MOTION_DETECT, "Create MotionDetect(%p)", false, &Make<CMotionDetect>, "MotionDetect"},
    {RL_METHOD_MEDIA_DECODER, "Create MediaDecoder(%p)", false, &Make<CMediaDecoderWrapper>, "MediaDecoder"},
    {RL_METHOD_EDGE, "Create Edge(%p)", false, &Make<CEdge>, "Edge"},
    {RL_METHOD_FLICKER_DETECT, "Create FlickerDetect(%p)", false, &Make<CFlickerDetect>, "FlickerDetect"},
};

}  // namespace

const MethodRow* FindMethodRow(int32_t method)
{
    for (const MethodRow& row : kMethodRows)
        if (row.iMethod == method) return &row;
    return nullptr;
}

}  // namespace Ravvel
