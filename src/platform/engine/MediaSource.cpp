#include "MediaSource.h"

#include "Mp3Scan.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace sorvane::engine {

namespace {

constexpr double kAheadSeconds = 4.0; // decoded after the cursor
constexpr double kPinSeconds = 1.0;   // kept at the loop start and at the seek target
constexpr std::size_t kMaxSpare = 16;
constexpr auto kScanBudget = std::chrono::milliseconds(300); // reading a length at the load
constexpr auto kMp3Budget = std::chrono::milliseconds(400);  // counting an MP3's frames
constexpr std::int64_t kSoundProbeBytes = 8192; // read to learn a sound-only file's streams
constexpr std::int64_t kPlainProbeBytes = 32;   // the least: a plain WAV's first packet

const float* zeroChunk() {
    static const float zeros[kChunkFrames * 2] = {};
    return zeros;
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) {
    return (a + b - 1) / b;
}

// A WAV of plain samples whose header states its length and frame size: its format chunk tells all
// that playing it needs, so the demuxer's analysis (reading and decoding its first packets) can be
// spared. A WAV of coded sound, or one written as a stream with no length, is analysed.
bool plainWav(const AVFormatContext* fmt) {
    if (!fmt->iformat || std::strcmp(fmt->iformat->name, "wav") != 0 || fmt->nb_streams != 1)
        return false;
    const AVStream* st = fmt->streams[0];
    const AVCodecParameters* par = st->codecpar;
    return par->codec_type == AVMEDIA_TYPE_AUDIO && par->codec_id >= AV_CODEC_ID_PCM_S16LE &&
           par->codec_id < AV_CODEC_ID_ADPCM_IMA_QT && par->sample_rate > 0 &&
           par->ch_layout.nb_channels > 0 && par->block_align > 0 &&
           st->duration != AV_NOPTS_VALUE && st->duration > 0;
}

// A demuxer of single pictures: image2 and the picture pipes (png_pipe, jpeg_pipe, ...).
bool stillPicture(const AVFormatContext* fmt) {
    if (!fmt->iformat) return false;
    const std::string name = fmt->iformat->name;
    return name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
}

// Analyses the streams. A picture that comes with the sound (cover art) is never shown: its
// decoder refuses every picture size, so that it is not decoded, however large it is.
bool findStreams(AVFormatContext* fmt) {
    std::vector<AVDictionary*> options(fmt->nb_streams, nullptr);
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)
            av_dict_set(&options[i], "max_pixels", "1", 0);
    const int r = avformat_find_stream_info(fmt, options.data());
    for (AVDictionary*& d : options)
        av_dict_free(&d);
    return r >= 0;
}

AVCodecContext* openDecoder(AVStream* stream) {
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) return nullptr;
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    if (!codec) return nullptr;
    if (avcodec_parameters_to_context(codec, stream->codecpar) < 0) {
        avcodec_free_context(&codec);
        return nullptr;
    }
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 1;
    if (avcodec_open2(codec, decoder, nullptr) < 0) avcodec_free_context(&codec);
    return codec;
}

// Where decoding really ends: the time stamp of the last frame that has one (in frames of
// the stream's own count) and the frames decoded from there on.
struct DecodedEnd {
    std::int64_t lastStamp = -1; // -1: not found
    std::int64_t after = 0;
};

