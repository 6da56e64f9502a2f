#include "platform/movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

namespace platform::movie {
namespace {

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

// ---- The decoder's libraries: opened when the first movie opens, not at the program's start (with the codecs they
// pull in they are well over a hundred libraries, whose loading would cost every start a good part of its time).
// The functions below are pointers of the same names, so the code reads as plain calls.

#define QORM_MOVIE_FUNCTIONS(F)                                                                                       \
  F(av_find_best_stream) F(av_frame_alloc) F(av_frame_free) F(av_frame_unref) F(av_guess_frame_rate)                 \
  F(av_log_set_level) F(av_packet_alloc) F(av_packet_free) F(av_packet_move_ref) F(av_packet_unref) F(av_read_frame) \
  F(av_rescale) F(av_rescale_q) F(av_seek_frame) F(avcodec_alloc_context3) F(avcodec_find_decoder)                   \
  F(avcodec_flush_buffers) F(avcodec_free_context) F(avcodec_open2) F(avcodec_parameters_to_context)                 \
  F(avcodec_receive_frame) F(avcodec_send_packet) F(avformat_close_input) F(avformat_find_stream_info)               \
  F(avformat_open_input) F(avformat_seek_file) F(swr_alloc_set_opts2) F(swr_close) F(swr_convert) F(swr_free)        \
  F(swr_get_out_samples) F(swr_init) F(sws_freeContext) F(sws_getCachedContext) F(sws_scale)

#define QORM_MOVIE_POINTER(name) decltype(&::name) name = nullptr;
QORM_MOVIE_FUNCTIONS(QORM_MOVIE_POINTER)
#undef QORM_MOVIE_POINTER

// By the major versions the program was built against; each library brings its own dependencies.
const char* const kLibraries[] = {"libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
                                  "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
                                  "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR)};

// Empty once every function is found, else why not. Kept open for the rest of the process.
std::string OpenLibraries() {
  std::vector<void*> handles;
  for (const char* name : kLibraries) {
    void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return std::string("cannot load ") + name + ": " + dlerror();
    handles.push_back(handle);
  }
  std::string missing;
  auto find = [&](const char* symbol) -> void* {
    for (void* handle : handles)
      if (void* address = dlsym(handle, symbol)) return address;
    missing += (missing.empty() ? "" : ", ") + std::string(symbol);
    return nullptr;
  };
#define QORM_MOVIE_FIND(name) name = reinterpret_cast<decltype(name)>(find(#name));
  QORM_MOVIE_FUNCTIONS(QORM_MOVIE_FIND)
#undef QORM_MOVIE_FIND
  if (!missing.empty()) return "the movie libraries lack " + missing;
  av_log_set_level(AV_LOG_ERROR);
  return {};
}

// Any thread; the libraries are opened once, and not for a file that cannot be read (a game without its opening
// movie opens none).
bool LibrariesLoaded(const std::string& path, std::string* error) {
  if (access(path.c_str(), R_OK) != 0) {
    SetError(error, "cannot open " + path);
    return false;
  }
  static const std::string why = OpenLibraries();
  if (why.empty()) return true;
  if (error != nullptr) *error = why;
  return false;
}

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
constexpr AVRational kNsBase{1, 1'000'000'000};
constexpr int kMaxSide = 8192;
constexpr std::uint32_t kRate = audio::kOutputRate;
constexpr std::uint32_t kBytesPerFrame = 4;  // 16-bit stereo
constexpr std::int64_t kRingFrames = 2 * kRate;
// While the voice plays, sound is written this far ahead of the mixer's read position at the earliest, and silence
// kept this far ahead of it, so that neither a write racing the mixer nor a late decoder lets it replay old ring
// contents.
constexpr std::int64_t kWriteGuard = 1024;
constexpr std::int64_t kSilenceLead = kRate / 4;
// Sound is decoded this far ahead of the mixer, reading on past the pictures where the file holds the sound back;
// the picture packets read meanwhile wait, still compressed, up to these bounds.
constexpr std::int64_t kSoundLead = kRate / 2;
constexpr std::size_t kMaxWaitingPackets = 256;
constexpr std::int64_t kMaxWaitingBytes = 16 << 20;
constexpr auto kFirstFrameWait = std::chrono::seconds(3);
constexpr auto kIdleWait = std::chrono::milliseconds(5);
constexpr std::int64_t kBeforeStartNs = -kNsPerSecond / 2;

AVPixelFormat ToAv(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Bgrx32: return AV_PIX_FMT_BGR0;
    case PixelLayout::Bgr24: return AV_PIX_FMT_BGR24;
    case PixelLayout::Rgb565: return AV_PIX_FMT_RGB565LE;
  }
  return AV_PIX_FMT_NONE;
}

// Sound of one decoded frame, placed at an output frame counted from the position the movie ran from.
struct SoundRun {
  std::int64_t at = 0;
  std::vector<std::int16_t> samples;  // interleaved stereo
  std::size_t used = 0;               // frames already written
};

// A ring cursor (bytes, wrapping) counted on without wrapping.
struct Unwrapped {
  std::uint32_t last = 0;
  std::int64_t total = 0;

  void Reset(std::uint32_t at) { last = at, total = 0; }
  void Update(std::uint32_t now, std::uint32_t ringBytes) {
    total += ((now + ringBytes - last) % ringBytes) / kBytesPerFrame;
    last = now;
  }
};

}  // namespace

struct Movie::Impl {
  Options options;
  thread::Clock& clock;

  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* sound = nullptr;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* decoded = nullptr;
  int videoIndex = -1;
  int soundIndex = -1;
  int width = 0, height = 0;
  std::int64_t originNs = 0;     // the file's start time
  std::int64_t frameNs = 40'000'000;
  std::int64_t durationNs = 0;
  std::int64_t lastPictureNs = 0;
  std::unique_ptr<audio::Voice> voice;

