// YUV4MPEG2 (4:2:0 only) reading and writing for the ravvel tool.
//
// The reader is deliberately strict: a file that another tool would have to
// guess about is refused with one line that names the file and, for frame
// data, the frame number.
#ifndef RAVVEL_TOOLS_Y4M_H
#define RAVVEL_TOOLS_Y4M_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "image.h"

namespace rvtool {

struct Y4MHeader {
    int width = 0;
    int height = 0;
    int fpsNum = 25;  // F absent: 25 fps, what most readers assume
    int fpsDen = 1;
    int aspectNum = 0;  // 0:0 = unknown
    int aspectDen = 0;
    char interlace = 'p';
    std::string colour = "420jpeg";  // C absent means 420jpeg
};

// Largest side accepted; keeps width * height * 3 / 2 far from overflow.
constexpr int kY4MMaxSide = 16384;

// Parses the stream header line (without the trailing newline) into `out`.
// Returns an empty string on success, else the reason.
std::string ParseY4MHeaderLine(const std::string& line, Y4MHeader* out);

// Bytes of one 4:2:0 frame of the given size.
size_t Y4MFrameBytes(int width, int height);

class Y4MReader {
public:
    Y4MReader() = default;
    ~Y4MReader();
    Y4MReader(const Y4MReader&) = delete;
    Y4MReader& operator=(const Y4MReader&) = delete;

    // "-" reads standard input. Reads and checks the stream header.
    bool Open(const std::string& path);
    // Takes a stream the caller opened (the reader closes it); `name` is used in messages.
    bool Open(FILE* stream, const std::string& name);

    // 1: a frame was read into `frame` (reallocated to the stream's size);
    // 0: clean end of stream; -1: error (see Error()).
    int ReadFrame(I420Image* frame);

    const Y4MHeader& Header() const { return m_header; }
    const std::string& Error() const { return m_error; }
    int FramesRead() const { return m_frames; }

private:
    bool Fail(const std::string& what);
    bool ReadLine(std::string* line, size_t limit, bool* atEof);

    FILE* m_file = nullptr;
    bool m_ownsFile = false;
    std::string m_name;
    Y4MHeader m_header;
    std::string m_error;
    int m_frames = 0;
};

class Y4MWriter {
public:
    Y4MWriter() = default;
    ~Y4MWriter();
    Y4MWriter(const Y4MWriter&) = delete;
    Y4MWriter& operator=(const Y4MWriter&) = delete;

    // "-" writes to standard output. The header is written with the first frame,
    // whose size becomes the stream's size.
    bool Open(const std::string& path, const Y4MHeader& timing);
    bool WriteFrame(const I420Image& frame);
    bool Close();

    const std::string& Error() const { return m_error; }
    // The last failure was the reader of our pipe going away.
    bool PipeClosed() const { return m_pipeClosed; }
    int FramesWritten() const { return m_frames; }

private:
    bool Fail(const std::string& what);
    bool FailWrite();
    void WriteHeader();

    FILE* m_file = nullptr;
    bool m_ownsFile = false;
    std::string m_name;
    Y4MHeader m_header;
    bool m_headerWritten = false;
    int m_frames = 0;
    bool m_pipeClosed = false;
    std::string m_error;
};

}  // namespace rvtool

#endif
