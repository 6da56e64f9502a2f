#include "tools/mpegwriter/mpegwriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <fstream>

namespace mpegwriter {

namespace {

// One encoded stream of the file: its encoder, a frame to fill and the packets it gives.
struct Stream {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;

  ~Stream() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }

  bool Open(AVFormatContext* fc, const AVCodec* encoder) {
    format = fc;
    if (encoder == nullptr) return false;
    codec = avcodec_alloc_context3(encoder);
    stream = avformat_new_stream(fc, nullptr);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (codec == nullptr || stream == nullptr || frame == nullptr || packet == nullptr) return false;
    codec->thread_count = 1;
    codec->flags |= AV_CODEC_FLAG_BITEXACT;
    return true;
  }

  bool Start() {
    stream->time_base = codec->time_base;
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

bool OpenVideo(Stream& video, AVFormatContext* fc, const Settings& s) {
  if (!video.Open(fc, avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO))) return false;
  AVCodecContext* c = video.codec;
  c->width = s.width, c->height = s.height;
  c->time_base = {1, s.fps};
  c->framerate = {s.fps, 1};
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->gop_size = s.gopSize;
  c->max_b_frames = s.maxBFrames;
  c->slices = s.slices;
  // The integer transform and the plain quantiser: the processor-tuned ones may round differently.
  c->dct_algo = FF_DCT_INT;
  c->idct_algo = FF_IDCT_SIMPLE;
  if (s.videoBitRate > 0) {
    c->bit_rate = s.videoBitRate;
  } else {
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * std::clamp(s.quantiser, 1, 31);
  }
  if (!video.Start()) return false;
  AVFrame* f = video.frame;
  f->format = AV_PIX_FMT_YUV420P, f->width = s.width, f->height = s.height;
  return av_frame_get_buffer(f, 0) >= 0;
}

bool OpenSound(Stream& audio, AVFormatContext* fc, const Settings& s) {
  // The fixed-point MP2 encoder: no floating point between the samples and the bytes.
  const AVCodec* encoder = avcodec_find_encoder_by_name("mp2fixed");
  if (encoder == nullptr) encoder = avcodec_find_encoder(AV_CODEC_ID_MP2);
  if (!audio.Open(fc, encoder)) return false;
  AVCodecContext* c = audio.codec;
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  c->sample_rate = kSampleRate;
  av_channel_layout_default(&c->ch_layout, 2);
  c->bit_rate = s.soundBitRate;
  c->time_base = {1, kSampleRate};
  if (!audio.Start()) return false;
  AVFrame* f = audio.frame;
  f->format = AV_SAMPLE_FMT_S16, f->sample_rate = kSampleRate, f->nb_samples = c->frame_size;
  return av_channel_layout_copy(&f->ch_layout, &c->ch_layout) >= 0 && av_frame_get_buffer(f, 0) >= 0;
}

// Encodes into the format context's output, pictures and sound interleaved by time.
bool Encode(AVFormatContext* fc, const Settings& s, int frames, const PictureFill& fillPicture,
            const SoundFill& fillSound, std::string& error) {
  Stream video, audio;
  if (!OpenVideo(video, fc, s)) return error = "no MPEG-1 video encoder", false;
  if (s.sound && !OpenSound(audio, fc, s)) return error = "no MP2 encoder", false;
  AVDictionary* options = nullptr;
  if (s.muxRate > 0) av_dict_set_int(&options, "muxrate", s.muxRate, 0);
  const bool headed = avformat_write_header(fc, &options) >= 0;
  av_dict_free(&options);
  if (!headed) return error = "the program stream cannot be started", false;

  const std::int64_t totalSamples = std::int64_t{frames} * kSampleRate / s.fps;
  std::int64_t nextSample = 0;
  int n = 0;
  bool ok = true;
  while (ok && (n < frames || (s.sound && nextSample < totalSamples))) {
    const bool soundDone = !s.sound || nextSample >= totalSamples;
    if (n < frames && (soundDone || std::int64_t{n} * kSampleRate <= nextSample * s.fps)) {
      AVFrame* f = video.frame;
      ok = av_frame_make_writable(f) >= 0;
      if (!ok) break;
      Planes planes{{f->data[0], f->data[1], f->data[2]}, {f->linesize[0], f->linesize[1], f->linesize[2]},
                    s.width, s.height};
      fillPicture(planes, n);
      f->quality = video.codec->global_quality;  // a constant quantiser is taken from each picture
      f->pts = n++;
      ok = video.Send(f);
    } else {
      AVFrame* f = audio.frame;
      ok = av_frame_make_writable(f) >= 0;
      if (!ok) break;
      // The last block runs past the end: the encoder takes whole blocks, the rest is silence.
      const int count = static_cast<int>(std::min<std::int64_t>(f->nb_samples, totalSamples - nextSample));
      auto* pcm = reinterpret_cast<std::int16_t*>(f->data[0]);
      std::fill(pcm, pcm + 2 * f->nb_samples, std::int16_t{0});
      fillSound(pcm, count, nextSample);
      f->pts = nextSample;
      nextSample += f->nb_samples;
      ok = audio.Send(f);
    }
  }
  ok = ok && video.Send(nullptr) && (!s.sound || audio.Send(nullptr));
  ok = av_write_trailer(fc) >= 0 && ok;
  if (!ok) error = "encoding failed";
  return ok;
}

}  // namespace

std::string WriteBytes(const Settings& settings, int frames, const PictureFill& picture, const SoundFill& sound,
                       std::string* error) {
  std::string message, bytes;
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext* fc = nullptr;
  if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 != 0 || settings.height % 2 != 0 ||
      frames <= 0) {
    message = "bad picture size or length";
  } else if (avformat_alloc_output_context2(&fc, nullptr, "mpeg", nullptr) < 0 || fc == nullptr) {
    message = "no MPEG program stream muxer";
  } else {
    fc->flags |= AVFMT_FLAG_BITEXACT;
    if (avio_open_dyn_buf(&fc->pb) < 0) {
      message = "no memory";
    } else {
      bool ok = false;
      try {
        ok = Encode(fc, settings, frames, picture, sound, message);
      } catch (...) {
        // A fill that throws: everything is released on the way out.
        std::uint8_t* buffer = nullptr;
        avio_close_dyn_buf(fc->pb, &buffer);
        av_free(buffer);
        fc->pb = nullptr;
        avformat_free_context(fc);
        throw;
      }
      std::uint8_t* buffer = nullptr;
      const int size = avio_close_dyn_buf(fc->pb, &buffer);
      fc->pb = nullptr;
      if (ok && size > 0) bytes.assign(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(size));
      av_free(buffer);
    }
  }
  avformat_free_context(fc);
  if (bytes.empty() && message.empty()) message = "nothing written";
  if (error != nullptr) *error = message;
  return bytes;
}