  // Shared with the decoding thread.
  std::mutex queueLock;
  std::condition_variable queueChanged;
  std::deque<Frame> queue;
  std::vector<Frame> spare;
  bool drained = false;     // no more pictures will come
  bool soundReady = false;  // the sound has been decoded ahead as far as it will be before the voice plays
  std::int64_t targetNs = 0;

  std::mutex soundLock;
  std::deque<SoundRun> pendingSound;
  Unwrapped heard, mixed;
  std::int64_t written = 0;
  bool soundStarted = false;  // the voice plays: the mixer reads the ring

  // Decoding thread.
  std::deque<AVPacket*> waiting;  // picture packets read ahead of their decoding
  std::int64_t waitingBytes = 0;
  bool fileEnded = false;
  std::optional<std::int64_t> soundEnd;  // where the sound decoded last ends; none since the reset

  // Owner's thread.
  std::jthread thread;
  bool running = false;
  std::int64_t baseNs = 0;
  std::int64_t wallStartNs = 0;
  std::int64_t frozenNs = 0;
  Frame current;
  std::int64_t taken = 0;
  std::int64_t dropped = 0;

  Impl(const Options& o, thread::Clock& c) : options(o), clock(c) {}

  ~Impl() {
    StopThread();
    ClearWaiting();
    voice.reset();
    sws_freeContext(scaler);
    swr_free(&resampler);
    av_frame_free(&decoded);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avcodec_free_context(&sound);
    avformat_close_input(&format);
  }

  std::int64_t TimeNs(std::int64_t pts, AVRational base) const {
    return av_rescale_q(pts, base, kNsBase) - originNs;
  }

  AVCodecContext* OpenDecoder(AVStream* stream) const {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (ctx == nullptr) return nullptr;
    // Slices of one picture are decoded side by side where the file has several; frame threads would hold
    // pictures back (and the MPEG-1 decoder has none).
    ctx->thread_count = std::max(0, options.decoderThreads);
    ctx->thread_type = FF_THREAD_SLICE;
    if (avcodec_parameters_to_context(ctx, stream->codecpar) < 0 || avcodec_open2(ctx, codec, nullptr) < 0)
      avcodec_free_context(&ctx);
    return ctx;
  }

