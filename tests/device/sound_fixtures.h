// Sound files made in the tests: WAVE by bytes, Ogg Vorbis through libvorbisenc, MP3 through FFmpeg's LAME encoder
// and MP3 muxer (as ffmpeg writes it: an ID3v2 tag, an Info frame), tones, and a stream that cannot seek.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstring>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/vxstream.h"
#include "support/seeds.h"

namespace fixtures {

// A seed of the sound decoders' fuzz target: its first byte picks the decoder (0 WAVE, 1 MPEG audio, 2 ADP, 3 Ogg
// Vorbis). An Ogg Vorbis file's headers alone take some 4 KiB.
inline void SaveSoundSeed(const char* name, char decoder, const std::string& file) {
  SaveSeed("sound_decode_fuzz", name, std::string(1, decoder) + file, 8192);
}

inline void PutU16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void PutU32(std::string& s, std::uint32_t v) {
  PutU16(s, v & 0xFFFF);
  PutU16(s, v >> 16);
}
inline void Chunk(std::string& s, const char* id, const std::string& body) {
  s.append(id, 4);
  PutU32(s, static_cast<std::uint32_t>(body.size()));
  s += body;
  if (body.size() % 2 != 0) s += '\0';
}

inline std::string FmtBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits, unsigned blockAlign,
                           const std::string& extra = {}) {
  std::string f;
  PutU16(f, tag);
  PutU16(f, channels);
  PutU32(f, rate);
  PutU32(f, rate * blockAlign);
  PutU16(f, blockAlign);
  PutU16(f, bits);
  if (!extra.empty() || tag != 1) {
    PutU16(f, static_cast<unsigned>(extra.size()));
    f += extra;
  }
  return f;
}

// A RIFF WAVE file of the given chunks (each an id and a body).
inline std::string Riff(const std::vector<std::pair<const char*, std::string>>& chunks) {
  std::string body = "WAVE";
  for (const auto& [id, b] : chunks) Chunk(body, id, b);
  std::string out = "RIFF";
  PutU32(out, static_cast<std::uint32_t>(body.size()));
  return out + body;
}

inline std::string PcmWave(unsigned channels, std::uint32_t rate, unsigned bits, const std::string& data) {
  return Riff({{"fmt ", FmtBody(1, channels, rate, bits, channels * bits / 8)}, {"data", data}});
}

inline std::string Bytes16(const std::vector<std::int16_t>& samples) {
  std::string s;
  for (std::int16_t v : samples) PutU16(s, static_cast<std::uint16_t>(v));
  return s;
}

// The standard seven predictor pairs of Microsoft ADPCM, after the samples per block.
inline std::string AdpcmExtra(unsigned samplesPerBlock) {
  static const int kCoefs[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  std::string e;
  PutU16(e, samplesPerBlock);
  PutU16(e, 7);
  for (const auto& c : kCoefs) {
    PutU16(e, static_cast<std::uint16_t>(c[0]));
    PutU16(e, static_cast<std::uint16_t>(c[1]));
  }
  return e;
}

// A Microsoft ADPCM WAVE file of `blocks` blocks of 1024 bytes, stereo: each block starts from a different pair of
// samples and wanders by small codes, so that no two stretches of the sound are alike.
inline std::string MsAdpcmWave(int blocks, std::uint32_t rate) {
  constexpr unsigned kBlock = 1024, kPerBlock = 2 + (kBlock - 14);
  std::string data;
  std::uint32_t seed = 12345;
  for (int b = 0; b < blocks; ++b) {
    std::string block;
    block += '\0';  // predictor pair 0 on both channels: a random walk
    block += '\0';
    for (int c = 0; c < 2; ++c) PutU16(block, 32);
    for (int c = 0; c < 4; ++c) PutU16(block, static_cast<unsigned>((b * 997 + c * 331) % 4000));
    while (block.size() < kBlock) {
      seed = seed * 1103515245 + 12345;
      static const char kSmall[4] = {0x01, 0x0F, 0x10, static_cast<char>(0xF1)};
      block += kSmall[(seed >> 16) & 3];
    }
    data += block;
  }
  return Riff({{"fmt ", FmtBody(2, 2, rate, 4, kBlock, AdpcmExtra(kPerBlock))}, {"data", data}});
}

// A rising sweep: no stretch of it repeats another, so a sound that resumes at the wrong sample is told apart.
inline std::vector<std::int16_t> Sweep(int frames, int channels, int rate, double amplitude = 8000) {
  std::vector<std::int16_t> out;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const auto v = static_cast<std::int16_t>(amplitude * std::sin(2 * M_PI * (200 + 50 * t) * t));
    for (int c = 0; c < channels; ++c) out.push_back(c == 0 ? v : static_cast<std::int16_t>(-v / 2));
  }
  return out;
}

// A tone of `frames` frames, every channel alike.
inline std::vector<std::int16_t> Tone(int frames, int channels, int rate, double hz = 440, double amplitude = 8000) {
  std::vector<std::int16_t> out;
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<std::int16_t>(amplitude * std::sin(2 * M_PI * hz * i / rate));
    for (int c = 0; c < channels; ++c) out.push_back(v);
  }
  return out;
}

inline std::string OggVorbis(const std::vector<std::int16_t>& pcm, int channels, int rate) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.3f) != 0) std::abort();
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1234);
  std::string out;
  ogg_page og;
  ogg_packet op;
  auto flush = [&](bool all) {
    while ((all ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) != 0) {
      out.append(reinterpret_cast<char*>(og.header), og.header_len);
      out.append(reinterpret_cast<char*>(og.body), og.body_len);
    }
  };
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  flush(true);
  const int frames = static_cast<int>(pcm.size()) / channels;
  for (int done = 0; done <= frames;) {
    const int n = std::min(4096, frames - done);
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, n);
      for (int i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) buffer[c][i] = pcm[(done + i) * channels + c] / 32768.0f;
      }
    }
    vorbis_analysis_wrote(&vd, n);
    done += n == 0 ? 1 : n;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      while (vorbis_bitrate_flushpacket(&vd, &op) != 0) {
        ogg_stream_packetin(&os, &op);
        flush(false);
      }
    }
  }
  flush(true);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

// Silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, no padding): a header and zero side information and data,
// which a decoder turns into 1152 frames of silence each.
inline std::string SilentMp3(int frames, bool mono = false) {
  std::string out;
  for (int i = 0; i < frames; ++i) {
    std::string frame(417, '\0');
    frame[0] = static_cast<char>(0xFF);
    frame[1] = static_cast<char>(0xFB);
    frame[2] = static_cast<char>(0x90);
    frame[3] = static_cast<char>(mono ? 0xC0 : 0x00);
    out += frame;
  }
  return out;
}

namespace detail {

// The muxer's output: a growing string that it may seek back into (to fill in the Info frame).
struct Mp3Sink {
  std::string bytes;
  std::int64_t at = 0;

  static int Write(void* self, std::uint8_t* data, int n) {  // FFmpeg 5 passes the bytes as not const
    auto* s = static_cast<Mp3Sink*>(self);
    if (s->bytes.size() < static_cast<std::size_t>(s->at + n)) s->bytes.resize(static_cast<std::size_t>(s->at + n));
    std::memcpy(s->bytes.data() + s->at, data, static_cast<std::size_t>(n));
    s->at += n;
    return n;
  }
  static std::int64_t Seek(void* self, std::int64_t offset, int whence) {
    auto* s = static_cast<Mp3Sink*>(self);
    if (whence == AVSEEK_SIZE) return static_cast<std::int64_t>(s->bytes.size());
    s->at = (whence & 3) == SEEK_END ? static_cast<std::int64_t>(s->bytes.size()) + offset
            : (whence & 3) == SEEK_CUR ? s->at + offset
                                       : offset;
    return s->at;
  }
};

}  // namespace detail

// An MP3 file of interleaved 16-bit samples, as ffmpeg writes one: an ID3v2.4 tag, an Info frame with the encoder's
// delay and padding (so that a gapless decoder gives back exactly `pcm`'s length), then the frames. Aborts when the
// encoder is missing.
inline std::string Mp3(const std::vector<std::int16_t>& pcm, int channels, int rate, int kbps = 128) {
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext* fc = nullptr;
  if (avformat_alloc_output_context2(&fc, nullptr, "mp3", nullptr) < 0) std::abort();
  const AVCodec* lame = avcodec_find_encoder_by_name("libmp3lame");
  if (lame == nullptr) std::abort();
  AVCodecContext* c = avcodec_alloc_context3(lame);
  AVStream* st = avformat_new_stream(fc, nullptr);
  c->sample_fmt = AV_SAMPLE_FMT_S16P;
  c->sample_rate = rate;
  av_channel_layout_default(&c->ch_layout, channels);
  c->bit_rate = kbps * 1000;
  c->time_base = {1, rate};
  st->time_base = c->time_base;
  if (avcodec_open2(c, nullptr, nullptr) < 0 || avcodec_parameters_from_context(st->codecpar, c) < 0) std::abort();
  detail::Mp3Sink sink;
  auto* buffer = static_cast<unsigned char*>(av_malloc(4096));
  fc->pb = avio_alloc_context(buffer, 4096, 1, &sink, nullptr, &detail::Mp3Sink::Write, &detail::Mp3Sink::Seek);
  if (avformat_write_header(fc, nullptr) < 0) std::abort();
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  auto send = [&](AVFrame* f) {
    if (avcodec_send_frame(c, f) < 0) std::abort();
    while (avcodec_receive_packet(c, packet) == 0) {
      av_packet_rescale_ts(packet, c->time_base, st->time_base);
      packet->stream_index = st->index;
      if (av_interleaved_write_frame(fc, packet) < 0) std::abort();
    }
  };
  const int frames = static_cast<int>(pcm.size()) / channels;
  for (int done = 0; done < frames;) {
    const int n = std::min(c->frame_size, frames - done);
    frame->format = c->sample_fmt;
    frame->sample_rate = rate;
    frame->nb_samples = n;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    if (av_frame_get_buffer(frame, 0) < 0) std::abort();
    for (int ch = 0; ch < channels; ++ch) {
      auto* plane = reinterpret_cast<std::int16_t*>(frame->data[ch]);
      for (int i = 0; i < n; ++i) plane[i] = pcm[static_cast<std::size_t>(done + i) * channels + ch];
    }
    frame->pts = done;
    send(frame);
    av_frame_unref(frame);
    done += n;
  }
  send(nullptr);
  if (av_write_trailer(fc) < 0) std::abort();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&c);
  av_freep(&fc->pb->buffer);
  avio_context_free(&fc->pb);
  avformat_free_context(fc);
  return sink.bytes;
}

inline VXMemoryStream* Memory(const std::string& bytes) {
  return new VXMemoryStream(bytes.data(), static_cast<int>(bytes.size()));
}

// A memory stream that reads forward only, as a pipe would; Reset goes back to the start.
class ForwardOnlyStream : public VXMemoryStream {
public:
  explicit ForwardOnlyStream(const std::string& bytes) : VXMemoryStream(bytes.data(), static_cast<int>(bytes.size())) {}
  bool IsSeekable() override { return false; }
  std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) override {
    return whence == VXSeekCurrent && offset == 0 ? VXMemoryStream::GetPosition() : -1;
  }
};

}  // namespace fixtures
