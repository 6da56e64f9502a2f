#include "device/vxlwavestream.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/vxrefusal.h"

namespace {

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24); }

bool IsPlainPcm(const tWAVEFORMATEX& f) {
  return f.wFormatTag == kWaveFormatPcm && f.nChannels >= 1 && f.nChannels <= 16 && f.wBitsPerSample >= 8 &&
         f.wBitsPerSample <= 32 && f.wBitsPerSample % 8 == 0 && f.nSamplesPerSec > 0;
}

bool IsFloatPcm(const tWAVEFORMATEX& f) {
  return f.wFormatTag == kWaveFormatIeeeFloat && f.nChannels >= 1 && f.nChannels <= 16 &&
         (f.wBitsPerSample == 32 || f.wBitsPerSample == 64) && f.nSamplesPerSec > 0;
}

// Why a PCM or floating-point format record cannot be read.
bool RefusePcm(const tWAVEFORMATEX& f) {
  if (f.nChannels == 0) return VXRefuse("the format names no channels");
  if (f.nChannels > 16) return VXRefuse("more than 16 channels");
  if (f.nSamplesPerSec == 0) return VXRefuse("the format names no sample rate");
  char reason[96];
  std::snprintf(reason, sizeof reason, "%s samples of %u bits are not supported",
                f.wFormatTag == kWaveFormatIeeeFloat ? "floating-point" : "PCM", f.wBitsPerSample);
  return VXRefuse(reason);
}

// The little-endian 16-bit sample nearest to one sample of a wider or floating-point format.
using NarrowProc = void (*)(const std::uint8_t* in, std::uint8_t* out);

template <int Bytes>
void NarrowInteger(const std::uint8_t* in, std::uint8_t* out) {
  out[0] = in[Bytes - 2];
  out[1] = in[Bytes - 1];
}

template <class Float>
void NarrowFloat(const std::uint8_t* in, std::uint8_t* out) {
  Float v;
  std::memcpy(&v, in, sizeof v);
  // NaN compares false both ways and becomes 0.
  const Float scaled = v * 32768;
  const long sample = scaled >= 32767 ? 32767 : scaled <= -32768 ? -32768 : scaled == scaled ? std::lround(scaled) : 0;
  out[0] = static_cast<std::uint8_t>(sample & 0xFF);
  out[1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
}

}  // namespace

namespace vx_detail {

// What stands in for the compression manager: turns the data of the code stream into 16-bit PCM, one block at a
// time. It reads the data range [start, start + length) of the code stream itself.
class AcmConverter {
public:
  AcmConverter(VXStream* code, std::int64_t start, std::int64_t length) : code_(code), start_(start), length_(length) {}
  virtual ~AcmConverter() = default;

  int Channels() const { return channels_; }
  int Rate() const { return rate_; }
  std::int64_t DecodedBytes() const { return decodedBytes_; }
  std::size_t BlockBytes() const { return blockBytes_; }
  // The next piece of output into a block of BlockBytes(); 0 at the end of the data or on damaged data.
  virtual int Convert(std::uint8_t* out) = 0;
  // The code stream is back at the first data byte.
  virtual bool Restart() {
    read_ = 0;
    return true;
  }
  // Whether SeekFrame works: the next Convert starts at any frame, found without decoding.
  virtual bool CanSeek() const { return false; }
  virtual bool SeekFrame(std::int64_t) { return false; }

protected:
  int ReadData(void* buffer, std::int64_t count) {
    count = std::clamp<std::int64_t>(count, 0, length_ - read_);
    const int got = code_->Read(buffer, static_cast<int>(count));
    read_ += got;
    return got;
  }

  VXStream* code_;
  std::int64_t start_;
  std::int64_t length_;
  std::int64_t read_ = 0;
  int channels_ = 0;
  int rate_ = 0;
  std::int64_t decodedBytes_ = 0;
  std::size_t blockBytes_ = 0;
};

namespace {

// PCM of 24 or 32 bits and floating-point samples, narrowed to 16 bits sample by sample. Seekable when the code
// stream is.
class NarrowingConverter final : public AcmConverter {
public:
  static constexpr int kFramesPerConversion = 4096;