  bool OpenFile(const std::string& path, std::string* error) {
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
      return SetError(error, "cannot open " + path), false;
    if (avformat_find_stream_info(format, nullptr) < 0) return SetError(error, "no stream information"), false;
    videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex < 0) return SetError(error, "no video stream"), false;
    AVStream* vs = format->streams[videoIndex];
    video = OpenDecoder(vs);
    if (video == nullptr) return SetError(error, "no decoder for the video"), false;
    width = video->width, height = video->height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
      return SetError(error, "bad picture size"), false;
    // Time 0 is the first picture; sound stamped before it is not played.
    if (vs->start_time != AV_NOPTS_VALUE)
      originNs = av_rescale_q(vs->start_time, vs->time_base, kNsBase);
    else if (format->start_time != AV_NOPTS_VALUE)
      originNs = format->start_time * (kNsPerSecond / AV_TIME_BASE);
    if (format->duration > 0) durationNs = format->duration * (kNsPerSecond / AV_TIME_BASE);
    const AVRational rate = av_guess_frame_rate(format, vs, nullptr);
    if (rate.num > 0 && rate.den > 0) frameNs = av_rescale(kNsPerSecond, rate.den, rate.num);
    packet = av_packet_alloc();
    decoded = av_frame_alloc();
    if (packet == nullptr || decoded == nullptr) return SetError(error, "out of memory"), false;
    OpenSound();
    return true;
  }

  // A sound track that cannot be played leaves the movie silent on the wall clock.
  void OpenSound() {
    if (options.mixer == nullptr) return;
    soundIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
    if (soundIndex < 0) return;
    sound = OpenDecoder(format->streams[soundIndex]);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (sound == nullptr ||
        swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, kRate, &sound->ch_layout, sound->sample_fmt,
                            sound->sample_rate, 0, nullptr) < 0 ||
        swr_init(resampler) < 0)
      return CloseSound();
    voice = options.mixer->CreateVoice({2, kRate, 16}, static_cast<std::uint32_t>(kRingFrames * kBytesPerFrame));
    if (voice == nullptr) CloseSound();
  }

  void CloseSound() {
    avcodec_free_context(&sound);
    swr_free(&resampler);
    soundIndex = -1;
  }

  // ---- Decoding thread

  void StartThread() {
    thread = std::jthread([this](std::stop_token stop) { Loop(stop); });
  }

  void StopThread() {
    if (!thread.joinable()) return;
    thread.request_stop();
    queueChanged.notify_all();
    thread.join();
  }

  void Loop(std::stop_token stop) {
    try {
      const auto limit = static_cast<std::size_t>(std::max(2, options.queueFrames));
      while (!stop.stop_requested()) {
        if (voice != nullptr && FeedVoice() && CanReadAhead()) {
          ReadPacket();
          continue;
        }
        std::unique_lock lock(queueLock);
        if (!soundReady) {
          soundReady = true;
          queueChanged.notify_all();
        }
        if (drained || queue.size() >= limit) {
          queueChanged.wait_for(lock, kIdleWait);
          continue;
        }
        lock.unlock();
        if (!DecodePicture()) MarkDrained();
      }
    } catch (...) {  // out of memory: the movie ends here
      MarkDrained();
    }
  }

  void MarkDrained() {
    std::lock_guard lock(queueLock);
    drained = true;
    queueChanged.notify_all();
  }

  // Reads one packet: sound is decoded at once, a picture packet waits its turn. False at the end of the file or on
  // a read error, after draining the sound decoder.
  bool ReadPacket() {
    if (fileEnded) return false;
    if (av_read_frame(format, packet) < 0) {
      fileEnded = true;
      if (sound != nullptr) Drain(sound, [this] { TakeSound(); });
      return false;
    }
    if (packet->stream_index == videoIndex) {
      AVPacket* p = av_packet_alloc();
      if (p == nullptr) throw std::bad_alloc();
      av_packet_move_ref(p, packet);
      waiting.push_back(p);
      waitingBytes += p->size;
    } else if (packet->stream_index == soundIndex) {
      Decode(sound, packet, [this] { TakeSound(); });
    }
    av_packet_unref(packet);
    return true;
  }

