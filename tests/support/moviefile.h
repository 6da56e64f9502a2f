// Writes small MPEG-1 movies (program stream, mpeg1video with B-frames, optional mp2 sound) for the movie tests,
// the benchmark and the movie generator tool. Frame n of a flat movie is one grey level, FlatLevel(n), so that a
// decoded picture tells its own number. A scene movie looks like real footage (smooth gradients drifting under a few
// moving shapes, at a typical MPEG-1 rate, groups of I, P and B pictures); a busy movie carries a moving noise-like
// texture at a high rate, the worst case for the decoder.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "tools/mpegwriter/mpegwriter.h"

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

// Smooth gradients that drift, under a few soft-edged discs and a bar moving across them.
inline void FillScene(mpegwriter::Planes& f, const Spec& s, int n) {
  struct Disc {
    int x, y, r, dx, dy, luma, u, v;
  };
  const Disc discs[] = {{s.width / 4, s.height / 3, s.height / 6, 5, 3, 200, 90, 170},
                        {s.width / 2, s.height / 2, s.height / 5, -4, 2, 80, 170, 110},
                        {s.width * 3 / 4, s.height * 2 / 3, s.height / 8, 3, -5, 150, 140, 60}};
  const auto wrap = [](int v, int size) { return ((v % size) + size) % size; };
  const int barX = wrap(n * 6, s.width);
  for (int y = 0; y < s.height; ++y) {
    std::uint8_t* row = f.data[0] + y * f.pitch[0];
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
      f.data[1][y * f.pitch[1] + x] = static_cast<std::uint8_t>(u);
      f.data[2][y * f.pitch[2] + x] = static_cast<std::uint8_t>(v);
    }
}

inline void FillPicture(mpegwriter::Planes& f, const Spec& s, int n) {
  if (s.scene && !s.busy) return FillScene(f, s, n);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      f.data[0][y * f.pitch[0] + x] =
          static_cast<std::uint8_t>(s.busy ? 16 + ((x * 3 + y * 5 + n * 7) ^ (x * y + n)) % 220 : FlatLevel(n));
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < s.height / 2; ++y)
      for (int x = 0; x < s.width / 2; ++x)
        f.data[p][y * f.pitch[p] + x] = static_cast<std::uint8_t>(s.busy ? 128 + ((x + y * p + n) % 64) - 32 : 128);
}

}  // namespace detail

// False when any step fails.
inline bool Write(const std::string& path, const Spec& s = {}) {
  mpegwriter::Settings settings;
  settings.width = s.width, settings.height = s.height, settings.fps = s.fps;
  settings.gopSize = 12, settings.maxBFrames = 2;
  // A slice per row of macroblocks, as MPEG-1 encoders commonly write; it lets the decoder share a picture out.
  if (s.scene && !s.busy) settings.slices = (s.height + 15) / 16;
  settings.videoBitRate = s.busy ? 4'000'000 : s.scene ? 2'000'000 : 400'000;
  settings.sound = s.sound;
  // The program stream's default rate is too low for busy pictures: packets would be lost.
  settings.muxRate = 20'000'000;
  const auto picture = [&s](mpegwriter::Planes& planes, int n) { detail::FillPicture(planes, s, n); };
  const auto tone = [](std::int16_t* pcm, int count, std::int64_t first) {
    for (int i = 0; i < count; ++i) {
      const auto v = static_cast<std::int16_t>(8000 * std::sin((first + i) * 2 * M_PI * 440 / 44100));
      pcm[2 * i] = pcm[2 * i + 1] = v;
    }
  };
  return mpegwriter::WriteFile(path, settings, s.frames, picture, tone);
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
