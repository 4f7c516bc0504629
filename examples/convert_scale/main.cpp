// A capture-side pipeline: an RGB frame from a "camera" is converted to I420,
// shrunk to a quarter of its area for a second layer, enlarged back, and the
// round trip is measured. Shows Init, Process with caller- and library-owned
// destinations, GetOption and the log callback.
//
//   convert_scale [WIDTHxHEIGHT]
#include <ravvel.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Log(void*, RL_ETraceLevel level, const char* line)
{
    if (level <= RL_TRACE_WARNING) std::fprintf(stderr, "%s\n", line);
}

// Describes a tightly packed I420 picture inside `buffer`.
SRLPictureInfo DescribeI420(std::vector<uint8_t>& buffer, int w, int h)
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof p);
    buffer.assign(static_cast<size_t>(w) * h * 3 / 2, 0);
    p.pData[0] = buffer.data();
    p.pData[1] = p.pData[0] + static_cast<size_t>(w) * h;
    p.pData[2] = p.pData[1] + static_cast<size_t>(w / 2) * (h / 2);
    p.iStride[0] = w;
    p.iStride[1] = p.iStride[2] = w / 2;
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = RL_FORMAT_I420;
    return p;
}

double LumaPsnr(const SRLPictureInfo& a, const SRLPictureInfo& b)
{
    double sum = 0;
    for (int y = 0; y < a.iHeight; ++y)
        for (int x = 0; x < a.iWidth; ++x) {
            const double d = a.pData[0][y * a.iStride[0] + x] - b.pData[0][y * b.iStride[0] + x];
            sum += d * d;
        }
    const double mse = sum / (static_cast<double>(a.iWidth) * a.iHeight);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

int Fail(const char* what, int32_t rc)
{
    std::fprintf(stderr, "convert_scale: %s failed with %d\n", what, rc);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    int w = 640, h = 360;
    if (argc > 1 && (std::sscanf(argv[1], "%dx%d", &w, &h) != 2 || w < 8 || h < 8 || w % 4 || h % 4)) {
        std::fprintf(stderr, "usage: convert_scale [WIDTHxHEIGHT] (multiples of 4)\n");
        return 2;
    }

    IRavvel* rl = nullptr;
    if (CreateRavvel(&rl) != RL_OK) return Fail("CreateRavvel", -1);
    RLLogCallbackFunc log = &Log;
    rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &log);

    // The camera frame: packed RGB with smooth gradients.
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            px[0] = static_cast<uint8_t>(x * 255 / (w - 1));
            px[1] = static_cast<uint8_t>(y * 255 / (h - 1));
            px[2] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.05));
        }
    SRLPictureInfo camera;
    std::memset(&camera, 0, sizeof camera);
    camera.pData[0] = rgb.data();
    camera.iStride[0] = w * 3;
    camera.iWidth = w;
    camera.iHeight = h;
    camera.eFormat = RL_FORMAT_RGB24;

    // 1. RGB to I420 into our own buffer.
    std::vector<uint8_t> yuvBuffer, bigBuffer;
    SRLPictureInfo yuv = DescribeI420(yuvBuffer, w, h);
    int32_t rc = rl->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false);
    if (rc == RL_OK) rc = rl->Process(RL_METHOD_COLOR_SPACE_CONVERT, &camera, &yuv, nullptr);
    if (rc != RL_OK) return Fail("colour conversion", rc);

    // 2. Half size in each direction. Init's flag false: the library owns the
    // output and points our descriptor at it until the next call.
    SRLPictureInfo small;
    std::memset(&small, 0, sizeof small);
    small.iWidth = w / 2;
    small.iHeight = h / 2;
    small.eFormat = RL_FORMAT_I420;
    rc = rl->Init(RL_METHOD_DOWNSAMPLING, nullptr, false);
    if (rc == RL_OK) rc = rl->Process(RL_METHOD_DOWNSAMPLING, &yuv, &small, nullptr);
    if (rc != RL_OK) return Fail("downsampling", rc);

    // 3. Back to full size into our buffer, bilinear.
    SRLPictureInfo big = DescribeI420(bigBuffer, w, h);
    SRLUpsampleConfig up = {RL_FILTER_BILINEAR};
    rc = rl->Init(RL_METHOD_UPSAMPLING, &up, false);
    if (rc == RL_OK) rc = rl->Process(RL_METHOD_UPSAMPLING, &small, &big, nullptr);
    if (rc != RL_OK) return Fail("upsampling", rc);

    double us = 0;
    rl->GetOption(RL_METHOD_DOWNSAMPLING, RL_OPTION_AVERAGE_TIME, &us);
    std::printf("%dx%d RGB -> I420 -> %dx%d -> %dx%d: luma PSNR of the round trip %.2f dB, downsampling %.0f us\n",
                w, h, small.iWidth, small.iHeight, big.iWidth, big.iHeight, LumaPsnr(yuv, big), us);
    DestroyRavvel(rl);
    return 0;
}