  static std::unique_ptr<AcmConverter> Make(const tWAVEFORMATEX& f, VXStream* code, std::int64_t start,
                                            std::int64_t length) {
    const bool isFloat = f.wFormatTag == kWaveFormatIeeeFloat;
    NarrowProc narrow = nullptr;
    if (isFloat) narrow = f.wBitsPerSample == 32 ? NarrowFloat<float> : NarrowFloat<double>;
    if (!isFloat) narrow = f.wBitsPerSample == 24 ? NarrowInteger<3> : NarrowInteger<4>;
    auto c = std::unique_ptr<NarrowingConverter>(new NarrowingConverter(code, start, length));
    c->narrow_ = narrow;
    c->sampleBytes_ = f.wBitsPerSample / 8;
    c->channels_ = f.nChannels;
    c->rate_ = static_cast<int>(f.nSamplesPerSec);
    const std::int64_t frames = length / (c->sampleBytes_ * c->channels_);
    c->decodedBytes_ = frames * c->channels_ * 2;
    // A fixed number of frames at a time: the rate is the file's word and may be anything.
    c->blockBytes_ = static_cast<std::size_t>(kFramesPerConversion) * c->channels_ * 2;
    c->in_.resize(c->blockBytes_ / 2 * c->sampleBytes_);
    return c;
  }

  int Convert(std::uint8_t* out) override {
    const int frameBytes = sampleBytes_ * channels_;
    const int got = ReadData(in_.data(), static_cast<std::int64_t>(in_.size()));
    const int samples = got / frameBytes * channels_;
    for (int i = 0; i < samples; ++i) narrow_(in_.data() + i * sampleBytes_, out + 2 * i);
    return samples * 2;
  }

  bool CanSeek() const override { return code_->IsSeekable(); }
  bool SeekFrame(std::int64_t frame) override {
    const std::int64_t byte = frame * sampleBytes_ * channels_;
    if (!CanSeek() || byte > length_ || !code_->SetPosition(start_ + byte)) return false;
    read_ = byte;
    return true;
  }

private:
  using AcmConverter::AcmConverter;

  NarrowProc narrow_ = nullptr;
  int sampleBytes_ = 0;
  std::vector<std::uint8_t> in_;
};

// Microsoft ADPCM: blocks of a header per channel (predictor, delta, two samples) and 4-bit codes, high nibble
// first, channels interleaved code by code.
class MsAdpcmConverter final : public AcmConverter {
public:
  static std::unique_ptr<AcmConverter> Make(const tWAVEFORMATEX& f, VXStream* code, std::int64_t start,
                                            std::int64_t length) {
    const int ch = f.nChannels;
    if (ch < 1 || ch > 2) return VXRefuseNull("Microsoft ADPCM of other than one or two channels");
    if (f.nBlockAlign < 7 * ch || f.extra.size() < 4 || f.nSamplesPerSec == 0) {
      return VXRefuseNull("damaged Microsoft ADPCM format record");
    }
    const int perBlock = U16(f.extra.data());
    const std::size_t coefCount = U16(f.extra.data() + 2);
    if (coefCount == 0 || f.extra.size() < 4 + 4 * coefCount) {
      return VXRefuseNull("damaged Microsoft ADPCM coefficients");
    }
    if (perBlock < 2 || perBlock > SamplesIn(f.nBlockAlign, ch)) {
      return VXRefuseNull("Microsoft ADPCM samples per block do not fit its blocks");
    }
    auto c = std::unique_ptr<MsAdpcmConverter>(new MsAdpcmConverter(code, start, length));
    for (std::size_t i = 0; i < coefCount; ++i) {
      c->coefs_.push_back({static_cast<std::int16_t>(U16(&f.extra[4 + 4 * i])),
                           static_cast<std::int16_t>(U16(&f.extra[6 + 4 * i]))});
    }
    c->channels_ = ch;
    c->rate_ = static_cast<int>(f.nSamplesPerSec);
    c->blockAlign_ = f.nBlockAlign;
    c->perBlock_ = perBlock;
    const std::int64_t rest = length % f.nBlockAlign;
    const std::int64_t samples = length / f.nBlockAlign * perBlock +
                                 (rest >= 7 * ch ? std::min<std::int64_t>(perBlock, SamplesIn(rest, ch)) : 0);
    c->decodedBytes_ = samples * ch * 2;
    c->blockBytes_ = static_cast<std::size_t>(perBlock) * ch * 2;
    c->in_.resize(f.nBlockAlign);
    return c;
  }

