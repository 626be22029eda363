// Presented frames to a video: H.264 in .mp4 or .mkv through FFmpeg's libraries (libavformat,
// libavcodec, libswscale), or uncompressed YUV4MPEG2 (.y4m, or "-" for standard output) written
// here without a library. A file replaces what is at its path only once it is complete.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

enum class VideoFormat { Unknown, Y4m, Y4mToStandardOutput, Mp4, Mkv };

// The format a --record path asks for: "-", or the extension .y4m, .mp4 or .mkv in any case.
VideoFormat VideoFormatOf(const std::string& path);

struct FrameRate {
    unsigned num, den;  // frames per second as num / den, in lowest terms
};
// 1 / fixedStep for a deterministic run, a whole number when it is within half a percent of one
// (a step of 0.0333 records at 30); 60 in real time (fixedStep 0).
FrameRate VideoFrameRate(double fixedStep);

// BT.601 studio-range 4:2:0 planes of a 0xFFRRGGBB picture: Y, then Cb and Cr at half the width
// and height, rounded up; each chroma sample is taken from the 2 x 2 pixels' average colour.
// The conversion the YUV4MPEG2 files carry.
void ToYuv420(const DWORD* pixels, UINT width, UINT height, std::vector<unsigned char>* planes);

// What encodes one video: headers once the first frame's size is known, then frames of that
// size, then the end. Messages in *error say why without the path.
class VideoEncoder {
public:
    virtual ~VideoEncoder() = default;
    virtual bool Begin(UINT width, UINT height, FrameRate rate, std::string* error) = 0;
    virtual bool Write(const DWORD* pixels, std::string* error) = 0;
    virtual bool End(std::string* error) = 0;
};

class VideoRecorder {
public:
    VideoRecorder() = default;
    // A recording that was not finished leaves nothing under its path.
    ~VideoRecorder();
    VideoRecorder(const VideoRecorder&) = delete;
    VideoRecorder& operator=(const VideoRecorder&) = delete;

    // Starts a recording at path (its format from VideoFormatOf) at VideoFrameRate(fixedStep).
    // A file is made beside the target at once, so an unwritable folder fails here; false
    // with *error.
    bool Open(const std::string& path, double fixedStep, std::string* error);

    // One presented frame, 0xFFRRGGBB rows top-down, on screen from `seconds` (any clock's,
    // rising). With a fixed step every frame is one frame of the video and `seconds` is not
    // read; in real time frames are repeated or dropped so that the video keeps time. A frame of
    // another size than the first is scaled to fit it, its aspect kept, on black. False with
    // *error on a write error: the recording then stops and its file is removed.
    bool AddFrame(const DWORD* pixels, UINT width, UINT height, double seconds, std::string* error);

    // Writes the frame still held, ends the video and renames the file to its path. False with
    // *error (the file removed). A recording without any frame writes nothing and fails.
    bool Finish(std::string* error);

    // Stops without finishing: the file being written is removed.
    void Abandon();
    bool Recording() const { return encoder != nullptr; }
    unsigned FramesWritten() const { return written; }

private:
    bool WriteFrame(const DWORD* pixels, std::string* error);
    bool Fail();  // abandons the recording

    std::unique_ptr<VideoEncoder> encoder;
    std::string path, temp;  // temp: the file being written; empty for standard output
    FrameRate rate{60, 1};
    bool realTime = true;
    bool begun = false;          // the encoder has its size
    UINT width = 0, height = 0;  // the video's, from the first frame
    std::vector<DWORD> fitted;   // a frame of another size, scaled to the video's
    // Real time: the latest frame, not yet written, and the video frame it falls on.
    std::vector<DWORD> held;
    bool holding = false;
    double firstSeconds = 0.0;
    unsigned written = 0;
};