  bool CanReadAhead() const {
    return !fileEnded && waiting.size() < kMaxWaitingPackets && waitingBytes < kMaxWaitingBytes;
  }

  // Decodes the next picture packet, reading on until there is one; false after the last, when the decoder has
  // been drained.
  bool DecodePicture() {
    while (waiting.empty()) {
      if (!ReadPacket()) {
        Drain(video, [this] { TakePicture(); });
        return false;
      }
    }
    AVPacket* p = waiting.front();
    waiting.pop_front();
    waitingBytes -= p->size;
    Decode(video, p, [this] { TakePicture(); });
    av_packet_free(&p);
    return true;
  }

  void ClearWaiting() {
    for (AVPacket*& p : waiting) av_packet_free(&p);
    waiting.clear();
    waitingBytes = 0;
    fileEnded = false;
  }

  // A packet the decoder refuses is skipped: a damaged packet costs a picture, not the movie.
  template <class Take>
  void Decode(AVCodecContext* ctx, const AVPacket* p, Take&& take) {
    if (avcodec_send_packet(ctx, p) < 0) return;
    while (avcodec_receive_frame(ctx, decoded) >= 0) {
      take();
      av_frame_unref(decoded);
    }
  }

  template <class Take>
  void Drain(AVCodecContext* ctx, Take&& take) {
    Decode(ctx, nullptr, take);
  }

  void TakePicture() {
    const std::int64_t pts = decoded->best_effort_timestamp;
    const std::int64_t t =
        pts == AV_NOPTS_VALUE ? lastPictureNs + frameNs : TimeNs(pts, format->streams[videoIndex]->time_base);
    lastPictureNs = t;
    // Before the target, only the picture that covers it is kept.
    if (t + frameNs <= targetNs) return;
    Frame f = SpareFrame();
    if (!Convert(decoded, f)) return;
    f.timeNs = t;
    std::lock_guard lock(queueLock);
    queue.push_back(std::move(f));
    queueChanged.notify_all();
  }

  // Converts a decoded picture of the movie's size straight into `f`'s pixels, reusing them when they fit.
  // The size never changes, so the conversion takes the library's unscaled path whatever filter is named.
  bool Convert(const AVFrame* picture, Frame& f) {
    if (picture->width != width || picture->height != height) return false;
    scaler = sws_getCachedContext(scaler, width, height, static_cast<AVPixelFormat>(picture->format), width, height,
                                  ToAv(options.layout), SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler == nullptr) return false;
    f.width = width, f.height = height;
    // The converter writes rows in whole blocks of 16 pixels (past the last row too): each row has room for them.
    f.pitch = FFALIGN(width, 16) * video::BytesPerPixel(options.layout);
    f.pixels.resize(static_cast<std::size_t>(f.pitch) * static_cast<std::size_t>(height));
    std::uint8_t* planes[4] = {f.pixels.data(), nullptr, nullptr, nullptr};
    int pitches[4] = {f.pitch, 0, 0, 0};
    return sws_scale(scaler, picture->data, picture->linesize, 0, height, planes, pitches) == height;
  }

  Frame SpareFrame() {
    std::lock_guard lock(queueLock);
    if (spare.empty()) return {};
    Frame f = std::move(spare.back());
    spare.pop_back();
    return f;
  }

