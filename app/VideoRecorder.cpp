// The recorder keeps time (frames repeated or dropped in real time, one per frame with a fixed
// step) and fits frames to the first one's size; two encoders behind one interface write the
// file: YUV4MPEG2 by hand, H.264 through FFmpeg.
//
// Index: [SECTION] Formats and rates, [SECTION] YUV4MPEG2, [SECTION] H.264 through FFmpeg,
//        [SECTION] Recorder
#include "app/VideoRecorder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>

#include "app/Screenshot.h"

// [SECTION] Formats and rates
VideoFormat VideoFormatOf(const std::string& path) {
    if (path == "-") return VideoFormat::Y4mToStandardOutput;
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return VideoFormat::Unknown;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension == "y4m") return VideoFormat::Y4m;
    if (extension == "mp4") return VideoFormat::Mp4;
    if (extension == "mkv") return VideoFormat::Mkv;
    return VideoFormat::Unknown;
}

FrameRate VideoFrameRate(double fixedStep) {
    if (!(fixedStep > 0.0)) return FrameRate{60, 1};
    const double perSecond = 1.0 / fixedStep;
    const double whole = std::round(perSecond);
    if (whole >= 1.0 && std::fabs(perSecond - whole) <= whole * 0.005) return FrameRate{static_cast<unsigned>(whole), 1};
    // Microseconds per frame: the step as the command line can give it (at most 60 seconds).
    const unsigned micro = static_cast<unsigned>(std::max(1.0, std::round(fixedStep * 1e6)));
    const unsigned divisor = std::gcd(1000000u, micro);
    return FrameRate{1000000u / divisor, micro / divisor};
}

