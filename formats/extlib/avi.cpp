// vqavi.so: AVI files on FFmpeg.  Any AVI whose video FFmpeg decodes is
// read frame after frame as RGBA; AVI files are written with uncompressed
// 24-bit frames or MJPEG.  The system loads this library only when it meets
// an AVI file, so that nothing else needs FFmpeg.
#include "formats/extlib/vqavi.h"

#include <cstdio>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// Frames larger than this are refused before anything is allocated.
constexpr long kMaxSide = 32768;

void say(char* error, int size, const char* what, const char* detail = nullptr)
{
    if (!error || size <= 0)
        return;
    if (detail)
        std::snprintf(error, static_cast<size_t>(size), "%s (%s)", what, detail);
    else
        std::snprintf(error, static_cast<size_t>(size), "%s", what);
}

void say_av(char* error, int size, const char* what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    say(error, size, what, text);
}

struct Reader {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    int stream = -1;
    long width = 0, height = 0;
    bool draining = false;

    ~Reader()
    {
        sws_freeContext(sws);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);
    }
};

void* open_read(const char* name, VqAviInfo* info, char* error, int size)
{
    av_log_set_level(AV_LOG_QUIET);
    auto* r = new (std::nothrow) Reader;
    if (!r) {
        say(error, size, "not enough memory");
        return nullptr;
    }
    // Only the AVI demuxer, only local files: a hostile file must not make
    // FFmpeg probe it as a playlist that names other files or addresses.
    const AVInputFormat* avi = av_find_input_format("avi");
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int rc = avi ? avformat_open_input(&r->fmt, name, avi, &options) : AVERROR_DEMUXER_NOT_FOUND;
    av_dict_free(&options);
    if (rc < 0) {
        say_av(error, size, "the file cannot be read as a video", rc);
        delete r;
        return nullptr;
    }
    rc = avformat_find_stream_info(r->fmt, nullptr);
    if (rc < 0) {
        say_av(error, size, "the file's streams cannot be read", rc);
        delete r;
        return nullptr;
    }
    const AVCodec* codec = nullptr;
    rc = av_find_best_stream(r->fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (rc == AVERROR_STREAM_NOT_FOUND) {
        say(error, size, "the file holds no video stream");
        delete r;
        return nullptr;
    }
    if (rc < 0 || !codec) {
        AVCodecID id = AV_CODEC_ID_NONE;
        for (unsigned i = 0; i < r->fmt->nb_streams; ++i)
            if (r->fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
                id = r->fmt->streams[i]->codecpar->codec_id;
        const char* codec_name = avcodec_get_name(id);
        say(error, size, "no decoder for the video's coding", codec_name);
        delete r;
        return nullptr;
    }
    r->stream = rc;
    AVStream* st = r->fmt->streams[rc];
    r->width = st->codecpar->width;
    r->height = st->codecpar->height;
    if (r->width < 1 || r->height < 1 || r->width > kMaxSide || r->height > kMaxSide) {
        char text[64];
        std::snprintf(text, sizeof text, "%ld x %ld", r->width, r->height);
        say(error, size, "the video's frame size cannot be used", text);
        delete r;
        return nullptr;
    }
    r->dec = avcodec_alloc_context3(codec);
    r->frame = av_frame_alloc();
    r->packet = av_packet_alloc();
    if (!r->dec || !r->frame || !r->packet) {
        say(error, size, "not enough memory");
        delete r;
        return nullptr;
    }
    rc = avcodec_parameters_to_context(r->dec, st->codecpar);
    if (rc >= 0)
        rc = avcodec_open2(r->dec, codec, nullptr);
    if (rc < 0) {
        say_av(error, size, "the video's decoder cannot start", rc);
        delete r;
        return nullptr;
    }
    std::memset(info, 0, sizeof *info);
    info->width = r->width;
    info->height = r->height;
    info->frames = st->nb_frames > 0 ? static_cast<long>(st->nb_frames) : 0;
    AVRational rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        info->rate_num = rate.num;
        info->rate_den = rate.den;
    }
    std::snprintf(info->codec, sizeof info->codec, "%s", codec->name);
    return r;
}

int convert(Reader* r, uint8_t* rgba, char* error, int size)
{
    AVFrame* f = r->frame;
    if (f->width != r->width || f->height != r->height) {
        say(error, size, "the video changes its frame size");
        return -1;
    }
    r->sws = sws_getCachedContext(r->sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                  f->height, AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
    if (!r->sws) {
        say(error, size, "the video's pixel format cannot be converted");
        return -1;
    }
    uint8_t* planes[4] = {rgba, nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(r->width * 4), 0, 0, 0};
    sws_scale(r->sws, f->data, f->linesize, 0, f->height, planes, strides);
    // Formats without alpha come out opaque; those with alpha keep theirs.
    return 1;
}

int read_next(void* reader, uint8_t* rgba, char* error, int size)
{
    auto* r = static_cast<Reader*>(reader);
    for (;;) {
        int rc = avcodec_receive_frame(r->dec, r->frame);
        if (rc == 0) {
            int done = convert(r, rgba, error, size);
            av_frame_unref(r->frame);
            return done;
        }
        if (rc == AVERROR_EOF)
            return 0;
        if (rc != AVERROR(EAGAIN)) {
            say_av(error, size, "a frame cannot be decoded", rc);
            return -1;
        }
        if (r->draining)
            return 0;
        rc = av_read_frame(r->fmt, r->packet);
        if (rc < 0) {
            // The end of the file (or a damaged tail): what the decoder holds comes out.
            r->draining = true;
            avcodec_send_packet(r->dec, nullptr);
            continue;
        }
        if (r->packet->stream_index == r->stream) {
            rc = avcodec_send_packet(r->dec, r->packet);
            // A damaged packet is passed over, as players do.
            if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
                av_packet_unref(r->packet);
                say_av(error, size, "a frame cannot be decoded", rc);
                return -1;
            }
        }
        av_packet_unref(r->packet);
    }
}

void close_read(void* reader)
{
    delete static_cast<Reader*>(reader);
}

struct Writer {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* st = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    long width = 0, height = 0;
    int64_t next_pts = 0;
    bool header = false;
    bool opened = false;

    ~Writer()
    {
        sws_freeContext(sws);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&enc);
        if (fmt && opened)
            avio_closep(&fmt->pb);
        avformat_free_context(fmt);
    }
};