  int Convert(std::uint8_t* out) override {
    const int got = ReadData(in_.data(), blockAlign_);
    const int ch = channels_;
    if (got < 7 * ch) return 0;
    const int samples = static_cast<int>(std::min<std::int64_t>(perBlock_, SamplesIn(got, ch)));
    const std::uint8_t* p = in_.data();
    Channel state[2];
    for (int c = 0; c < ch; ++c) {
      if (p[c] >= coefs_.size()) return 0;  // a predictor the file does not define: damaged data ends here
      state[c].coef = coefs_[p[c]];
    }
    p += ch;
    for (int c = 0; c < ch; ++c, p += 2) state[c].delta = static_cast<std::int16_t>(U16(p));
    for (int c = 0; c < ch; ++c, p += 2) state[c].s1 = static_cast<std::int16_t>(U16(p));
    for (int c = 0; c < ch; ++c, p += 2) state[c].s2 = static_cast<std::int16_t>(U16(p));
    std::int16_t* pcm = reinterpret_cast<std::int16_t*>(out);
    for (int c = 0; c < ch; ++c) pcm[c] = static_cast<std::int16_t>(state[c].s2);
    for (int c = 0; c < ch; ++c) pcm[ch + c] = static_cast<std::int16_t>(state[c].s1);
    const int codes = (samples - 2) * ch;
    for (int i = 0; i < codes; ++i) {
      const int nibble = (i % 2 == 0) ? p[i / 2] >> 4 : p[i / 2] & 15;
      pcm[2 * ch + i] = state[i % ch].Next(nibble);
    }
    return samples * ch * 2;
  }

private:
  using AcmConverter::AcmConverter;

  struct Coef {
    std::int16_t c1;
    std::int16_t c2;
  };

  struct Channel {
    Coef coef{};
    std::int32_t delta = 0;
    std::int32_t s1 = 0;
    std::int32_t s2 = 0;

    static constexpr std::int32_t kMaxDelta = INT32_MAX / 768;

    std::int16_t Next(int nibble) {
      static constexpr std::int32_t kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                                  768, 614, 512, 409, 307, 230, 230, 230};
      const std::int32_t signedNibble = nibble >= 8 ? nibble - 16 : nibble;
      const std::int32_t predicted = (s1 * coef.c1 + s2 * coef.c2) / 256;
      const std::int32_t sample = std::clamp(predicted + signedNibble * delta, -32768, 32767);
      s2 = s1;
      s1 = sample;
      // Damaged data can keep raising the step; hold it where the next step and sample stay in range.
      delta = std::clamp(delta * kAdapt[nibble] / 256, 16, kMaxDelta);
      return static_cast<std::int16_t>(sample);
    }
  };

  // Samples per channel in a block of `bytes`.
  static std::int64_t SamplesIn(std::int64_t bytes, int ch) { return 2 + (bytes - 7 * ch) * 2 / ch; }

  std::vector<Coef> coefs_;
  int blockAlign_ = 0;
  int perBlock_ = 0;
  std::vector<std::uint8_t> in_;
};

// MPEG audio through libmpg123, which reads the data range of the code stream through our callbacks.
class Mp3Converter final : public AcmConverter {
public:
  static std::unique_ptr<AcmConverter> Make(VXStream* code, std::int64_t start, std::int64_t length) {
    static const int initialised = mpg123_init();
    if (initialised != MPG123_OK) return VXRefuseNull("the MPEG audio decoder does not start");
    auto c = std::unique_ptr<Mp3Converter>(new Mp3Converter(code, start, length));
    if (const char* refusal = c->Open()) return VXRefuseNull(refusal);
    return c;
  }

  ~Mp3Converter() override {
    if (handle_ != nullptr) {
      mpg123_close(handle_);
      mpg123_delete(handle_);
    }
  }