  void TakeSound() {
    const int room = swr_get_out_samples(resampler, decoded->nb_samples);
    if (room <= 0) return;
    SoundRun run;
    run.samples.resize(static_cast<std::size_t>(room) * 2);
    auto* out = reinterpret_cast<std::uint8_t*>(run.samples.data());
    const int n = swr_convert(resampler, &out, room, const_cast<const std::uint8_t**>(decoded->extended_data),
                              decoded->nb_samples);
    if (n <= 0) return;
    run.samples.resize(static_cast<std::size_t>(n) * 2);
    // Sound is placed by its time stamp; small jitter is ignored so that consecutive frames join without a gap.
    std::int64_t at = soundEnd.value_or(0);
    const std::int64_t pts = decoded->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
      const std::int64_t t = TimeNs(pts, format->streams[soundIndex]->time_base) - targetNs;
      const std::int64_t stamped = t * kRate / kNsPerSecond;
      if (!soundEnd || std::llabs(stamped - at) > kRate / 50) at = stamped;
    }
    soundEnd = at + n;
    if (at < 0) {  // before the position the movie runs from
      if (at + n <= 0) return;
      run.used = static_cast<std::size_t>(-at);
    }
    run.at = at;
    std::lock_guard lock(soundLock);
    pendingSound.push_back(std::move(run));
  }

  void UpdateCursorsLocked() {
    const audio::Cursors c = voice->GetCursors();
    const auto ringBytes = static_cast<std::uint32_t>(kRingFrames * kBytesPerFrame);
    heard.Update(c.play, ringBytes);
    mixed.Update(c.write, ringBytes);
  }

  void WriteLocked(std::int64_t at, const std::int16_t* samples, std::int64_t frames) {
    while (frames > 0) {
      const std::int64_t ringAt = at % kRingFrames;
      const std::int64_t n = std::min(frames, kRingFrames - ringAt);
      std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(samples),
                                          static_cast<std::size_t>(n * kBytesPerFrame));
      voice->Write(static_cast<std::uint32_t>(ringAt * kBytesPerFrame), bytes);
      at += n, samples += n * 2, frames -= n;
    }
  }

  void SilenceLocked(std::int64_t from, std::int64_t to) {
    static const std::vector<std::int16_t> zeros(static_cast<std::size_t>(kRate / 10) * 2);
    for (std::int64_t at = from; at < to;) {
      const std::int64_t n = std::min<std::int64_t>(to - at, kRate / 10);
      WriteLocked(at, zeros.data(), n);
      at += n;
    }
  }

  // Moves decoded sound into the ring between the mixer's read position and one ring ahead of it, and keeps
  // silence ahead of the mixer. True when the decoded sound runs short of the lead ahead of the mixer.
  bool FeedVoice() {
    std::lock_guard lock(soundLock);
    UpdateCursorsLocked();
    const std::int64_t guard = soundStarted ? kWriteGuard : 0;
    const std::int64_t earliest = mixed.total + guard;
    const std::int64_t latest = mixed.total + kRingFrames - guard;
    written = std::max(written, earliest);
    while (!pendingSound.empty()) {
      SoundRun& run = pendingSound.front();
      const std::int64_t frames = static_cast<std::int64_t>(run.samples.size() / 2);
      std::int64_t from = std::max(run.at + static_cast<std::int64_t>(run.used), earliest);
      const std::int64_t to = std::min(run.at + frames, latest);
      if (from >= run.at + frames) {  // came too late
        pendingSound.pop_front();
        continue;
      }
      if (from >= to) break;  // the ring is full
      if (written < from) SilenceLocked(written, from);
      WriteLocked(from, run.samples.data() + (from - run.at) * 2, to - from);
      written = std::max(written, to);
      run.used = static_cast<std::size_t>(to - run.at);
      if (to < run.at + frames) break;
      pendingSound.pop_front();
    }
    if (written < mixed.total + kSilenceLead) {
      SilenceLocked(written, mixed.total + kSilenceLead);
      written = mixed.total + kSilenceLead;
    }
    return !soundEnd || *soundEnd - mixed.total < kSoundLead;
  }

  void StartSound() {
    std::lock_guard lock(soundLock);
    voice->Play(true);
    soundStarted = true;
  }

  void ResetSound() {
    std::lock_guard lock(soundLock);
    voice->Stop();
    voice->SetCurrentPosition(0);
    SilenceLocked(0, kRingFrames);
    pendingSound.clear();
    heard.Reset(0), mixed.Reset(0);
    written = 0;
    soundEnd.reset();
    soundStarted = false;
    swr_close(resampler);
    swr_init(resampler);
  }

  // ---- Owner's thread

  std::int64_t Position() {
    if (!running) return frozenNs;
    if (voice == nullptr) return baseNs + (clock.NowNs() - wallStartNs);
    std::lock_guard lock(soundLock);
    UpdateCursorsLocked();
    return baseNs + heard.total * kNsPerSecond / kRate;
  }

  // Seeks to the key frame at or before `positionNs`; a position before 0 goes to the start of the file.
  bool Seek(std::int64_t positionNs) {
    const std::int64_t ts = (positionNs + originNs) / (kNsPerSecond / AV_TIME_BASE);
    if (avformat_seek_file(format, -1, std::numeric_limits<std::int64_t>::min(), ts, ts, 0) < 0 &&
        av_seek_frame(format, -1, ts, AVSEEK_FLAG_BACKWARD) < 0 && (positionNs >= 0 || !Seek(0)))
      return false;
    avcodec_flush_buffers(video);
    if (sound != nullptr) avcodec_flush_buffers(sound);
    return true;
  }

  void ClearQueue() {
    std::lock_guard lock(queueLock);
    for (Frame& f : queue) spare.push_back(std::move(f));
    queue.clear();
    drained = soundReady = false;
  }

  // Starts decoding from the file position that a seek for `seekNs` finds, and waits until the first picture and
  // the sound ahead of it are there; false when it cannot seek.
  bool Prime(std::int64_t seekNs, std::int64_t positionNs) {
    StopThread();
    if (!Seek(seekNs)) return false;
    ClearQueue();
    ClearWaiting();
    targetNs = positionNs;
    lastPictureNs = seekNs - frameNs;
    if (voice != nullptr) ResetSound();
    StartThread();
    std::unique_lock lock(queueLock);
    queueChanged.wait_for(lock, kFirstFrameWait, [this] { return soundReady && (!queue.empty() || drained); });
    return true;
  }

  // Whether decoding began after the position: the program stream's index is only its time stamps, so a seek
  // may land past the key frame it was asked for.
  bool LandedLate(std::int64_t positionNs) {
    std::lock_guard lock(queueLock);
    return queue.empty() ? drained && positionNs > 0 : queue.front().timeNs > positionNs;
  }

  bool Run(std::int64_t positionNs) {
    Stop();
    positionNs = std::max<std::int64_t>(positionNs, 0);
    frozenNs = positionNs;
    taken = dropped = 0;
    // The demuxer searches by decoding stamps, which run ahead of the pictures' own stamps where B pictures are
    // reordered: a seek for the first picture can land on the picture after it, which is no key frame, and the
    // decoder then starts at the next group. A target before the first picture reaches the start of the file.
    for (std::int64_t back = kNsPerSecond / 2;; back *= 2) {
      const std::int64_t seekNs = std::max(positionNs - back, kBeforeStartNs);
      if (!Prime(seekNs, positionNs)) return false;
      if (seekNs == kBeforeStartNs || !LandedLate(positionNs)) break;
    }
    baseNs = positionNs;
    wallStartNs = clock.NowNs();
    if (voice != nullptr) StartSound();
    running = true;
    TakeFirst();
    return true;
  }

  // The picture at the run position is shown at once, even when the file's first picture is stamped later.
  void TakeFirst() {
    std::lock_guard lock(queueLock);
    if (queue.empty()) return;
    std::swap(current, queue.front());
    spare.push_back(std::move(queue.front()));
    queue.pop_front();
    ++taken;
    queueChanged.notify_all();
  }

  void Stop() {
    if (!running) return StopThread();
    frozenNs = Position();
    running = false;
    StopThread();
    if (voice != nullptr) voice->Stop();
  }

  int Queued() {
    std::lock_guard lock(queueLock);
    return static_cast<int>(queue.size());
  }

  Poll TakeFrame() {
    const std::int64_t now = Position();
    std::lock_guard lock(queueLock);
    if (queue.empty()) return drained ? Poll::End : Poll::Pending;
    if (!running) return Poll::Pending;
    std::size_t due = 0;
    while (due < queue.size() && queue[due].timeNs <= now) ++due;
    if (due == 0) return Poll::Pending;
    std::swap(current, queue[due - 1]);
    for (std::size_t i = 0; i < due; ++i) spare.push_back(std::move(queue[i]));
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(due));
    dropped += static_cast<std::int64_t>(due) - 1;
    ++taken;
    queueChanged.notify_all();
    return Poll::Frame;
  }
};