// Whether sound still decodes shortly before the stated end of the file. A file cut short
// (an interrupted copy or download) fails here although its start plays. Decoding on to the
// end tells where the sound really ends (`end`), which may differ from the stated length by
// the encoder's delay. The jump also leaves the demuxer's index covering the file, so that
// later jumps cost nothing.
bool endDecodes(AVFormatContext* format, AVCodecContext* codec, int stream, AVPacket* packet,
                AVFrame* frame, int sampleRate, std::int64_t length, DecodedEnd& end) {
    AVStream* st = format->streams[stream];
    const AVRational frames{1, sampleRate};
    const std::int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    const std::int64_t ts = av_rescale_q(length - sampleRate, frames, st->time_base) + start;
    if (av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) < 0) return true; // cannot tell
    avcodec_flush_buffers(codec);
    const std::int64_t nearEnd = length - 4 * static_cast<std::int64_t>(sampleRate);
    bool there = false;
    for (int packets = 0; packets < 2000;) {
        const int r = avcodec_receive_frame(codec, frame);
        if (r == 0) {
            const std::int64_t pts = frame->best_effort_timestamp;
            if (frame->nb_samples > 0) {
                there = there || pts == AV_NOPTS_VALUE ||
                        av_rescale_q(pts - start, st->time_base, frames) >= nearEnd;
                if (pts != AV_NOPTS_VALUE) {
                    end.lastStamp = av_rescale_q(pts, st->time_base, frames);
                    end.after = 0;
                }
                end.after += frame->nb_samples;
            }
            av_frame_unref(frame);
            continue;
        }
        if (r == AVERROR_EOF) {
            if (!there) end.lastStamp = -1;
            return there;
        }
        if (av_read_frame(format, packet) < 0) {
            avcodec_send_packet(codec, nullptr);
            ++packets;
            continue;
        }
        if (packet->stream_index == stream) {
            avcodec_send_packet(codec, packet);
            ++packets;
        }
        av_packet_unref(packet);
    }
    end.lastStamp = -1; // no end in sight: the stated length stands
    return there;
}

// The length in frames from the time stamps of every packet of `stream`, read through to
// the end; -1 when the reading was broken off or found no time stamps.
std::int64_t packetLength(AVFormatContext* format, int stream, AVPacket* packet, int sampleRate) {
    AVStream* st = format->streams[stream];
    const std::int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    std::int64_t end = AV_NOPTS_VALUE;
    int r = 0;
    while ((r = av_read_frame(format, packet)) >= 0) {
        if (packet->stream_index == stream && packet->pts != AV_NOPTS_VALUE) {
            const std::int64_t e = packet->pts + std::max<std::int64_t>(packet->duration, 0);
            if (end == AV_NOPTS_VALUE || e > end) end = e;
        }
        av_packet_unref(packet);
    }
    if (r != AVERROR_EOF || end == AV_NOPTS_VALUE) return -1;
    return av_rescale_q(end - start, st->time_base, AVRational{1, sampleRate});
}

} // namespace

std::shared_ptr<MediaSource> MediaSource::silence(int sampleRate, std::int64_t frames) {
    std::shared_ptr<MediaSource> s(new MediaSource);
    s->silent_ = true;
    s->sampleRate_ = sampleRate;
    s->length_ = std::max<std::int64_t>(frames, 0);
    s->endKnown_ = true;
    return s;
}

