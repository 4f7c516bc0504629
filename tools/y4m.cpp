#include "y4m.h"

#include <cerrno>
#include <cstring>

namespace rvtool {

namespace {

const char kMagic[] = "YUV4MPEG2";
// Stream and frame header lines longer than this are not Y4M but garbage.
constexpr size_t kMaxHeaderLine = 1024;

// Strict unsigned decimal: digits only, no sign, no overflow past `limit`.
bool ParseCount(const std::string& s, long limit, long* out)
{
    if (s.empty() || s.size() > 10) return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > limit) return false;
    *out = v;
    return true;
}

bool ParseRatio(const std::string& s, int* num, int* den)
{
    const size_t colon = s.find(':');
    if (colon == std::string::npos) return false;
    long n = 0, d = 0;
    if (!ParseCount(s.substr(0, colon), 0x7fffffffL, &n) || !ParseCount(s.substr(colon + 1), 0x7fffffffL, &d))
        return false;
    *num = static_cast<int>(n);
    *den = static_cast<int>(d);
    return true;
}

}  // namespace

std::string ParseY4MHeaderLine(const std::string& line, Y4MHeader* out)
{
    Y4MHeader h;
    if (line.compare(0, sizeof(kMagic) - 1, kMagic) != 0) return "not a YUV4MPEG2 file (bad signature)";
    size_t pos = sizeof(kMagic) - 1;
    if (pos < line.size() && line[pos] != ' ') return "not a YUV4MPEG2 file (bad signature)";
    bool seenW = false, seenH = false, seenF = false, seenA = false, seenI = false, seenC = false;
    while (pos < line.size()) {
        if (line[pos] != ' ') return "malformed header";
        ++pos;
        if (pos >= line.size()) return "trailing space in header";
        const size_t end = line.find(' ', pos);
        const std::string tok = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? line.size() : end;
        if (tok.empty()) return "empty header field (double space)";
        const char tag = tok[0];
        const std::string val = tok.substr(1);
        long n = 0;
        switch (tag) {
        case 'W':
        case 'H': {
            bool& seen = tag == 'W' ? seenW : seenH;
            if (seen) return std::string("duplicate ") + tag + " field";
            seen = true;
            if (!ParseCount(val, kY4MMaxSide, &n) || n == 0)
                return std::string("bad ") + (tag == 'W' ? "width" : "height") + " '" + val + "' (1.." +
                       std::to_string(kY4MMaxSide) + ")";
            (tag == 'W' ? h.width : h.height) = static_cast<int>(n);
            break;
        }
        case 'F':
            if (seenF) return "duplicate F field";
            seenF = true;
            if (!ParseRatio(val, &h.fpsNum, &h.fpsDen) || h.fpsNum == 0 || h.fpsDen == 0)
                return "bad frame rate '" + val + "'";
            break;
        case 'A':
            if (seenA) return "duplicate A field";
            seenA = true;
            if (!ParseRatio(val, &h.aspectNum, &h.aspectDen) || ((h.aspectNum == 0) != (h.aspectDen == 0)))
                return "bad pixel aspect '" + val + "'";
            break;
        case 'I':
            if (seenI) return "duplicate I field";
            seenI = true;
            if (val.size() != 1 || std::strchr("ptbm?", val[0]) == nullptr) return "bad interlace mode '" + val + "'";
            h.interlace = val[0];
            break;
        case 'C':
            if (seenC) return "duplicate C field";
            seenC = true;
            if (val != "420" && val != "420jpeg" && val != "420paldv" && val != "420mpeg2")
                return "unsupported colour space C" + val + " (only 4:2:0 8-bit)";
            h.colour = val;
            break;
        case 'X':
            break;  // comments and extensions carry nothing we need
        default:
            return std::string("unknown header field '") + tag + "'";
        }
    }
    if (!seenW) return "missing width (W)";
    if (!seenH) return "missing height (H)";
    *out = h;
    return std::string();
}

size_t Y4MFrameBytes(int width, int height)
{
    const size_t luma = static_cast<size_t>(width) * height;
    const size_t chroma = static_cast<size_t>(I420Image::ChromaWidth(width)) * I420Image::ChromaHeight(height);
    return luma + 2 * chroma;
}

// ---- reader ----

Y4MReader::~Y4MReader()
{
    if (m_file && m_ownsFile) std::fclose(m_file);
}

bool Y4MReader::Fail(const std::string& what)
{
    m_error = m_name + ": " + what;
    return false;
}

// Reads up to '\n' (not stored). Fails on a line longer than `limit`.
bool Y4MReader::ReadLine(std::string* line, size_t limit, bool* atEof)
{
    line->clear();
    *atEof = false;
    for (;;) {
        const int c = std::fgetc(m_file);
        if (c == EOF) {
            *atEof = true;
            return false;
        }
        if (c == '\n') return true;
        if (c == '\0' || line->size() >= limit) return false;
        line->push_back(static_cast<char>(c));
    }
}