bool WriteFile(const std::string& path, const Settings& settings, int frames, const PictureFill& picture,
               const SoundFill& sound, std::string* error) {
  const std::string bytes = WriteBytes(settings, frames, picture, sound, error);
  if (bytes.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (out.flush()) return true;
  if (error != nullptr) *error = path + " cannot be written";
  return false;
}

void FromBgrx(const std::uint8_t* bgrx, int pitch, Planes& picture) {
  // Studio range: Y 16..235, Cb and Cr 16..240 around 128, fixed-point with 16 fraction bits.
  const auto luma = [](const std::uint8_t* p) {
    return (16829 * p[2] + 33039 * p[1] + 6416 * p[0] + (16 << 16) + 32768) >> 16;
  };
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* row = bgrx + static_cast<std::ptrdiff_t>(y) * pitch;
    std::uint8_t* out = picture.data[0] + static_cast<std::ptrdiff_t>(y) * picture.pitch[0];
    for (int x = 0; x < picture.width; ++x) out[x] = static_cast<std::uint8_t>(luma(row + 4 * x));
  }
  for (int y = 0; y < picture.height / 2; ++y) {
    const std::uint8_t* top = bgrx + static_cast<std::ptrdiff_t>(2 * y) * pitch;
    const std::uint8_t* bottom = top + pitch;
    std::uint8_t* cb = picture.data[1] + static_cast<std::ptrdiff_t>(y) * picture.pitch[1];
    std::uint8_t* cr = picture.data[2] + static_cast<std::ptrdiff_t>(y) * picture.pitch[2];
    for (int x = 0; x < picture.width / 2; ++x) {
      int b = 0, g = 0, r = 0;
      for (const std::uint8_t* p : {top + 8 * x, top + 8 * x + 4, bottom + 8 * x, bottom + 8 * x + 4})
        b += p[0], g += p[1], r += p[2];
      // Sums of four pixels: the coefficients carry the mean's quarter.
      cb[x] = static_cast<std::uint8_t>((-2428 * r - 4768 * g + 7196 * b + (128 << 16) + 32768) >> 16);
      cr[x] = static_cast<std::uint8_t>((7196 * r - 6026 * g - 1170 * b + (128 << 16) + 32768) >> 16);
    }
  }
}

}  // namespace mpegwriter