// Writes the packets the encoder has ready.
int drain(Writer* w, char* error, int size)
{
    for (;;) {
        int rc = avcodec_receive_packet(w->enc, w->packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return 0;
        if (rc < 0) {
            say_av(error, size, "a frame cannot be encoded", rc);
            return -1;
        }
        av_packet_rescale_ts(w->packet, w->enc->time_base, w->st->time_base);
        w->packet->stream_index = w->st->index;
        rc = av_interleaved_write_frame(w->fmt, w->packet);
        av_packet_unref(w->packet);
        if (rc < 0) {
            say_av(error, size, "the file cannot be written", rc);
            return -1;
        }
    }
}

void* open_write(const char* name, long width, long height, int rate_num, int rate_den, int mjpeg, char* error,
                 int size)
{
    av_log_set_level(AV_LOG_QUIET);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || rate_num < 1 || rate_den < 1) {
        say(error, size, "the frame size or rate cannot be written");
        return nullptr;
    }
    auto* w = new (std::nothrow) Writer;
    if (!w) {
        say(error, size, "not enough memory");
        return nullptr;
    }
    w->width = width;
    w->height = height;
    int rc = avformat_alloc_output_context2(&w->fmt, nullptr, "avi", name);
    const AVCodec* codec = avcodec_find_encoder(mjpeg ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_RAWVIDEO);
    if (rc < 0 || !w->fmt || !codec) {
        say(error, size, mjpeg ? "FFmpeg offers no MJPEG encoder" : "FFmpeg offers no AVI writer");
        delete w;
        return nullptr;
    }
    w->st = avformat_new_stream(w->fmt, nullptr);
    w->enc = avcodec_alloc_context3(codec);
    w->frame = av_frame_alloc();
    w->packet = av_packet_alloc();
    if (!w->st || !w->enc || !w->frame || !w->packet) {
        say(error, size, "not enough memory");
        delete w;
        return nullptr;
    }
    AVCodecContext* enc = w->enc;
    enc->width = static_cast<int>(width);
    enc->height = static_cast<int>(height);
    enc->time_base = AVRational{rate_den, rate_num};
    enc->framerate = AVRational{rate_num, rate_den};
    enc->sample_aspect_ratio = AVRational{1, 1};
    if (mjpeg) {
        // Full-range 4:4:4 at a fine quantiser: the frames stay close to the film's.
        enc->pix_fmt = AV_PIX_FMT_YUVJ444P;
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = FF_QP2LAMBDA * 2;
        enc->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    } else {
        enc->pix_fmt = AV_PIX_FMT_BGR24;
    }
    if (w->fmt->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    rc = avcodec_open2(enc, codec, nullptr);
    if (rc >= 0)
        rc = avcodec_parameters_from_context(w->st->codecpar, enc);
    if (rc < 0) {
        say_av(error, size, "the encoder cannot start", rc);
        delete w;
        return nullptr;
    }
    w->st->time_base = enc->time_base;
    w->st->avg_frame_rate = enc->framerate;
    w->frame->format = enc->pix_fmt;
    w->frame->width = enc->width;
    w->frame->height = enc->height;
    rc = av_frame_get_buffer(w->frame, 0);
    if (rc < 0) {
        say(error, size, "not enough memory");
        delete w;
        return nullptr;
    }
    w->sws = sws_getContext(enc->width, enc->height, AV_PIX_FMT_RGBA, enc->width, enc->height, enc->pix_fmt,
                            SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!w->sws) {
        say(error, size, "the frames cannot be converted for the encoder");
        delete w;
        return nullptr;
    }
    rc = avio_open(&w->fmt->pb, name, AVIO_FLAG_WRITE);
    if (rc < 0) {
        say_av(error, size, "the file cannot be created", rc);
        delete w;
        return nullptr;
    }
    w->opened = true;
    rc = avformat_write_header(w->fmt, nullptr);
    if (rc < 0) {
        say_av(error, size, "the file's header cannot be written", rc);
        delete w;
        return nullptr;
    }
    w->header = true;
    return w;
}

int write_frame(void* writer, const uint8_t* rgba, char* error, int size)
{
    auto* w = static_cast<Writer*>(writer);
    int rc = av_frame_make_writable(w->frame);
    if (rc < 0) {
        say(error, size, "not enough memory");
        return -1;
    }
    const uint8_t* planes[4] = {rgba, nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(w->width * 4), 0, 0, 0};
    sws_scale(w->sws, planes, strides, 0, static_cast<int>(w->height), w->frame->data, w->frame->linesize);
    w->frame->pts = w->next_pts++;
    if (w->enc->flags & AV_CODEC_FLAG_QSCALE)
        w->frame->quality = w->enc->global_quality;
    rc = avcodec_send_frame(w->enc, w->frame);
    if (rc < 0) {
        say_av(error, size, "a frame cannot be encoded", rc);
        return -1;
    }
    return drain(w, error, size);
}

int close_write(void* writer, int finish, char* error, int size)
{
    auto* w = static_cast<Writer*>(writer);
    int result = 0;
    if (finish) {
        if (avcodec_send_frame(w->enc, nullptr) < 0 || drain(w, error, size) != 0)
            result = -1;
        if (result == 0) {
            int rc = av_write_trailer(w->fmt);
            if (rc < 0) {
                say_av(error, size, "the file's index cannot be written", rc);
                result = -1;
            }
        }
        if (result == 0 && w->opened) {
            int rc = avio_closep(&w->fmt->pb);
            w->opened = false;
            if (rc < 0) {
                say_av(error, size, "the file cannot be closed", rc);
                result = -1;
            }
        }
    }
    delete w;
    return result;
}

const VqAviApi kApi = {kVqAviVersion, open_read, read_next, close_read, open_write, write_frame, close_write};

} // namespace

extern "C" __attribute__((visibility("default"))) const VqAviApi* AviInterface(void)
{
    return &kApi;
}
