// Scene change on generated clips: shots of camera-like content (smooth
// textures, a moving object, pans, sensor noise) joined by hard cuts,
// including cuts between similar-looking shots, plus fades and flashes.
// Prints the table of levels per kind of frame; checks that every hard cut
// reports at least a medium change and that no frame inside a shot (moving
// textures, pans) reports more than a small one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/scene_change.h"

namespace {

using namespace Ravvel;
using analysis_test::LumaFrame;

constexpr int kW = 320, kH = 184;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Value noise: random levels on a coarse grid, smoothly interpolated, two octaves.
struct Scene {
    uint32_t seed;
    int base;      // mean brightness
    int contrast;  // spread around it
    float Sample(float x, float y) const
    {
        float v = 0.0f, amp = 1.0f, total = 0.0f;
        for (int octave = 0, cell = 48; octave < 2; ++octave, cell /= 3, amp *= 0.4f) {
            const float fx = x / cell, fy = y / cell;
            const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
            const float tx = fx - ix, ty = fy - iy;
            const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
            auto g = [&](int a, int b) { return (Hash(a, b, seed + octave) & 255) / 255.0f; };
            const float top = g(ix, iy) + (g(ix + 1, iy) - g(ix, iy)) * sx;
            const float bottom = g(ix, iy + 1) + (g(ix + 1, iy + 1) - g(ix, iy + 1)) * sx;
            v += amp * (top + (bottom - top) * sy);
            total += amp;
        }
        return base + contrast * (v / total - 0.5f) * 2.0f;
    }
};

enum FrameKind { kCut, kStill, kMoving, kPan, kFade, kFlash, kAfterFlash, kKinds };
const char* const kKindNames[kKinds] = {"hard cut",   "still shot", "moving object", "camera pan",
                                        "fade frame", "flash",      "after flash"};

struct ClipFrame {
    FrameKind kind;
    std::vector<uint8_t> luma;
};

// Renders a scene with the camera at (camX, camY), a textured disc at
// (objX, objY), a gain and sensor noise of +-2.
std::vector<uint8_t> Render(const Scene& s, float camX, float camY, float objX, float objY, float gain, int frame)
{
    std::vector<uint8_t> luma(static_cast<size_t>(kW) * kH);
    const Scene object{s.seed ^ 0x5bd1e995u, 255 - s.base, s.contrast};
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const float dx = x - objX, dy = y - objY;
            float v = dx * dx + dy * dy < 30.0f * 30.0f ? object.Sample(dx + 500, dy + 500) : s.Sample(x + camX, y + camY);
            v = v * gain + static_cast<int>(Hash(x, y, 977u + frame) % 5) - 2;
            luma[static_cast<size_t>(y) * kW + x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    return luma;
}

// Shots of 12 frames: still, with a moving object, or panning; joined by cuts,
// some between shots of the same brightness and texture scale.
std::vector<ClipFrame> MakeClip(uint32_t seed)
{
    std::vector<ClipFrame> clip;
    int frame = 0;
    const Scene first{seed, 128, 60};
    for (int shot = 0; shot < 8; ++shot) {
        // Odd shots look like the previous one: same brightness and contrast.
        const Scene s = shot % 2 ? Scene{seed * 31u + shot, first.base, first.contrast}
                                  : Scene{seed * 17u + shot, 70 + 30 * (shot % 4), 40 + 10 * (shot % 3)};
        const int style = (shot + seed) % 3;  // 0 still, 1 moving object, 2 pan
        const float speed = 1.0f + (seed % 3);
        for (int t = 0; t < 12; ++t, ++frame) {
            const FrameKind kind = t == 0 && shot > 0 ? kCut : style == 0 ? kStill : style == 1 ? kMoving : kPan;
            const float cam = style == 2 ? speed * t : 0.0f;
            const float obj = style == 1 ? 60 + 6 * speed * t : -1000.0f;
            clip.push_back({kind, Render(s, cam, cam * 0.25f, obj, 90, 1.0f, frame)});
        }
        // Between some shots: a flash inside the shot, or a fade through black.
        if (shot == 2) {
            clip.push_back({kFlash, Render(s, 0, 0, -1000, 90, 1.6f, frame++)});
            clip.push_back({kAfterFlash, Render(s, 0, 0, -1000, 90, 1.0f, frame++)});
        }
        if (shot == 5)
            for (int t = 1; t <= 8; ++t) clip.push_back({kFade, Render(s, 0, 0, -1000, 90, 1.0f - t / 8.0f, frame++)});
    }
    return clip;
}

TEST(SceneChangeClips, CutsAreFoundAndShotsStayQuiet)
{
    int table[kKinds][4] = {};
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const std::vector<ClipFrame> clip = MakeClip(seed);
        CSceneChangeDetection m(VeskCPUFeatureDetect(nullptr));
        ASSERT_EQ(m.Init(nullptr, false), RL_OK);
        LumaFrame cur(kW, kH), ref(kW, kH);
        for (size_t i = 1; i < clip.size(); ++i) {
            std::memcpy(cur.Row(0), clip[i].luma.data(), clip[i].luma.size());
            std::memcpy(ref.Row(0), clip[i - 1].luma.data(), clip[i - 1].luma.size());
            ASSERT_EQ(m.Process(cur.Info(), ref.Info(), nullptr), RL_OK);
            int32_t level = -1;
            m.GetOption(RL_OPTION_SCENE_CHANGE_LEVEL, &level);
            ASSERT_GE(level, 0);
            ASSERT_LE(level, 3);
            ++table[clip[i].kind][level];
            if (clip[i].kind == kCut) {
                EXPECT_GE(level, RL_SCENE_CHANGE_MEDIUM) << "seed " << seed << " frame " << i;
            } else if (clip[i].kind == kStill || clip[i].kind == kMoving || clip[i].kind == kPan) {
                EXPECT_LE(level, RL_SCENE_CHANGE_SMALL) << "seed " << seed << " frame " << i;
            }
        }
    }
    std::printf("%-14s %6s %6s %6s %6s\n", "frame", "none", "small", "medium", "large");
    for (int k = 0; k < kKinds; ++k)
        std::printf("%-14s %6d %6d %6d %6d\n", kKindNames[k], table[k][0], table[k][1], table[k][2], table[k][3]);
}

}  // namespace