std::shared_ptr<MediaSource> MediaSource::open(const std::string& path,
                                               const std::atomic<std::uint64_t>* renderEpoch,
                                               MediaProbe& probe, Mp3Memory* mp3s) {
    probe = MediaProbe{};
    std::shared_ptr<MediaSource> s(new MediaSource);
    s->renderEpoch_ = renderEpoch;
    if (!s->openInput(path)) {
        probe.error = "the file cannot be opened as media";
        return nullptr;
    }
    AVFormatContext* fmt = s->format_;
    const std::int64_t dataStart = fmt->pb ? avio_tell(fmt->pb) : -1; // a WAV's first sample
    // An MP3 is measured by its frames before anything else reads it: a file that is no MP3
    // at all (megabytes of nothing) is refused here at once.
    Mp3Length mp3;
    if (fmt->iformat && std::strcmp(fmt->iformat->name, "mp3") == 0 &&
        path.rfind("file:", 0) == 0) {
        const QString file = QFile::decodeName(QByteArray::fromStdString(path.substr(5)));
        const auto deadline = std::chrono::steady_clock::now() + kMp3Budget;
        mp3 = mp3s ? mp3s->measure(file, deadline) : measureMp3(file, deadline);
        if (mp3.outcome == Mp3Length::NoFrames) {
            probe.error = "the file holds no sound";
            return nullptr;
        }
    }
    // A picture alone (a cover saved under a sound's name) holds no sound: it is refused
    // before any of it is decoded.
    if (stillPicture(fmt)) {
        probe.error = "the file holds no sound";
        return nullptr;
    }
    // A file of sound alone tells what playing it needs in its first bytes (the decoder
    // opened below reads the rest from the first frame): the default five megabytes or five
    // seconds of analysis would add some ten milliseconds to every fresh load of a WAV. A
    // picture that comes with the sound (cover art) does not count.
    bool soundOnly = fmt->nb_streams > 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        soundOnly &= fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ||
                     (fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC);
    // A plain WAV is not analysed at all; the demuxer still looks into its first packet for
    // coded sound stored as samples, and that look is kept to the one packet.
    const bool plain = plainWav(fmt);
    if (soundOnly) {
        fmt->probesize = plain ? kPlainProbeBytes : kSoundProbeBytes;
        fmt->max_analyze_duration = AV_TIME_BASE / 2;
    }
    if (!plain && !findStreams(fmt)) {
        probe.error = "no media streams were found";
        return nullptr;
    }
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue; // cover art
        probe.hasVideo = true;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            probe.videoSeconds = st->duration * av_q2d(st->time_base);
        else if (fmt->duration > 0)
            probe.videoSeconds = static_cast<double>(fmt->duration) / AV_TIME_BASE;
        break;
    }
    const int stream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0) {
        probe.error = "the file holds no sound";
        return nullptr;
    }
    s->stream_ = stream;
    AVStream* st = fmt->streams[stream];
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (static_cast<int>(i) != stream) fmt->streams[i]->discard = AVDISCARD_ALL;
    s->codec_ = openDecoder(st);
    if (!s->codec_) {
        probe.error = "the sound cannot be decoded";
        return nullptr;
    }
    const int sr = s->codec_->sample_rate;
    if (sr <= 0 || s->codec_->ch_layout.nb_channels <= 0) {
        probe.error = "the sound has no sample rate or channels";
        return nullptr;
    }
    s->sampleRate_ = sr;
    const AVRational frames{1, sr};

    std::int64_t length = -1;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        length = av_rescale_q(st->duration, st->time_base, frames);
        if (st->start_time != AV_NOPTS_VALUE && st->start_time > 0)
            length -= av_rescale_q(st->start_time, st->time_base, frames);
    } else if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0) {
        length = av_rescale(fmt->duration, sr, AV_TIME_BASE);
    }
    if (length <= 0 && mp3.outcome != Mp3Length::Measured) {
        probe.error = "the length of the sound is unknown";
        return nullptr;
    }
    s->frame_ = av_frame_alloc();
    s->packet_ = av_packet_alloc();
    if (!s->frame_ || !s->packet_) {
        probe.error = "out of memory";
        return nullptr;
    }
    // A length taken from the bit rate is only a guess (a VBR MP3 without its header can be
    // off by half): the time stamps of the packets tell it exactly, if reading them through
    // does not take long. Any other length must be reachable.
    const bool guessed = fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    const bool measured = mp3.outcome == Mp3Length::Measured && mp3.sampleRate == sr;
    if (measured) length = std::max<std::int64_t>(1, mp3.frames);
    // A measured MP3 goes straight to a time through the frames found while measuring it;
    // without them the demuxer reads every packet from the top of the file to find it, some
    // milliseconds for each minute before the point.
    if (measured && mp3.samplesPerFrame > 0)
        for (const auto& [frame, offset] : mp3.seekPoints)
            av_add_index_entry(
                st, offset,
                av_rescale_q(frame * mp3.samplesPerFrame, AVRational{1, sr}, st->time_base), 0, 0,
                AVINDEX_KEYFRAME);
    // A plain WAV holds what its header says unless it was cut short; then it holds the
    // whole samples that are there.
    if (plain && fmt->pb && dataStart > 0) {
        const std::int64_t size = avio_size(fmt->pb);
        if (size > dataStart)
            length = std::min(length, (size - dataStart) / st->codecpar->block_align);
    }
    DecodedEnd decodedEnd;
    if (!measured && !plain && (guessed || length > 2 * sr)) {
        if (guessed) {
            s->deadline_.store(std::chrono::steady_clock::now().time_since_epoch().count() +
                                   std::chrono::nanoseconds(kScanBudget).count(),
                               std::memory_order_relaxed);
            const std::int64_t scanned = packetLength(fmt, stream, s->packet_, sr);
            s->deadline_.store(0, std::memory_order_relaxed);
            if (scanned > 0) length = scanned;
        } else if (!endDecodes(fmt, s->codec_, stream, s->packet_, s->frame_, sr, length,
                               decodedEnd)) {
            probe.error = "the file ends before its stated length";
            return nullptr;
        }
        // Back to the start for the first frames; a format that cannot go back is opened
        // afresh.
        const std::int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
        if (av_seek_frame(fmt, stream, start, AVSEEK_FLAG_BACKWARD) < 0) {
            avcodec_free_context(&s->codec_);
            avformat_close_input(&s->format_);
            if (!s->openInput(path) || !findStreams(s->format_) ||
                stream >= static_cast<int>(s->format_->nb_streams)) {
                probe.error = "the file cannot be opened again";
                return nullptr;
            }
            fmt = s->format_;
            st = fmt->streams[stream];
            for (unsigned i = 0; i < fmt->nb_streams; ++i)
                if (static_cast<int>(i) != stream) fmt->streams[i]->discard = AVDISCARD_ALL;
            s->codec_ = openDecoder(st);
            if (!s->codec_) {
                probe.error = "the sound cannot be decoded";
                return nullptr;
            }
        }
        avcodec_flush_buffers(s->codec_);
    }
    if (!s->decodeFrame()) {
        probe.error = "no sound could be decoded";
        return nullptr;
    }
    const std::int64_t pts = s->frame_->best_effort_timestamp != AV_NOPTS_VALUE
                                 ? s->frame_->best_effort_timestamp
                                 : s->frame_->pts;
    s->firstPts_ = pts == AV_NOPTS_VALUE ? 0 : av_rescale_q(pts, st->time_base, frames);
    s->coarseStamps_ = av_q2d(st->time_base) > 1.0 / sr;
    s->gridFrames_ = s->codec_->frame_size > 0 ? s->codec_->frame_size : s->frame_->nb_samples;
    if (decodedEnd.lastStamp >= 0) { // the length that plays, counted as the decoder counts
        std::int64_t last = decodedEnd.lastStamp - s->firstPts_;
        if (s->coarseStamps_ && s->gridFrames_ > 0)
            last = std::llround(static_cast<double>(last) / s->gridFrames_) * s->gridFrames_;
        const std::int64_t exact = last + decodedEnd.after;
        if (exact > 0 && std::abs(exact - length) <= length / 10 + sr) length = exact;
    }

    s->length_ = length;
    s->tableSize_ = ceilDiv(length + length / 10, kChunkFrames) + 8;
    s->table_ = std::make_unique<std::atomic<float*>[]>(static_cast<std::size_t>(s->tableSize_));
    for (std::int64_t i = 0; i < s->tableSize_; ++i)
        s->table_[i].store(nullptr);
    s->aheadChunks_ = static_cast<int>(std::ceil(kAheadSeconds * sr / kChunkFrames));
    s->pinChunks_ = static_cast<int>(std::ceil(kPinSeconds * sr / kChunkFrames));
    s->asmBuf_ = s->allocChunk();
    s->nextFrame_ = 0;
    s->deliverFrame();
    probe.hasAudio = true;
    return s;
}