// [SECTION] YUV4MPEG2
namespace {

unsigned char Luma(int r, int g, int b) { return static_cast<unsigned char>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }
unsigned char BlueDifference(int r, int g, int b) {
    return static_cast<unsigned char>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
unsigned char RedDifference(int r, int g, int b) {
    return static_cast<unsigned char>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

}  // namespace

void ToYuv420(const DWORD* pixels, UINT width, UINT height, std::vector<unsigned char>* planes) {
    const size_t lumaSize = static_cast<size_t>(width) * height;
    const UINT cw = (width + 1) / 2, ch = (height + 1) / 2;
    const size_t chromaSize = static_cast<size_t>(cw) * ch;
    planes->resize(lumaSize + 2 * chromaSize);
    unsigned char* y = planes->data();
    unsigned char* cb = y + lumaSize;
    unsigned char* cr = cb + chromaSize;
    auto channel = [](DWORD p, int shift) { return static_cast<int>((p >> shift) & 0xFF); };
    for (size_t i = 0; i < lumaSize; ++i)
        y[i] = Luma(channel(pixels[i], 16), channel(pixels[i], 8), channel(pixels[i], 0));
    for (UINT cy = 0; cy < ch; ++cy)
        for (UINT cx = 0; cx < cw; ++cx) {
            // The 2 x 2 block, fewer at an odd picture's right and bottom edges.
            int r = 0, g = 0, b = 0, n = 0;
            for (UINT py = cy * 2; py < std::min(height, cy * 2 + 2); ++py)
                for (UINT px = cx * 2; px < std::min(width, cx * 2 + 2); ++px) {
                    const DWORD p = pixels[static_cast<size_t>(py) * width + px];
                    r += channel(p, 16);
                    g += channel(p, 8);
                    b += channel(p, 0);
                    ++n;
                }
            r = (r + n / 2) / n;
            g = (g + n / 2) / n;
            b = (b + n / 2) / n;
            cb[static_cast<size_t>(cy) * cw + cx] = BlueDifference(r, g, b);
            cr[static_cast<size_t>(cy) * cw + cx] = RedDifference(r, g, b);
        }
}

namespace {

std::string SystemError(int code) { return code ? std::strerror(code) : "the write failed"; }

class Y4mEncoder : public VideoEncoder {
public:
    // out: an open file (closed by End) or standard output (flushed by End, left open).
    explicit Y4mEncoder(FILE* out) : out(out) {}
    ~Y4mEncoder() override {
        if (out && out != stdout) std::fclose(out);
    }

    bool Begin(UINT w, UINT h, FrameRate rate, std::string* error) override {
        width = w;
        height = h;
        // C420jpeg: 4:2:0 with the chroma sample centred in its 2 x 2 block, as ToYuv420 takes it.
        char header[128];
        int n = std::snprintf(header, sizeof header, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 C420jpeg\n", w, h, rate.num,
                              rate.den);
        return Put(header, static_cast<size_t>(n), error);
    }

    bool Write(const DWORD* pixels, std::string* error) override {
        ToYuv420(pixels, width, height, &planes);
        return Put("FRAME\n", 6, error) && Put(planes.data(), planes.size(), error);
    }

    bool End(std::string* error) override {
        FILE* f = out;
        out = nullptr;
        errno = 0;
        const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
        const int code = errno;
        const bool closed = f == stdout || std::fclose(f) == 0;
        if (flushed && closed) return true;
        *error = SystemError(code ? code : errno);
        return false;
    }

private:
    bool Put(const void* data, size_t size, std::string* error) {
        errno = 0;
        if (std::fwrite(data, 1, size, out) == size) return true;
        *error = SystemError(errno);
        // Said once here: standard output's own check at the end would say it again.
        if (out == stdout) std::clearerr(out);
        return false;
    }

    FILE* out;
    UINT width = 0, height = 0;
    std::vector<unsigned char> planes;
};

// [SECTION] H.264 through FFmpeg
std::string LibraryError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class H264Encoder : public VideoEncoder {
public:
    // container: the muxer's name ("mp4", "matroska"); file: where the bytes go.
    H264Encoder(const char* container, std::string file) : container(container), file(std::move(file)) {}
    ~H264Encoder() override { Close(); }

    bool Begin(UINT w, UINT h, FrameRate rate, std::string* error) override {
        // The library's own lines (the encoder's settings, say) are not the program's to show.
        av_log_set_level(AV_LOG_ERROR);
        width = w;
        height = h;
        // 4:2:0 needs even sides: an odd picture is padded by repeating its last column or row.
        const int ew = static_cast<int>((w + 1) & ~1u), eh = static_cast<int>((h + 1) & ~1u);
        int code = avformat_alloc_output_context2(&format, nullptr, container, nullptr);
        if (code < 0 || !format) return Failed("the container cannot be made: ", code, error);
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!codec) {
            *error = "FFmpeg's libraries here have no H.264 encoder";
            return false;
        }
        stream = avformat_new_stream(format, nullptr);
        codecContext = avcodec_alloc_context3(codec);
        if (!stream || !codecContext) return Failed("", AVERROR(ENOMEM), error);
        codecContext->width = ew;
        codecContext->height = eh;
        codecContext->pix_fmt = AV_PIX_FMT_YUV420P;
        codecContext->time_base = AVRational{static_cast<int>(rate.den), static_cast<int>(rate.num)};
        codecContext->framerate = AVRational{static_cast<int>(rate.num), static_cast<int>(rate.den)};
        codecContext->color_range = AVCOL_RANGE_MPEG;
        codecContext->colorspace = AVCOL_SPC_SMPTE170M;
        codecContext->color_primaries = AVCOL_PRI_SMPTE170M;
        codecContext->color_trc = AVCOL_TRC_SMPTE170M;
        if (format->oformat->flags & AVFMT_GLOBALHEADER) codecContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "preset", "fast", 0);
        av_dict_set(&options, "crf", "18", 0);
        code = avcodec_open2(codecContext, codec, &options);
        av_dict_free(&options);
        if (code < 0) return Failed("the H.264 encoder does not start: ", code, error);
        code = avcodec_parameters_from_context(stream->codecpar, codecContext);
        if (code < 0) return Failed("", code, error);
        stream->time_base = codecContext->time_base;
        stream->avg_frame_rate = codecContext->framerate;
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!frame || !packet) return Failed("", AVERROR(ENOMEM), error);
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = ew;
        frame->height = eh;
        if ((code = av_frame_get_buffer(frame, 0)) < 0) return Failed("", code, error);
        scaler = sws_getContext(ew, eh, AV_PIX_FMT_BGR0, ew, eh, AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND,
                                nullptr, nullptr, nullptr);
        if (!scaler) {
            *error = "the colour conversion cannot be made";
            return false;
        }
        padded.resize(static_cast<size_t>(ew) * eh);
        if ((code = avio_open(&format->pb, file.c_str(), AVIO_FLAG_WRITE)) < 0) return Failed("", code, error);
        if ((code = avformat_write_header(format, nullptr)) < 0) return Failed("", code, error);
        return true;
    }