bool Y4MReader::Open(const std::string& path)
{
    if (path == "-") {
        const bool ok = Open(stdin, "<stdin>");
        m_ownsFile = false;
        return ok;
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    m_name = path;
    if (f == nullptr) return Fail(std::strerror(errno));
    return Open(f, path);
}

bool Y4MReader::Open(FILE* stream, const std::string& name)
{
    m_file = stream;
    m_ownsFile = true;
    m_name = name;
    m_frames = 0;
    std::string line;
    bool eof = false;
    if (!ReadLine(&line, kMaxHeaderLine, &eof)) {
        if (eof && line.empty()) return Fail("empty file, no YUV4MPEG2 header");
        if (eof) return Fail("header is not terminated by a newline");
        return Fail("header line too long or contains a NUL byte");
    }
    const std::string why = ParseY4MHeaderLine(line, &m_header);
    if (!why.empty()) return Fail("bad header: " + why);
    return true;
}

int Y4MReader::ReadFrame(I420Image* frame)
{
    if (m_file == nullptr) {
        Fail("not open");
        return -1;
    }
    const int index = m_frames;  // frames are numbered from 0 in messages
    std::string line;
    bool eof = false;
    if (!ReadLine(&line, kMaxHeaderLine, &eof)) {
        if (eof && line.empty()) return 0;
        Fail("frame " + std::to_string(index) + ": " +
             (eof ? std::string("truncated frame header") : std::string("frame header too long")));
        return -1;
    }
    if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' ')) {
        Fail("frame " + std::to_string(index) + ": expected FRAME marker, found '" + line.substr(0, 16) + "'");
        return -1;
    }
    if (frame->width != m_header.width || frame->height != m_header.height || frame->buf.Data() == nullptr) {
        if (!frame->Allocate(m_header.width, m_header.height)) {
            Fail("frame " + std::to_string(index) + ": out of memory");
            return -1;
        }
    }
    const size_t need = frame->PictureBytes();
    size_t got = 0;
    for (int p = 0; p < 3; ++p) {
        const size_t n = std::fread(frame->Plane(p), 1, frame->PlaneBytes(p), m_file);
        got += n;
        if (n != frame->PlaneBytes(p)) break;
    }
    if (got != need) {
        Fail("frame " + std::to_string(index) + ": truncated frame data (" + std::to_string(got) + " of " +
             std::to_string(need) + " bytes)");
        return -1;
    }
    ++m_frames;
    return 1;
}

// ---- writer ----

Y4MWriter::~Y4MWriter()
{
    if (m_file && m_ownsFile) std::fclose(m_file);
}

bool Y4MWriter::Fail(const std::string& what)
{
    m_error = m_name + ": " + what;
    return false;
}

bool Y4MWriter::FailWrite()
{
    const int err = errno;
    m_pipeClosed = err == EPIPE;
    return Fail("write failed: " + std::string(std::strerror(err)));
}

bool Y4MWriter::Open(const std::string& path, const Y4MHeader& timing)
{
    m_name = path == "-" ? "<stdout>" : path;
    m_pipeClosed = false;
    m_header = timing;
    m_headerWritten = false;
    m_frames = 0;
    if (path == "-") {
        m_file = stdout;
        m_ownsFile = false;
        return true;
    }
    m_file = std::fopen(path.c_str(), "wb");
    m_ownsFile = true;
    if (m_file == nullptr) return Fail(std::strerror(errno));
    return true;
}

void Y4MWriter::WriteHeader()
{
    std::fprintf(m_file, "YUV4MPEG2 W%d H%d F%d:%d I%c A%d:%d C%s\n", m_header.width, m_header.height,
                 m_header.fpsNum, m_header.fpsDen, m_header.interlace, m_header.aspectNum, m_header.aspectDen,
                 m_header.colour.c_str());
    m_headerWritten = true;
}

bool Y4MWriter::WriteFrame(const I420Image& frame)
{
    if (m_file == nullptr) return Fail("not open");
    if (!m_headerWritten) {
        m_header.width = frame.width;
        m_header.height = frame.height;
        WriteHeader();
    } else if (frame.width != m_header.width || frame.height != m_header.height) {
        return Fail("frame " + std::to_string(m_frames) + ": size " + std::to_string(frame.width) + "x" +
                    std::to_string(frame.height) + " differs from the stream's " + std::to_string(m_header.width) +
                    "x" + std::to_string(m_header.height));
    }
    if (std::fputs("FRAME\n", m_file) == EOF) return FailWrite();
    for (int p = 0; p < 3; ++p)
        if (std::fwrite(frame.Plane(p), 1, frame.PlaneBytes(p), m_file) != frame.PlaneBytes(p)) return FailWrite();
    ++m_frames;
    return true;
}

bool Y4MWriter::Close()
{
    bool ok = true;
    if (m_file && !m_headerWritten) {
        // No frame at all: still a valid (empty) stream of the size we were given.
        WriteHeader();
    }
    if (m_file) {
        if (std::fflush(m_file) != 0) ok = FailWrite();
        if (m_ownsFile && std::fclose(m_file) != 0 && ok) ok = Fail("close failed: " + std::string(std::strerror(errno)));
    }
    m_file = nullptr;
    return ok;
}

}  // namespace rvtool