  int Convert(std::uint8_t* out) override {
    for (int tries = 0; tries < 4; ++tries) {
      size_t done = 0;
      const int result = mpg123_read(handle_, out, blockBytes_, &done);
      if (done > 0) return static_cast<int>(done);
      if (result != MPG123_NEW_FORMAT) return 0;
    }
    return 0;
  }

  // A fresh handle: a reopened one can take seconds to find its way through a damaged file again. The data must
  // give the same format again (the stream's buffers are sized for it).
  bool Restart() override {
    AcmConverter::Restart();
    mpg123_close(handle_);
    mpg123_delete(handle_);
    handle_ = nullptr;
    const int channels = channels_, rate = rate_;
    const std::size_t blockBytes = blockBytes_;
    return Open() == nullptr && channels_ == channels && rate_ == rate && blockBytes_ == blockBytes;
  }

private:
  using AcmConverter::AcmConverter;

  // Null when open, else why not.
  const char* Open() {
    static constexpr const char* kUnreadable = "MPEG audio that the decoder cannot read";
    handle_ = mpg123_new(nullptr, nullptr);
    if (handle_ == nullptr) return kUnreadable;
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Every rate and channel count, always as signed 16-bit samples.
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(handle_, &ReadCallback, &SeekCallback, nullptr) != MPG123_OK) return kUnreadable;
    if (mpg123_open_handle(handle_, this) != MPG123_OK) return kUnreadable;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK) return kUnreadable;
    if (channels < 1 || channels > 2 || rate <= 0) return kUnreadable;
    // Keep the first frame's format for the whole stream.
    mpg123_format_none(handle_);
    mpg123_format(handle_, rate, channels, MPG123_ENC_SIGNED_16);
    if (code_->IsSeekable() && mpg123_scan(handle_) != MPG123_OK) return kUnreadable;
    const off_t samples = mpg123_length(handle_);
    if (samples <= 0) return "MPEG audio of unknown length";  // an unknown length cannot be announced
    channels_ = channels;
    rate_ = static_cast<int>(rate);
    decodedBytes_ = static_cast<std::int64_t>(samples) * channels * 2;
    blockBytes_ = static_cast<std::size_t>(rate) * channels * 2;
    return nullptr;
  }

  static mpg123_ssize_t ReadCallback(void* self, void* buffer, size_t count) {
    auto* c = static_cast<Mp3Converter*>(self);
    return c->ReadData(buffer, static_cast<std::int64_t>(std::min<size_t>(count, 1 << 30)));
  }

  // Positions are relative to the first data byte; a code stream that cannot seek makes the data unseekable.
  static off_t SeekCallback(void* self, off_t offset, int whence) {
    auto* c = static_cast<Mp3Converter*>(self);
    if (!c->code_->IsSeekable()) return -1;
    std::int64_t target = offset;
    if (whence == SEEK_CUR) target += c->read_;
    if (whence == SEEK_END) target += c->length_;
    if (target < 0 || target > c->length_ || !c->code_->SetPosition(c->start_ + target)) return -1;
    c->read_ = target;
    return static_cast<off_t>(target);
  }

  mpg123_handle* handle_ = nullptr;
};

}  // namespace
}  // namespace vx_detail

// ---- VXAcmStream ----

VXAcmStream::VXAcmStream(VXStream* code) : VXPcmStream(code) {}

VXAcmStream::~VXAcmStream() { AcmClose(); }

namespace {

// The converter for a format that does not pass through; null (with the reason named) when there is none.
std::unique_ptr<vx_detail::AcmConverter> MakeConverter(const tWAVEFORMATEX& format, VXStream* code,
                                                       std::int64_t start, std::int64_t length) {
  using namespace vx_detail;
  switch (format.wFormatTag) {
    case kWaveFormatPcm:
    case kWaveFormatIeeeFloat:
      if (!IsPlainPcm(format) && !IsFloatPcm(format)) {
        RefusePcm(format);
        return nullptr;
      }
      return NarrowingConverter::Make(format, code, start, length);
    case kWaveFormatAdpcm: return MsAdpcmConverter::Make(format, code, start, length);
    case kWaveFormatMpegLayer3: return Mp3Converter::Make(code, start, length);
    default: {
      char reason[64];
      std::snprintf(reason, sizeof reason, "WAVE format 0x%04X is not supported", format.wFormatTag);
      return VXRefuseNull(reason);
    }
  }
}

}  // namespace