int MediaSource::interrupted(void* source) {
    const auto* s = static_cast<const MediaSource*>(source);
    if (s->abandoned_.load(std::memory_order_relaxed)) return 1;
    const std::int64_t deadline = s->deadline_.load(std::memory_order_relaxed);
    return deadline != 0 && std::chrono::steady_clock::now().time_since_epoch().count() > deadline
               ? 1
               : 0;
}

bool MediaSource::openInput(const std::string& path) {
    // ID3v2 tags at the top (an MP3's title and cover pictures, megabytes of them at times)
    // are passed over unread: nothing in them is played.
    const std::int64_t tags =
        path.rfind("file:", 0) == 0
            ? leadingId3Bytes(QFile::decodeName(QByteArray::fromStdString(path.substr(5))))
            : 0;
    auto open = [&](const AVInputFormat* format) {
        format_ = avformat_alloc_context();
        if (!format_) return false;
        format_->interrupt_callback.callback = &MediaSource::interrupted;
        format_->interrupt_callback.opaque = this;
        format_->skip_initial_bytes = tags;
        // On failure avformat_open_input frees the context.
        return avformat_open_input(&format_, path.c_str(), format, nullptr) >= 0;
    };
    // A name ending in ".wav" is opened as a WAV first, which spares asking every format of
    // the library whether the file is theirs; a file that is no WAV is then probed as usual.
    const bool wav = path.size() > 4 && QByteArray::fromStdString(path.substr(path.size() - 4))
                                                .compare(".wav", Qt::CaseInsensitive) == 0;
    if (const AVInputFormat* format = wav ? av_find_input_format("wav") : nullptr;
        format && open(format))
        return true;
    return open(nullptr);
}