    bool Write(const DWORD* pixels, std::string* error) override {
        const UINT ew = static_cast<UINT>(codecContext->width), eh = static_cast<UINT>(codecContext->height);
        for (UINT y = 0; y < eh; ++y) {
            const DWORD* row = pixels + static_cast<size_t>(std::min(y, height - 1)) * width;
            DWORD* to = padded.data() + static_cast<size_t>(y) * ew;
            std::copy(row, row + width, to);
            if (ew > width) to[width] = row[width - 1];
        }
        int code = av_frame_make_writable(frame);
        if (code < 0) return Failed("", code, error);
        const uint8_t* source[1] = {reinterpret_cast<const uint8_t*>(padded.data())};
        const int stride[1] = {static_cast<int>(ew * 4)};
        sws_scale(scaler, source, stride, 0, static_cast<int>(eh), frame->data, frame->linesize);
        frame->pts = nextPts++;
        return Send(frame, error);
    }

    bool End(std::string* error) override {
        if (!Send(nullptr, error)) return false;
        int code = av_write_trailer(format);
        if (code < 0 || format->pb->error < 0) return Failed("", code < 0 ? code : format->pb->error, error);
        code = avio_closep(&format->pb);
        if (code < 0) return Failed("", code, error);
        return true;
    }

private:
    bool Failed(const char* what, int code, std::string* error) {
        *error = what + LibraryError(code);
        return false;
    }

    // Gives the encoder a frame (null: the end) and writes every packet it has ready.
    bool Send(AVFrame* picture, std::string* error) {
        int code = avcodec_send_frame(codecContext, picture);
        if (code < 0) return Failed("", code, error);
        for (;;) {
            code = avcodec_receive_packet(codecContext, packet);
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) break;
            if (code < 0) return Failed("", code, error);
            av_packet_rescale_ts(packet, codecContext->time_base, stream->time_base);
            packet->stream_index = stream->index;
            code = av_interleaved_write_frame(format, packet);
            if (code < 0) return Failed("", code, error);
        }
        // A full disk shows in the output's error before a write call reports it.
        if (format->pb->error < 0) return Failed("", format->pb->error, error);
        return true;
    }

    void Close() {
        sws_freeContext(scaler);
        scaler = nullptr;
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codecContext);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
            format = nullptr;
        }
    }

    const char* container;
    std::string file;
    UINT width = 0, height = 0;  // the pictures given; the encoder's may be one larger
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr;  // owned by format
    AVCodecContext* codecContext = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    std::vector<DWORD> padded;
    int64_t nextPts = 0;
};

