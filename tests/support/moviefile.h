// Writes small MPEG-1 movies (program stream, mpeg1video with B-frames, optional mp2 sound) for the movie tests,
// the benchmark and the movie generator tool. Frame n of a flat movie is one grey level, FlatLevel(n), so that a
// decoded picture tells its own number. A scene movie looks like real footage (smooth gradients drifting under a few
// moving shapes, at a typical MPEG-1 rate, groups of I, P and B pictures); a busy movie carries a moving noise-like
// texture at a high rate, the worst case for the decoder.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace moviefile {

struct Spec {
  int width = 64;
  int height = 48;
  int fps = 25;
  int frames = 25;
  bool sound = true;
  // A noise-like texture, asked for at 4 Mbit/s: the encoder cannot hold that and writes about 14 Mbit/s of
  // I and B pictures only (every P picture becomes a new group).
  bool busy = false;
  bool scene = false;  // gradients and moving shapes, 2 Mbit/s (busy wins when both are set)
};

// The luma of flat frame n; frames step by 8 levels and wrap after 25.
inline int FlatLevel(int n) { return 16 + 8 * (n % 25); }

// The frame number that a decoded grey B, G or R byte stands for (the studio-range luma mapped to full range).
inline int FrameFromGrey(int grey) {
  const double luma = grey * 219.0 / 255.0 + 16.0;
  return static_cast<int>(std::lround((luma - 16.0) / 8.0));
}

namespace detail {

struct Out {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  std::int64_t next = 0;

  ~Out() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }

  bool Open(AVFormatContext* fc, AVCodecID id) {
    format = fc;
    const AVCodec* enc = avcodec_find_encoder(id);
    if (enc == nullptr) return false;
    codec = avcodec_alloc_context3(enc);
    stream = avformat_new_stream(fc, nullptr);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    return codec != nullptr && stream != nullptr && frame != nullptr && packet != nullptr;
  }

  bool Start() {
    if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec, nullptr, nullptr) < 0) return false;
    return avcodec_parameters_from_context(stream->codecpar, codec) >= 0;
  }

  // Sends a frame (null drains) and writes every packet that comes out.
  bool Send(AVFrame* f) {
    if (avcodec_send_frame(codec, f) < 0) return false;
    for (;;) {
      const int r = avcodec_receive_packet(codec, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(format, packet) < 0) return false;
    }
  }
};

// Smooth gradients that drift, under a few soft-edged discs and a bar moving across them.
inline void FillScene(AVFrame* f, const Spec& s, int n) {
  struct Disc {
    int x, y, r, dx, dy, luma, u, v;
  };
  const Disc discs[] = {{s.width / 4, s.height / 3, s.height / 6, 5, 3, 200, 90, 170},
                        {s.width / 2, s.height / 2, s.height / 5, -4, 2, 80, 170, 110},
                        {s.width * 3 / 4, s.height * 2 / 3, s.height / 8, 3, -5, 150, 140, 60}};
  const auto wrap = [](int v, int size) { return ((v % size) + size) % size; };
  const int barX = wrap(n * 6, s.width);
  for (int y = 0; y < s.height; ++y) {
    std::uint8_t* row = f->data[0] + y * f->linesize[0];
    for (int x = 0; x < s.width; ++x) {
      // A faint fixed grain over the drifting gradient, as a real picture has detail.
      const int grain = ((x * 7 + y * 13) ^ (x * y)) % 9 - 4;
      int luma = 40 + (x + n * 2) * 120 / s.width + y * 60 / s.height + grain;
      if (x >= barX && x < barX + s.width / 16) luma = 210 - y * 40 / s.height;
      for (const Disc& d : discs) {
        const int cx = wrap(d.x + d.dx * n, s.width), cy = wrap(d.y + d.dy * n, s.height);
        const int dist2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (dist2 < d.r * d.r) luma = d.luma + (dist2 * 30) / (d.r * d.r);  // shaded towards the rim
      }
      row[x] = static_cast<std::uint8_t>(std::clamp(luma, 16, 235));
    }
  }
  for (int y = 0; y < s.height / 2; ++y)
    for (int x = 0; x < s.width / 2; ++x) {
      int u = 100 + (x * 2 + n) * 50 / s.width, v = 150 - (y * 2) * 40 / s.height;
      for (const Disc& d : discs) {
        const int cx = wrap(d.x + d.dx * n, s.width) / 2, cy = wrap(d.y + d.dy * n, s.height) / 2;
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < d.r * d.r / 4) u = d.u, v = d.v;
      }
      f->data[1][y * f->linesize[1] + x] = static_cast<std::uint8_t>(u);
      f->data[2][y * f->linesize[2] + x] = static_cast<std::uint8_t>(v);
    }
}

inline void FillPicture(AVFrame* f, const Spec& s, int n) {
  if (s.scene && !s.busy) return FillScene(f, s, n);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      f->data[0][y * f->linesize[0] + x] =
          static_cast<std::uint8_t>(s.busy ? 16 + ((x * 3 + y * 5 + n * 7) ^ (x * y + n)) % 220 : FlatLevel(n));
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < s.height / 2; ++y)
      for (int x = 0; x < s.width / 2; ++x)
        f->data[p][y * f->linesize[p] + x] = static_cast<std::uint8_t>(s.busy ? 128 + ((x + y * p + n) % 64) - 32 : 128);
}

}  // namespace detail

