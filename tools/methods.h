// The methods the tool can run, one table row each: name, method value,
// Init record builder, options by name, and how a frame is handed over.
#ifndef RAVVEL_TOOLS_METHODS_H
#define RAVVEL_TOOLS_METHODS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "host.h"
#include "image.h"
#include "ravvel.h"

namespace rvtool {

enum class MethodKind { kTransform, kAnalysis };
enum class OptType { kInt, kFloat, kString };

struct OptionInfo {
    const char* name;
    OptType type;
    // Option id applied with SetOption after Init (always, with the default
    // when not given); 0 for a field of the Init record only.
    int32_t setOption;
    const char* def;
    const char* help;
};

class MethodRun;

struct MethodRow {
    const char* name;
    const char* alias;  // may be null
    RL_EMethod method;
    MethodKind kind;
    bool initFlag;
    TierRule tier;
    const char* summary;
    const OptionInfo* options;
    size_t optionCount;
    // Checks sizes and options and fills the Init record; "" or the reason.
    std::string (*prepare)(MethodRun& run);
    // One frame. In-place methods may change `in`; `ref` is the previous input
    // frame (the frame itself for the first one); `out` is resized as needed.
    int32_t (*frame)(MethodRun& run, I420Image& in, const I420Image& ref, I420Image* out);
    // Analysis methods: the result of the last frame as text.
    std::string (*report)(MethodRun& run);
};

const MethodRow* MethodTable(size_t* count);
const MethodRow* FindMethod(const std::string& name);

// One method applied to a stream of frames.
class MethodRun {
public:
    MethodRun(const MethodRow& row, Host* host) : m_row(row), m_host(host) {}

    const MethodRow& Row() const { return m_row; }
    Host& GetHost() { return *m_host; }
    IRavvel* Rl() { return m_host->Rl(); }

    // NAME=VALUE from the command line; "" or the reason it is refused.
    std::string SetParam(const std::string& name, const std::string& value);
    bool Given(const char* name) const { return m_values.count(name) != 0; }
    int Int(const char* name) const;
    float Float(const char* name) const;
    std::string Str(const char* name) const;

    // Input size, and the output size asked for with --size (0 when not given).
    int inWidth = 0, inHeight = 0, reqWidth = 0, reqHeight = 0;

    // prepare, Init, then the SetOption options. "" on success; `missing`
    // tells that this library build has no class for the method.
    std::string Start(bool* missing);

    // Init record storage and per-run scratch for the frame functions.
    alignas(16) unsigned char record[64] = {};
    void* config = nullptr;
    AlignedBuffer alpha;
    AlignedBuffer packed;
    I420Image overlay;
    int viaFormat = 0;
    // Host variable of methods that report through one (motion detection).
    int32_t resultFlag = 0;
    int maskWidth = 0, maskHeight = 0;  // mia: the mask loaded into `alpha`

private:
    const OptionInfo* FindOption(const char* name) const;
    const MethodRow& m_row;
    Host* m_host;
    std::map<std::string, std::string> m_values;
};

// Strict number parsing shared by the commands.
bool ParseInt(const std::string& s, long lo, long hi, int* out);
bool ParseFloat(const std::string& s, float* out);
bool ParseSize(const std::string& s, int* w, int* h);  // "WxH"

}  // namespace rvtool

#endif