// Scales a picture into width x height with its aspect kept, centred on black (nearest pixel).
void FitInto(const DWORD* pixels, UINT w, UINT h, UINT width, UINT height, std::vector<DWORD>* out) {
    out->assign(static_cast<size_t>(width) * height, 0xFF000000u);
    UINT fitW = width, fitH = static_cast<UINT>(static_cast<unsigned long long>(h) * width / w);
    if (fitH > height) {
        fitH = height;
        fitW = static_cast<UINT>(static_cast<unsigned long long>(w) * height / h);
    }
    fitW = std::max(fitW, 1u);
    fitH = std::max(fitH, 1u);
    const UINT left = (width - fitW) / 2, top = (height - fitH) / 2;
    for (UINT y = 0; y < fitH; ++y) {
        const DWORD* row = pixels + static_cast<size_t>(static_cast<unsigned long long>(y) * h / fitH) * w;
        DWORD* to = out->data() + static_cast<size_t>(top + y) * width + left;
        for (UINT x = 0; x < fitW; ++x) to[x] = row[static_cast<unsigned long long>(x) * w / fitW];
    }
}

}  // namespace

// [SECTION] Recorder
VideoRecorder::~VideoRecorder() { Abandon(); }

void VideoRecorder::Abandon() {
    encoder.reset();
    if (!temp.empty()) AbandonReplacement(temp);
    temp.clear();
}

bool VideoRecorder::Fail() {
    Abandon();
    return false;
}

bool VideoRecorder::Open(const std::string& target, double fixedStep, std::string* error) {
    Abandon();
    const VideoFormat format = VideoFormatOf(target);
    if (format == VideoFormat::Unknown) {
        *error = "a video is .mp4, .mkv or .y4m (or - for YUV4MPEG2 on standard output)";
        return false;
    }
    path = target;
    rate = VideoFrameRate(fixedStep);
    realTime = !(fixedStep > 0.0);
    begun = holding = false;
    written = 0;
    if (format == VideoFormat::Y4mToStandardOutput) {
        encoder = std::make_unique<Y4mEncoder>(stdout);
        return true;
    }
    if (!BeginReplacement(path, &temp, error)) return false;
    if (format == VideoFormat::Y4m) {
        FILE* out = std::fopen(temp.c_str(), "wb");
        if (!out) {
            *error = SystemError(errno);
            return Fail();
        }
        encoder = std::make_unique<Y4mEncoder>(out);
    } else {
        encoder = std::make_unique<H264Encoder>(format == VideoFormat::Mp4 ? "mp4" : "matroska", temp);
    }
    return true;
}

bool VideoRecorder::WriteFrame(const DWORD* pixels, std::string* error) {
    if (!encoder->Write(pixels, error)) return Fail();
    ++written;
    return true;
}

bool VideoRecorder::AddFrame(const DWORD* pixels, UINT w, UINT h, double seconds, std::string* error) {
    if (!encoder) {
        *error = "the recording has stopped";
        return false;
    }
    if (!pixels || w == 0 || h == 0) return true;  // nothing was presented: nothing to show
    if (!begun) {
        width = w;
        height = h;
        if (!encoder->Begin(w, h, rate, error)) return Fail();
        begun = true;
        firstSeconds = seconds;
    }
    if (w != width || h != height) {
        FitInto(pixels, w, h, width, height, &fitted);
        pixels = fitted.data();
    }
    if (!realTime) return WriteFrame(pixels, error);

    // The video frame this picture falls on; the one held until now fills every frame before.
    const double since = std::max(0.0, seconds - firstSeconds);
    const auto slot = static_cast<unsigned long long>(since * rate.num / rate.den);
    if (holding)
        while (written < slot)
            if (!WriteFrame(held.data(), error)) return false;
    // A picture that arrives within a frame already written replaces the one held (dropped).
    held.assign(pixels, pixels + static_cast<size_t>(width) * height);
    holding = true;
    return true;
}

bool VideoRecorder::Finish(std::string* error) {
    if (!encoder) {
        *error = "the recording has stopped";
        return false;
    }
    if (holding && !WriteFrame(held.data(), error)) return false;
    holding = false;
    if (!begun) {
        *error = "no frame was presented";
        return Fail();
    }
    if (!encoder->End(error)) return Fail();
    encoder.reset();
    if (temp.empty()) return true;
    const std::string done = temp;
    temp.clear();
    return CompleteReplacement(done, path, error);
}