// False when any step fails.
inline bool Write(const std::string& path, const Spec& s = {}) {
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext* fc = nullptr;
  if (avformat_alloc_output_context2(&fc, nullptr, "mpeg", path.c_str()) < 0 || fc == nullptr) return false;
  bool ok = true;
  {
    detail::Out video, audio;
    ok = video.Open(fc, AV_CODEC_ID_MPEG1VIDEO);
    if (ok) {
      AVCodecContext* c = video.codec;
      c->width = s.width, c->height = s.height;
      c->time_base = {1, s.fps};
      c->framerate = {s.fps, 1};
      c->pix_fmt = AV_PIX_FMT_YUV420P;
      c->gop_size = 12;
      c->max_b_frames = 2;
      // A slice per row of macroblocks, as MPEG-1 encoders commonly write; it lets the decoder share a picture out.
      if (s.scene && !s.busy) c->slices = (s.height + 15) / 16;
      c->bit_rate = s.busy ? 4'000'000 : s.scene ? 2'000'000 : 400'000;
      video.stream->time_base = c->time_base;
      ok = video.Start();
    }
    if (ok && s.sound) {
      ok = audio.Open(fc, AV_CODEC_ID_MP2);
      if (ok) {
        AVCodecContext* c = audio.codec;
        c->sample_fmt = AV_SAMPLE_FMT_S16;
        c->sample_rate = 44100;
        av_channel_layout_default(&c->ch_layout, 2);
        c->bit_rate = 128000;
        c->time_base = {1, 44100};
        audio.stream->time_base = c->time_base;
        ok = audio.Start();
      }
    }
    ok = ok && avio_open(&fc->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    // The program stream's default rate is too low for busy pictures: packets would be lost.
    AVDictionary* muxOptions = nullptr;
    av_dict_set(&muxOptions, "muxrate", "20000000", 0);
    ok = ok && avformat_write_header(fc, &muxOptions) >= 0;
    av_dict_free(&muxOptions);
    if (ok) {
      AVFrame* vf = video.frame;
      vf->format = AV_PIX_FMT_YUV420P, vf->width = s.width, vf->height = s.height;
      ok = av_frame_get_buffer(vf, 0) >= 0;
      if (ok && s.sound) {
        AVFrame* af = audio.frame;
        af->format = AV_SAMPLE_FMT_S16, af->sample_rate = 44100, af->nb_samples = audio.codec->frame_size;
        av_channel_layout_copy(&af->ch_layout, &audio.codec->ch_layout);
        ok = av_frame_get_buffer(af, 0) >= 0;
      }
      const std::int64_t totalSamples = std::int64_t{s.frames} * 44100 / s.fps;
      int n = 0;
      while (ok && (n < s.frames || (s.sound && audio.next < totalSamples))) {
        const bool videoFirst =
            n < s.frames && (!s.sound || audio.next >= totalSamples || std::int64_t{n} * 44100 <= audio.next * s.fps);
        if (videoFirst) {
          ok = av_frame_make_writable(vf) >= 0;
          detail::FillPicture(vf, s, n);
          vf->pts = n++;
          ok = ok && video.Send(vf);
        } else {
          AVFrame* af = audio.frame;
          ok = av_frame_make_writable(af) >= 0;
          auto* pcm = reinterpret_cast<std::int16_t*>(af->data[0]);
          for (int i = 0; i < af->nb_samples; ++i) {
            const auto v = static_cast<std::int16_t>(8000 * std::sin((audio.next + i) * 2 * M_PI * 440 / 44100));
            pcm[2 * i] = pcm[2 * i + 1] = v;
          }
          af->pts = audio.next;
          audio.next += af->nb_samples;
          ok = ok && audio.Send(af);
        }
      }
      ok = ok && video.Send(nullptr) && (!s.sound || audio.Send(nullptr));
      ok = av_write_trailer(fc) >= 0 && ok;
    }
  }
  if (fc->pb != nullptr) avio_closep(&fc->pb);
  avformat_free_context(fc);
  return ok;
}

// How far the pictures run ahead of the sound in the file: the time of the latest picture packet read before the
// first sound packet, less that sound packet's time. The program-stream muxer holds sound back until it fills a
// whole packet and writes it well behind the pictures (most of a second for these movies); -1 when the file has no
// sound or cannot be read.
inline std::int64_t SoundLagNs(const std::string& path) {
  AVFormatContext* fc = nullptr;
  if (avformat_open_input(&fc, path.c_str(), nullptr, nullptr) < 0) return -1;
  std::int64_t lag = -1;
  AVPacket* p = av_packet_alloc();
  if (p != nullptr && avformat_find_stream_info(fc, nullptr) >= 0) {
    std::int64_t latestPicture = INT64_MIN;
    while (lag < 0 && av_read_frame(fc, p) >= 0) {
      const AVStream* st = fc->streams[p->stream_index];
      const std::int64_t t = p->dts == AV_NOPTS_VALUE ? INT64_MIN : av_rescale_q(p->dts, st->time_base, {1, 1'000'000'000});
      if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        latestPicture = std::max(latestPicture, t);
      else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && t != INT64_MIN)
        lag = latestPicture == INT64_MIN ? 0 : std::max<std::int64_t>(latestPicture - t, 0);
      av_packet_unref(p);
    }
  }
  av_packet_free(&p);
  avformat_close_input(&fc);
  return lag;
}

}  // namespace moviefile
