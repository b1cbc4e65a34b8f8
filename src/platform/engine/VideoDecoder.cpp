#include "VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>

namespace sorvane::engine {

namespace {
constexpr std::size_t kQueued = 6; // frames decoded ahead of the clock
constexpr int kMaxWidth = 1280;    // larger pictures are scaled down once, here
} // namespace

std::unique_ptr<VideoDecoder> VideoDecoder::open(const std::string& path) {
    std::unique_ptr<VideoDecoder> d(new VideoDecoder);
    if (avformat_open_input(&d->format_, path.c_str(), nullptr, nullptr) < 0) return nullptr;
    if (avformat_find_stream_info(d->format_, nullptr) < 0) return nullptr;
    for (unsigned i = 0; i < d->format_->nb_streams; ++i) {
        const AVStream* st = d->format_->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            d->stream_ = static_cast<int>(i);
            break;
        }
    }
    if (d->stream_ < 0) return nullptr;
    for (unsigned i = 0; i < d->format_->nb_streams; ++i)
        if (static_cast<int>(i) != d->stream_) d->format_->streams[i]->discard = AVDISCARD_ALL;
    AVStream* st = d->format_->streams[d->stream_];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder) return nullptr;
    d->codec_ = avcodec_alloc_context3(decoder);
    if (!d->codec_ || avcodec_parameters_to_context(d->codec_, st->codecpar) < 0) return nullptr;
    d->codec_->pkt_timebase = st->time_base;
    if (avcodec_open2(d->codec_, decoder, nullptr) < 0) return nullptr;
    if (d->codec_->width <= 0 || d->codec_->height <= 0) return nullptr;
    d->timeBase_ = av_q2d(st->time_base);
    d->startTime_ = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time * d->timeBase_;
    const AVRational fps = av_guess_frame_rate(d->format_, st, nullptr);
    if (fps.num > 0 && fps.den > 0) d->frameSeconds_ = av_q2d(av_inv_q(fps));
    d->outWidth_ = std::min(d->codec_->width, kMaxWidth);
    d->outHeight_ =
        std::max(1, static_cast<int>(std::lround(static_cast<double>(d->codec_->height) *
                                                 d->outWidth_ / d->codec_->width)));
    d->frame_ = av_frame_alloc();
    d->packet_ = av_packet_alloc();
    if (!d->frame_ || !d->packet_) return nullptr;
    VideoDecoder* self = d.get();
    d->thread_ = std::thread([self] { self->run(); });
    return d;
}

VideoDecoder::~VideoDecoder() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    sws_freeContext(sws_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

bool VideoDecoder::takeFrame(double seconds, Frame& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool back = seconds < lastClock_ - frameSeconds_ / 2;
    const bool farAhead = newestTime_ >= 0 && seconds > newestTime_ + 1.0 && !atEnd_;
    lastClock_ = seconds;
    if (back || farAhead) {
        seekWanted_ = true;
        seekTarget_ = seconds;
        queue_.clear();
        cv_.notify_all();
        return false;
    }
    if (seekWanted_) return false;
    bool found = false;
    while (!queue_.empty() && queue_.front().time <= seconds + 1e-6) {
        out = std::move(queue_.front());
        queue_.pop_front();
        found = true;
    }
    if (found) cv_.notify_all();
    return found;
}

void VideoDecoder::seekTo(double seconds) {
    const auto ts = static_cast<std::int64_t>((seconds + startTime_) / timeBase_);
    av_seek_frame(format_, stream_, std::max<std::int64_t>(0, ts), AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_);
    drained_ = false;
}

bool VideoDecoder::decodeNext(Frame& out, double skipBefore) {
    for (int guard = 0; guard < 100000; ++guard) {
        const int r = avcodec_receive_frame(codec_, frame_);
        if (r == 0) {
            const std::int64_t pts = frame_->best_effort_timestamp != AV_NOPTS_VALUE
                                         ? frame_->best_effort_timestamp
                                         : frame_->pts;
            out.time = pts == AV_NOPTS_VALUE ? 0 : pts * timeBase_ - startTime_;
            // After a seek only the frame showing at the target and those after it matter.
            if (out.time + frameSeconds_ <= skipBefore) {
                av_frame_unref(frame_);
                continue;
            }
            sws_ = sws_getCachedContext(
                sws_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
                outWidth_, outHeight_, AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
            if (!sws_) {
                av_frame_unref(frame_);
                return false;
            }
            out.width = outWidth_;
            out.height = outHeight_;
            out.pixels.assign(static_cast<std::size_t>(outWidth_) * outHeight_, 0xff000000u);
            std::uint8_t* dst[4] = {reinterpret_cast<std::uint8_t*>(out.pixels.data()), nullptr,
                                    nullptr, nullptr};
            int stride[4] = {outWidth_ * 4, 0, 0, 0};
            sws_scale(sws_, frame_->data, frame_->linesize, 0, frame_->height, dst, stride);
            av_frame_unref(frame_);
            for (std::uint32_t& p : out.pixels)
                p |= 0xff000000u;
            return true;
        }
        if (r == AVERROR_EOF || drained_) return false;
        if (av_read_frame(format_, packet_) < 0) {
            avcodec_send_packet(codec_, nullptr);
            drained_ = true;
            continue;
        }
        if (packet_->stream_index == stream_) avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
    }
    return false;
}

void VideoDecoder::run() {
    double skipBefore = -1;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait_for(lock, std::chrono::milliseconds(20), [&] {
                return quit_ || seekWanted_ || (!atEnd_ && queue_.size() < kQueued);
            });
            if (quit_) return;
            if (seekWanted_) {
                seekWanted_ = false;
                skipBefore = seekTarget_;
                atEnd_ = false;
                newestTime_ = -1;
                lock.unlock();
                seekTo(skipBefore);
                continue;
            }
            if (atEnd_ || queue_.size() >= kQueued) continue;
        }
        Frame f;
        const bool got = decodeNext(f, skipBefore);
        std::lock_guard<std::mutex> lock(mutex_);
        if (seekWanted_) continue; // decoded for a position no longer wanted
        if (!got) {
            atEnd_ = true;
            continue;
        }
        skipBefore = -1;
        newestTime_ = f.time;
        queue_.push_back(std::move(f));
    }
}

} // namespace sorvane::engine