bool VXAcmStream::AcmOpen(const tWAVEFORMATEX& format, std::uint32_t dataLength, bool, std::uint16_t channels,
                          std::uint16_t bits, std::uint32_t rate) {
  AcmClose();
  if (code_ == nullptr) return false;
  dataStart_ = code_->GetPosition();
  dataLength_ = dataLength;
  if (dataStart_ < 0) return false;
  // PCM of 8 or 16 bits, or of the width asked for, passes through; everything else is converted to 16 bits.
  const bool passThrough =
      IsPlainPcm(format) && (bits != 0 ? bits == format.wBitsPerSample : format.wBitsPerSample <= 16);
  try {
    if (passThrough) {
      if ((channels != 0 && channels != format.nChannels) || (rate != 0 && rate != format.nSamplesPerSec)) {
        return VXRefuse("the sound is not in the format asked for");
      }
      channels_ = format.nChannels;
      bits_ = format.wBitsPerSample;
      rate_ = static_cast<int>(format.nSamplesPerSec);
      const std::int64_t samples = dataLength_ / FrameBytes();
      length_ = samples * FrameBytes();
      seekable_ = code_->IsSeekable();
    } else {
      converter_ = MakeConverter(format, code_, dataStart_, dataLength_);
      if (!converter_) return false;
      if ((channels != 0 && channels != converter_->Channels()) || (bits != 0 && bits != 16) ||
          (rate != 0 && static_cast<int>(rate) != converter_->Rate())) {
        converter_.reset();
        return VXRefuse("the sound is not in the format asked for");
      }
      channels_ = converter_->Channels();
      rate_ = converter_->Rate();
      bits_ = 16;
      length_ = converter_->DecodedBytes() / FrameBytes() * FrameBytes();
      block_.resize(converter_->BlockBytes());
      seekable_ = converter_->CanSeek();
    }
  } catch (const std::bad_alloc&) {
    converter_.reset();
    return VXRefuse("out of memory");
  }
  if (length_ <= 0 || length_ > kMaxDecodedBytes) {
    AcmClose();
    return VXRefuse(length_ <= 0 ? "no sound in the data" : "longer than a sound may be (2 GB decoded)");
  }
  samples_ = static_cast<int>(length_ / FrameBytes());
  consumed_ = position_ = 0;
  leftover_ = leftoverAt_ = 0;
  codeEnded_ = false;
  end_ = false;
  open_ = true;
  return true;
}

bool VXAcmStream::AcmClose() {
  converter_.reset();
  block_ = {};
  open_ = false;
  seekable_ = false;
  end_ = true;
  return true;
}

int VXAcmStream::ReadCode(void* buffer, int count) {
  count = static_cast<int>(std::min<std::int64_t>(count, dataLength_ - consumed_));
  const int got = std::max(code_->Read(buffer, count), 0);
  consumed_ += got;
  if (got < count) codeEnded_ = true;
  return got;
}

int VXAcmStream::Decode(void* buffer, int count) {
  if (!open_ || count <= 0) return 0;
  const int n = static_cast<int>(std::min<std::int64_t>(count, length_ - position_));
  int out = 0;
  auto* dst = static_cast<std::uint8_t*>(buffer);
  if (!converter_) {
    out = n > 0 ? ReadCode(dst, n) : 0;
  } else {
    while (out < n) {
      if (leftover_ == 0) {
        const int got = converter_->Convert(block_.data());
        if (got <= 0) {
          codeEnded_ = true;
          break;
        }
        leftoverAt_ = 0;
        leftover_ = static_cast<std::size_t>(got);
      }
      const std::size_t take = std::min<std::size_t>(leftover_, static_cast<std::size_t>(n - out));
      std::memcpy(dst + out, block_.data() + leftoverAt_, take);
      leftoverAt_ += take;
      leftover_ -= take;
      out += static_cast<int>(take);
    }
  }
  position_ += out;
  // A truncated file ends where its data ends, not where its header said it would.
  if (position_ >= length_ || (codeEnded_ && leftover_ == 0)) end_ = true;
  return out;
}