std::unique_ptr<Movie> Movie::Open(const std::string& path, const Options& options, std::string* error) {
  thread::Clock& clock = options.clock != nullptr ? *options.clock : thread::MonotonicClock();
  if (!LibrariesLoaded(path, error)) return nullptr;
  auto impl = std::make_unique<Impl>(options, clock);
  if (ToAv(options.layout) == AV_PIX_FMT_NONE) return SetError(error, "bad pixel layout"), nullptr;
  if (!impl->OpenFile(path, error)) return nullptr;
  return std::unique_ptr<Movie>(new Movie(std::move(impl)));
}

Movie::Movie(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Movie::~Movie() = default;

int Movie::Width() const { return impl_->width; }
int Movie::Height() const { return impl_->height; }
PixelLayout Movie::Layout() const { return impl_->options.layout; }
bool Movie::HasSound() const { return impl_->voice != nullptr; }
std::int64_t Movie::DurationNs() const { return impl_->durationNs; }
bool Movie::Run(std::int64_t positionNs) { return impl_->Run(positionNs); }
void Movie::Stop() { impl_->Stop(); }
bool Movie::IsRunning() const { return impl_->running; }
std::int64_t Movie::PositionNs() const { return impl_->Position(); }
Poll Movie::TakeFrame() { return impl_->TakeFrame(); }
const Frame& Movie::Current() const { return impl_->current; }
std::int64_t Movie::FramesTaken() const { return impl_->taken; }
std::int64_t Movie::FramesDropped() const { return impl_->dropped; }
int Movie::FramesQueued() const { return impl_->Queued(); }

struct PictureReader::Impl {
  Movie::Impl movie;
  AVFrame* picture = nullptr;
  bool holding = false;  // `picture` holds a decoded picture
  bool draining = false;

  Impl(const Options& o, thread::Clock& c) : movie(o, c) {}
  ~Impl() { av_frame_free(&picture); }

  bool Decode() {
    holding = false;
    for (;;) {
      const int r = avcodec_receive_frame(movie.video, picture);
      if (r >= 0) return holding = true;
      if (r != AVERROR(EAGAIN) || draining) return false;
      if (av_read_frame(movie.format, movie.packet) < 0) {
        draining = true;
        avcodec_send_packet(movie.video, nullptr);
        continue;
      }
      // A packet the decoder refuses is skipped, as a running movie skips it.
      if (movie.packet->stream_index == movie.videoIndex) avcodec_send_packet(movie.video, movie.packet);
      av_packet_unref(movie.packet);
    }
  }

  bool Rewind() {
    holding = draining = false;
    av_frame_unref(picture);
    return movie.Seek(kBeforeStartNs);
  }
};

std::unique_ptr<PictureReader> PictureReader::Open(const std::string& path, const Options& options,
                                                   std::string* error) {
  Options silent = options;
  silent.mixer = nullptr;
  if (!LibrariesLoaded(path, error)) return nullptr;
  auto impl = std::make_unique<Impl>(silent, thread::MonotonicClock());
  if (ToAv(options.layout) == AV_PIX_FMT_NONE) return SetError(error, "bad pixel layout"), nullptr;
  if (!impl->movie.OpenFile(path, error)) return nullptr;
  impl->picture = av_frame_alloc();
  if (impl->picture == nullptr) return SetError(error, "out of memory"), nullptr;
  return std::unique_ptr<PictureReader>(new PictureReader(std::move(impl)));
}

PictureReader::PictureReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PictureReader::~PictureReader() = default;

int PictureReader::Width() const { return impl_->movie.width; }
int PictureReader::Height() const { return impl_->movie.height; }
bool PictureReader::Decode() { return impl_->Decode(); }
bool PictureReader::Convert(Frame& frame) { return impl_->holding && impl_->movie.Convert(impl_->picture, frame); }
bool PictureReader::Rewind() { return impl_->Rewind(); }

}  // namespace platform::movie