MediaSource::~MediaSource() {
    if (table_)
        for (std::int64_t i = 0; i < tableSize_; ++i)
            delete[] table_[i].load();
    delete[] asmBuf_;
    for (float* p : spare_)
        delete[] p;
    for (const Retired& r : retired_)
        delete[] r.data;
    swr_free(&swr_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

const float* MediaSource::chunk(std::int64_t index) const {
    if (silent_) return index >= 0 ? zeroChunk() : nullptr;
    if (index < 0 || index >= tableSize_) return nullptr;
    return table_[index].load(std::memory_order_seq_cst);
}

std::int64_t MediaSource::chunkCount() const {
    return std::min(tableSize_, ceilDiv(length(), kChunkFrames));
}

std::int64_t MediaSource::firstMissing(int* priority) const {
    if (silent_ || failed_.load(std::memory_order_relaxed)) return -1;
    const std::int64_t n = chunkCount();
    const std::int64_t c = cursor_.load(std::memory_order_relaxed) / kChunkFrames;
    const std::int64_t hint = hint_.load(std::memory_order_relaxed);
    const std::int64_t h = hint >= 0 ? hint / kChunkFrames : -1;
    const std::int64_t s =
        std::max<std::int64_t>(0, loopStart_.load(std::memory_order_relaxed)) / kChunkFrames;
    struct Range {
        std::int64_t first, last;
        int priority;
    };
    const Range ranges[] = {
        {c, c + 1, 2},
        {h, h + 1, 2},
        {s, s + 1, 1},
        {c + 2, c + aheadChunks_, 1},
        {s + 2, s + pinChunks_, 1},
        {h + 2, h + pinChunks_, 1},
    };
    for (const Range& r : ranges) {
        if (r.first < 0) continue;
        for (std::int64_t k = r.first; k <= r.last && k < n; ++k) {
            if (!table_[k].load(std::memory_order_relaxed)) {
                if (priority) *priority = r.priority;
                return k;
            }
        }
    }
    return -1;
}

int MediaSource::urgency() const {
    int priority = 0;
    return firstMissing(&priority) < 0 ? 0 : priority;
}

bool MediaSource::keep(std::int64_t k) const {
    const std::int64_t c = cursor_.load(std::memory_order_relaxed) / kChunkFrames;
    if (k >= c - 1 && k <= c + aheadChunks_) return true;
    const std::int64_t s =
        std::max<std::int64_t>(0, loopStart_.load(std::memory_order_relaxed)) / kChunkFrames;
    if (k >= s && k <= s + pinChunks_) return true;
    const std::int64_t hint = hint_.load(std::memory_order_relaxed);
    return hint >= 0 && k >= hint / kChunkFrames && k <= hint / kChunkFrames + pinChunks_;
}

bool MediaSource::work() {
    if (abandoned_.load(std::memory_order_relaxed)) return false;
    int priority = 0;
    const std::int64_t want = firstMissing(&priority);
    if (want < 0) {
        evict();
        freeRetired();
        return false;
    }
    const bool sequential = !atEnd_ && want >= asmChunk_ && want <= asmChunk_ + 2;
    if (!sequential && !seekTo(want)) {
        failed_ = true;
        notifyWaiters();
        return false;
    }
    while (!atEnd_ && asmChunk_ <= want) {
        if (!decodeFrame()) {
            if (abandoned_.load(std::memory_order_relaxed)) return false; // broken off
            reachEnd();
            break;
        }
        deliverFrame();
    }
    evict();
    freeRetired();
    return true;
}

std::int64_t MediaSource::frameIndexOf(std::int64_t pts) const {
    if (pts == AV_NOPTS_VALUE) return INT64_MIN;
    const AVStream* st = format_->streams[stream_];
    std::int64_t f = av_rescale_q(pts, st->time_base, AVRational{1, sampleRate_}) - firstPts_;
    if (coarseStamps_ && gridFrames_ > 0)
        f = std::llround(static_cast<double>(f) / gridFrames_) * gridFrames_;
    return f;
}

bool MediaSource::seekTo(std::int64_t index) {
    const std::int64_t target = index * kChunkFrames;
    const AVStream* st = format_->streams[stream_];
    // Decoding starts some way before the target: an MP3 frame may take its data from up to
    // 511 bytes before it, and the small frames of a VBR file reach back a dozen frames.
    const std::int64_t backoffs[] = {std::max<std::int64_t>(14000, sampleRate_ / 10),
                                     sampleRate_ / 2, 3 * static_cast<std::int64_t>(sampleRate_),
                                     target};
    for (std::int64_t backoff : backoffs) {
        const std::int64_t from = std::max<std::int64_t>(0, target - backoff);
        const std::int64_t ts =
            av_rescale_q(firstPts_ + from, AVRational{1, sampleRate_}, st->time_base);
        if (av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0) continue;
        avcodec_flush_buffers(codec_);
        inputDrained_ = false;
        atEnd_ = false;
        if (!decodeFrame()) continue;
        const std::int64_t pts = frame_->best_effort_timestamp != AV_NOPTS_VALUE
                                     ? frame_->best_effort_timestamp
                                     : frame_->pts;
        std::int64_t idx = frameIndexOf(pts);
        if (idx == INT64_MIN) {
            if (from != 0) continue;
            idx = 0;
        }
        // The first frame after a jump may lack what came before it (overlap, bit
        // reservoir): it must lie wholly before the target unless decoding starts at 0.
        const bool clean = from == 0 ? idx <= target : idx + frame_->nb_samples <= target;
        if (!clean) continue;
        if (!asmBuf_) asmBuf_ = allocChunk();
        asmChunk_ = index;
        asmFill_ = 0;
        nextFrame_ = idx;
        deliverFrame();
        return true;
    }
    return false;
}

bool MediaSource::decodeFrame() {
    for (int guard = 0; guard < 100000; ++guard) {
        const int r = avcodec_receive_frame(codec_, frame_);
        if (r == 0) {
            if (frame_->nb_samples > 0) return true;
            av_frame_unref(frame_);
            continue;
        }
        if (r == AVERROR_EOF) return false;
        if (inputDrained_) return false;
        if (av_read_frame(format_, packet_) < 0) {
            avcodec_send_packet(codec_, nullptr);
            inputDrained_ = true;
            continue;
        }
        if (packet_->stream_index == stream_) avcodec_send_packet(codec_, packet_); // a damaged
        av_packet_unref(packet_); // packet is skipped
    }
    return false;
}

void MediaSource::deliverFrame() {
    AVChannelLayout in{};
    if (frame_->ch_layout.nb_channels > 0 && frame_->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_copy(&in, &frame_->ch_layout);
    else
        av_channel_layout_default(&in, frame_->ch_layout.nb_channels > 0
                                           ? frame_->ch_layout.nb_channels
                                           : codec_->ch_layout.nb_channels);
    const std::uint64_t key = (static_cast<std::uint64_t>(in.nb_channels) << 56) ^
                              (in.order == AV_CHANNEL_ORDER_NATIVE ? in.u.mask : 0) ^
                              (static_cast<std::uint64_t>(in.order) << 48);
    if (!swr_ || frame_->format != swrFormat_ || key != swrLayoutKey_) {
        swr_free(&swr_);
        outChannels_ = in.nb_channels == 1 ? 1 : 2;
        AVChannelLayout out{};
        av_channel_layout_default(&out, outChannels_);
        if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_FLT, sampleRate_, &in,
                                static_cast<AVSampleFormat>(frame_->format), sampleRate_, 0,
                                nullptr) < 0 ||
            swr_init(swr_) < 0)
            swr_free(&swr_);
        av_channel_layout_uninit(&out);
        swrFormat_ = frame_->format;
        swrLayoutKey_ = key;
    }
    av_channel_layout_uninit(&in);
    const int n = frame_->nb_samples;
    int got = 0;
    if (swr_) {
        convert_.resize(static_cast<std::size_t>(n) * outChannels_);
        auto* out = reinterpret_cast<std::uint8_t*>(convert_.data());
        got =
            swr_convert(swr_, &out, n, const_cast<const std::uint8_t**>(frame_->extended_data), n);
    }
    if (got < 0) got = 0;
    if (got < n) { // an unconvertible frame keeps its place in time as silence
        convert_.resize(static_cast<std::size_t>(n) * outChannels_);
        std::fill(convert_.begin() + static_cast<std::ptrdiff_t>(got) * outChannels_,
                  convert_.end(), 0.0f);
    }
    av_frame_unref(frame_);
    deliver(nextFrame_, convert_.data(), n);
}

void MediaSource::deliver(std::int64_t first, const float* samples, int frames) {
    nextFrame_ = first + frames;
    std::int64_t pos = first;
    int i = 0;
    while (i < frames || pos > asmChunk_ * kChunkFrames + asmFill_) {
        if (asmChunk_ >= tableSize_) { // longer than the table can hold: that is the end
            reachEnd();
            return;
        }
        const std::int64_t want = asmChunk_ * kChunkFrames + asmFill_;
        if (pos < want) { // before the target of a jump: not needed
            const int skip = static_cast<int>(std::min<std::int64_t>(frames - i, want - pos));
            i += skip;
            pos += skip;
            if (i >= frames) break;
            continue;
        }
        float* dst = asmBuf_ + 2 * asmFill_;
        const int room = kChunkFrames - asmFill_;
        if (pos > want) { // a hole in the stream: silence keeps the timing
            const int gap = static_cast<int>(std::min<std::int64_t>(room, pos - want));
            std::memset(dst, 0, sizeof(float) * 2 * gap);
            asmFill_ += gap;
        } else {
            const int n = std::min(frames - i, room);
            const float* src = samples + static_cast<std::ptrdiff_t>(i) * outChannels_;
            if (outChannels_ == 2) {
                std::memcpy(dst, src, sizeof(float) * 2 * n);
            } else {
                for (int j = 0; j < n; ++j)
                    dst[2 * j] = dst[2 * j + 1] = src[j];
            }
            asmFill_ += n;
            i += n;
            pos += n;
        }
        if (asmFill_ == kChunkFrames) publishAssembly(false);
    }
}

void MediaSource::publishAssembly(bool partial) {
    if (partial)
        std::memset(asmBuf_ + 2 * asmFill_, 0, sizeof(float) * 2 * (kChunkFrames - asmFill_));
    if (asmChunk_ < tableSize_ && !table_[asmChunk_].load(std::memory_order_relaxed)) {
        table_[asmChunk_].store(asmBuf_, std::memory_order_seq_cst);
        present_.push_back(asmChunk_);
        held_.fetch_add(1, std::memory_order_relaxed);
        asmBuf_ = allocChunk();
    }
    ++asmChunk_;
    asmFill_ = 0;
    // A stated length that turns out short grows with what is decoded.
    const std::int64_t done = asmChunk_ * kChunkFrames;
    if (!endKnown_.load(std::memory_order_relaxed) && !partial && done > length())
        length_.store(std::min(done, tableSize_ * kChunkFrames), std::memory_order_release);
    notifyWaiters();
}

void MediaSource::reachEnd() {
    const std::int64_t total =
        std::min(asmChunk_ * kChunkFrames + asmFill_, tableSize_ * kChunkFrames);
    if (asmFill_ > 0 && asmChunk_ < tableSize_) publishAssembly(true);
    atEnd_ = true;
    // Sequentially consistent, like the waiters' count that notifyWaiters reads next: a
    // waiter either sees the end or is woken.
    length_.store(total, std::memory_order_seq_cst);
    endKnown_.store(true, std::memory_order_seq_cst);
    notifyWaiters();
}

void MediaSource::evict() {
    for (std::size_t i = 0; i < present_.size();) {
        const std::int64_t k = present_[i];
        if (keep(k)) {
            ++i;
            continue;
        }
        float* data = table_[k].exchange(nullptr, std::memory_order_seq_cst);
        present_[i] = present_.back();
        present_.pop_back();
        held_.fetch_sub(1, std::memory_order_relaxed);
        if (!data) continue;
        // A render pass that started before the exchange may still read the chunk; it is
        // freed once that pass has ended.
        const std::uint64_t epoch =
            renderEpoch_ ? renderEpoch_->load(std::memory_order_seq_cst) : 0;
        if ((epoch & 1) == 0)
            spare_.push_back(data);
        else
            retired_.push_back({data, epoch});
    }
    while (spare_.size() > kMaxSpare) {
        delete[] spare_.back();
        spare_.pop_back();
    }
}

void MediaSource::freeRetired() {
    if (retired_.empty()) return;
    const std::uint64_t now = renderEpoch_ ? renderEpoch_->load(std::memory_order_seq_cst) : 0;
    for (std::size_t i = 0; i < retired_.size();) {
        if (now > retired_[i].epoch) {
            spare_.push_back(retired_[i].data);
            retired_[i] = retired_.back();
            retired_.pop_back();
        } else {
            ++i;
        }
    }
}

float* MediaSource::allocChunk() {
    if (!spare_.empty()) {
        float* p = spare_.back();
        spare_.pop_back();
        return p;
    }
    return new float[kChunkFrames * 2];
}

void MediaSource::notifyWaiters() {
    if (waiters_.load(std::memory_order_seq_cst) == 0) return;
    std::lock_guard<std::mutex> lock(waitMutex_);
    waitCv_.notify_all();
}

void MediaSource::abandon() {
    abandoned_.store(true, std::memory_order_seq_cst);
    notifyWaiters(); // an offline reader waiting for a chunk takes what there is
}

bool MediaSource::waitForChunk(std::int64_t index, int timeoutMs) {
    // A chunk takes the worker well under a millisecond: look again for a moment before
    // going to sleep on the condition.
    const auto spinUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
    while (!chunk(index)) {
        if (failed_.load() || abandoned_.load() || std::chrono::steady_clock::now() > spinUntil)
            break;
        std::this_thread::yield();
    }
    if (chunk(index)) return true;
    waiters_.fetch_add(1, std::memory_order_seq_cst);
    {
        std::unique_lock<std::mutex> lock(waitMutex_);
        waitCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return chunk(index) || failed_.load() || abandoned_.load() ||
                   (endKnown_.load() && index * kChunkFrames >= length());
        });
    }
    waiters_.fetch_sub(1, std::memory_order_seq_cst);
    return chunk(index) != nullptr;
}

} // namespace sorvane::engine