bool VXAcmStream::AcmReset() {
  if (!open_) return false;
  if (!CodeSeekForward(dataStart_) || (converter_ && !converter_->Restart())) {
    AcmClose();
    return false;
  }
  consumed_ = position_ = 0;
  leftover_ = leftoverAt_ = 0;
  codeEnded_ = false;
  end_ = false;
  return true;
}

bool VXAcmStream::AcmSeek(int sample) {
  if (!open_ || !seekable_ || sample < 0 || sample > samples_) return false;
  if (sample == samples_) {
    position_ = length_;
    leftover_ = 0;
    end_ = true;
    return true;
  }
  const std::int64_t byte = static_cast<std::int64_t>(sample) * FrameBytes();
  if (converter_ ? !converter_->SeekFrame(sample) : !code_->SetPosition(dataStart_ + byte)) return false;
  consumed_ = position_ = byte;
  leftover_ = 0;
  codeEnded_ = false;
  end_ = false;
  return true;
}

// ---- VXWaveStream ----

VXWaveStream::VXWaveStream(VXStream* code, bool realTime) : VXAcmStream(code) { WaveFileOpen(realTime); }

bool VXWaveStream::WaveFileOpen(bool realTime) {
  VXRefusalScope scope;
  tWAVEFORMATEX format;
  std::int64_t dataOffset = 0;
  std::int64_t dataLength = 0;
  if (!WaveHeaderAnalysis(format, dataOffset, dataLength)) return false;
  if (!CodeSeekForward(dataOffset)) return VXRefuse("the data cannot be reached");
  return AcmOpen(format, static_cast<std::uint32_t>(dataLength), realTime, 0, 0, 0);
}

namespace {

// The extensible record names its format by a GUID whose first two bytes are the format tag of the plain record.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Reads the body of a "fmt " chunk; an extensible record becomes the plain record of its sub-format.
bool ParseFormat(const std::uint8_t* body, std::int64_t size, tWAVEFORMATEX& format) {
  format.wFormatTag = U16(body);
  format.nChannels = U16(body + 2);
  format.nSamplesPerSec = U32(body + 4);
  format.nAvgBytesPerSec = U32(body + 8);
  format.nBlockAlign = U16(body + 12);
  format.wBitsPerSample = size >= 16 ? U16(body + 14) : 0;
  const std::int64_t extra = size >= 18 ? std::min<std::int64_t>(U16(body + 16), size - 18) : 0;
  format.extra.assign(body + 18, body + 18 + extra);
  if (format.wFormatTag != kWaveFormatExtensible) return true;
  // valid bits (2), channel mask (4), sub-format GUID (16)
  if (extra < 22) return VXRefuse("cut extensible WAVE format record");
  const std::uint8_t* guid = body + 18 + 6;
  if (std::memcmp(guid + 2, kSubFormatTail, sizeof kSubFormatTail) != 0) {
    return VXRefuse("extensible WAVE of a sub-format that is not supported");
  }
  format.wFormatTag = U16(guid);
  format.extra.clear();
  return true;
}

}  // namespace

bool VXWaveStream::WaveHeaderAnalysis(tWAVEFORMATEX& format, std::int64_t& dataOffset, std::int64_t& dataLength) {
  VXStream* code = code_;
  if (code == nullptr) return false;
  const std::int64_t size = code->GetSize();
  std::uint8_t head[12];
  if (size < 12 || !code->Reset() || code->Read(head, 12) != 12) return VXRefuse("too short for a WAVE file");
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
    return VXRefuse("not a RIFF WAVE file");
  }
  // Sizes are 32-bit in the file; the walk is in 64 bits and never goes past what the stream holds.
  const std::int64_t end = std::min<std::int64_t>(static_cast<std::int64_t>(U32(head + 4)) + 8, size);
  bool haveFormat = false;
  for (std::int64_t offset = 12; offset + 8 <= end;) {
    std::uint8_t chunk[8];
    if (!CodeSeekForward(offset) || code->Read(chunk, 8) != 8) return VXRefuse("the file ends inside a chunk header");
    const std::int64_t chunkSize = U32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      std::uint8_t body[256] = {};
      if (chunkSize < 14 || chunkSize > static_cast<std::int64_t>(sizeof body)) {
        return VXRefuse("a \"fmt \" chunk of a size no format record has");
      }
      if (code->Read(body, static_cast<int>(chunkSize)) != chunkSize) return VXRefuse("the file ends in its format");
      if (!ParseFormat(body, chunkSize, format)) return false;
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return VXRefuse("the \"data\" chunk comes before the \"fmt \" chunk");
      dataOffset = offset + 8;
      dataLength = std::min(chunkSize, size - dataOffset);
      return dataLength > 0 || VXRefuse("the \"data\" chunk is empty");
    }
    offset += 8 + chunkSize + (chunkSize & 1);
  }
  return VXRefuse(haveFormat ? "no \"data\" chunk" : "no \"fmt \" chunk");
}

