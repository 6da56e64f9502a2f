// Sound files made in the tests: WAVE by bytes, Ogg Vorbis through libvorbisenc, tones, and a stream that cannot seek.
#pragma once

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/vxstream.h"

namespace fixtures {

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
