// An analysis loop: reads a 4:2:0 Y4M file (or standard input) and prints,
// for every frame, the scene-change level and the ratio of changed blocks
// against the frame before.
//
//   analyse_y4m clip.y4m        ffmpeg -i clip.mp4 -f yuv4mpegpipe - | analyse_y4m -
#include <ravvel.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Width and height from the stream header; only 4:2:0 streams are accepted.
bool ReadHeader(FILE* f, int* w, int* h)
{
    char line[512];
    if (!std::fgets(line, sizeof line, f) || std::strncmp(line, "YUV4MPEG2 ", 10) != 0) return false;
    *w = *h = 0;
    for (char* tok = std::strtok(line + 10, " \n"); tok; tok = std::strtok(nullptr, " \n")) {
        if (tok[0] == 'W') *w = std::atoi(tok + 1);
        if (tok[0] == 'H') *h = std::atoi(tok + 1);
        if (tok[0] == 'C' && std::strncmp(tok + 1, "420", 3) != 0) return false;
    }
    return *w > 0 && *h > 0 && *w % 2 == 0 && *h % 2 == 0;
}

bool ReadFrame(FILE* f, std::vector<uint8_t>& frame)
{
    char line[256];
    if (!std::fgets(line, sizeof line, f) || std::strncmp(line, "FRAME", 5) != 0) return false;
    return std::fread(frame.data(), 1, frame.size(), f) == frame.size();
}

SRLPictureInfo Describe(std::vector<uint8_t>& frame, int w, int h)
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof p);
    p.pData[0] = frame.data();
    p.pData[1] = p.pData[0] + static_cast<size_t>(w) * h;
    p.pData[2] = p.pData[1] + static_cast<size_t>(w / 2) * (h / 2);
    p.iStride[0] = w;
    p.iStride[1] = p.iStride[2] = w / 2;
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = RL_FORMAT_I420;
    return p;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: analyse_y4m IN.y4m (or - for standard input)\n");
        return 2;
    }
    FILE* f = std::strcmp(argv[1], "-") == 0 ? stdin : std::fopen(argv[1], "rb");
    int w = 0, h = 0;
    if (!f || !ReadHeader(f, &w, &h)) {
        std::fprintf(stderr, "analyse_y4m: %s is not a 4:2:0 Y4M stream\n", argv[1]);
        return 1;
    }
    IRavvel* rl = nullptr;
    if (CreateRavvel(&rl) != RL_OK) return 1;
    const int32_t rc = rl->Init(RL_METHOD_SCENE_CHANGE_DETECTION, nullptr, false);
    if (rc != RL_OK) {
        std::fprintf(stderr, "analyse_y4m: scene-change detection is not available (%d)\n", rc);
        DestroyRavvel(rl);
        return 3;
    }
    const size_t bytes = static_cast<size_t>(w) * h * 3 / 2;
    std::vector<uint8_t> current(bytes), previous(bytes);
    int frames = 0, cuts = 0;
    while (ReadFrame(f, current)) {
        if (frames == 0) previous = current;
        SRLPictureInfo cur = Describe(current, w, h), prev = Describe(previous, w, h);
        // The current frame is the source, the reference goes where the destination would.
        if (rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, &cur, &prev, nullptr) != RL_OK) break;
        int32_t level = 0;
        float ratio = 0;
        rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_LEVEL, &level);
        rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_RATIO, &ratio);
        std::printf("frame %d: level %d, %.1f %% of the blocks changed%s\n", frames, level, ratio * 100.0,
                    level >= 2 ? "  <- cut" : "");
        cuts += level >= 2;
        current.swap(previous);
        ++frames;
    }
    std::printf("%d frames, %d cuts\n", frames, cuts);
    DestroyRavvel(rl);
    if (f != stdin) std::fclose(f);
    return 0;
}