// ---- VXMp3Stream ----

VXMp3Stream::VXMp3Stream(VXStream* code, bool realTime) : VXAcmStream(code) { Mp3FileOpen(realTime); }

namespace {

// Checks the first frame header: MPEG audio, a layer, a bit rate that is neither free nor reserved, a known rate.
bool IsMpegFrameHeader(const std::uint8_t* h) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const int layer = (h[1] >> 1) & 3;  // 3: Layer I, 2: Layer II, 1: Layer III
  const int bitrateIndex = h[2] >> 4;
  const int rateIndex = (h[2] >> 2) & 3;
  return layer != 0 && bitrateIndex != 0 && bitrateIndex != 15 && rateIndex != 3;
}

constexpr int kId3v2HeaderBytes = 10;

// The bytes of the ID3v2 tag whose 10-byte header is `h` (header, body and footer); 0 when `h` starts no tag; -1
// when its version or synchsafe size is damaged.
std::int64_t Id3v2TagBytes(const std::uint8_t* h) {
  if (std::memcmp(h, "ID3", 3) != 0) return 0;
  if (h[3] == 0xFF || h[4] == 0xFF || (h[6] | h[7] | h[8] | h[9]) & 0x80) return -1;
  const std::int64_t body = (h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  const bool footer = (h[5] & 0x10) != 0;
  return kId3v2HeaderBytes + body + (footer ? kId3v2HeaderBytes : 0);
}

}  // namespace

// Encoders put ID3v2 tags before the first frame (one or more) and may end the file with a 128-byte ID3v1 tag; the
// data handed to the decoder is what lies between.
bool VXMp3Stream::Mp3FileOpen(bool realTime) {
  VXRefusalScope scope;
  if (code_ == nullptr) return false;
  const std::int64_t size = code_->GetSize();
  if (size <= 128 || !code_->Reset()) return VXRefuse("too short for MPEG audio");
  std::int64_t start = 0;
  std::uint8_t header[kId3v2HeaderBytes];
  for (;;) {
    if (!CodeSeekForward(start) || code_->Read(header, 4) != 4) return VXRefuse("no MPEG audio after the ID3v2 tag");
    if (std::memcmp(header, "ID3", 3) != 0) break;
    if (code_->Read(header + 4, kId3v2HeaderBytes - 4) != kId3v2HeaderBytes - 4) return VXRefuse("cut ID3v2 tag");
    const std::int64_t tag = Id3v2TagBytes(header);
    if (tag < 0) return VXRefuse("damaged ID3v2 tag header");
    if (tag > size - start) return VXRefuse("the ID3v2 tag claims more bytes than the file holds");
    start += tag;
  }
  if (!IsMpegFrameHeader(header)) return VXRefuse("no MPEG audio frame at the start of the data");
  std::int64_t end = size;
  if (code_->IsSeekable()) {
    std::uint8_t tag[3];
    if (code_->SetPosition(size - 128) && code_->Read(tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) end -= 128;
  }
  if (end - start <= 0 || end - start > 0xFFFFFFFFLL || !code_->Reset() || !CodeSeekForward(start)) {
    return VXRefuse("no MPEG audio between the tags");
  }
  tWAVEFORMATEX format;
  format.wFormatTag = kWaveFormatMpegLayer3;
  return AcmOpen(format, static_cast<std::uint32_t>(end - start), realTime, 0, 0, 0);
}
