#include "tools/mkdemo/oggfile.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <stdexcept>

namespace mkdemo {

namespace {

constexpr int kSerial = 0x514F524D;  // any fixed number
constexpr long kBlock = 4096;        // frames handed to the encoder at a time

// The encoder's state, cleared whatever happens.
struct Encoder {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  bool analysing = false;

  Encoder(int channels, float quality) {
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    ogg_stream_init(&stream, kSerial);
    if (vorbis_encode_init_vbr(&info, channels, kSampleRate, quality) != 0 || vorbis_analysis_init(&dsp, &info) != 0)
      throw std::runtime_error("the Vorbis encoder refused the settings");
    vorbis_block_init(&dsp, &block);
    analysing = true;
  }
  ~Encoder() {
    ogg_stream_clear(&stream);
    if (analysing) {
      vorbis_block_clear(&block);
      vorbis_dsp_clear(&dsp);
    }
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }

  void Pages(std::string& out, bool flush) {
    ogg_page page;
    while ((flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) != 0) {
      out.append(reinterpret_cast<const char*>(page.header), static_cast<std::size_t>(page.header_len));
      out.append(reinterpret_cast<const char*>(page.body), static_cast<std::size_t>(page.body_len));
    }
  }

  void Packets(std::string& out) {
    ogg_packet packet;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
        ogg_stream_packetin(&stream, &packet);
        Pages(out, false);
      }
    }
  }
};

}  // namespace

std::string OggFile(const Sound& sound, float quality) {
  Encoder encoder(sound.channels, quality);
  std::string out;
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&encoder.dsp, &encoder.comment, &header, &comment, &code);
  ogg_stream_packetin(&encoder.stream, &header);
  ogg_stream_packetin(&encoder.stream, &comment);
  ogg_stream_packetin(&encoder.stream, &code);
  encoder.Pages(out, true);
  const long frames = sound.Frames();
  for (long done = 0; done < frames; done += kBlock) {
    const long n = std::min(kBlock, frames - done);
    float** buffer = vorbis_analysis_buffer(&encoder.dsp, static_cast<int>(n));
    for (long i = 0; i < n; ++i)
      for (int c = 0; c < sound.channels; ++c) buffer[c][i] = sound.samples[(done + i) * sound.channels + c];
    vorbis_analysis_wrote(&encoder.dsp, static_cast<int>(n));
    encoder.Packets(out);
  }
  vorbis_analysis_wrote(&encoder.dsp, 0);  // the end of the stream
  encoder.Packets(out);
  encoder.Pages(out, true);
  return out;
}

}  // namespace mkdemo
