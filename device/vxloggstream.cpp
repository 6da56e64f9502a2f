#include "device/vxloggstream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/vxrefusal.h"
#include "platform/mixer.h"

namespace {

// Holes and bad links in a row beyond this end the data: a damaged file must not keep the decoder spinning.
constexpr int kMaxFailedReads = 32;

}  // namespace

VXOggStream::VXOggStream(VXStream* code) : VXPcmStream(code) { OggOpen(); }

size_t VXOggStream::OggStream_Read(void* buffer, size_t size, size_t count, void* source) {
  const size_t bytes = std::min<size_t>(size * count, 1 << 30);
  const int got = static_cast<VXStream*>(source)->Read(buffer, static_cast<int>(bytes));
  return got > 0 ? static_cast<size_t>(got) / std::max<size_t>(size, 1) : 0;
}

int VXOggStream::OggStream_Seek(void* source, ogg_int64_t offset, int whence) {
  auto* code = static_cast<VXStream*>(source);
  if (!code->IsSeekable() || whence < 0 || whence > 2) return -1;
  return code->Seek(offset, static_cast<VXSeekWhence>(whence)) < 0 ? -1 : 0;
}

int VXOggStream::OggStream_Close(void*) { return 0; }

long VXOggStream::OggStream_Tell(void* source) { return static_cast<long>(static_cast<VXStream*>(source)->GetPosition()); }

// Why an opened file cannot be played; null when it can.
const char* VXOggStream::Unplayable() {
  const vorbis_info* info = ov_info(&file_, -1);
  const ogg_int64_t samples = ov_pcm_total(&file_, -1);
  if (info == nullptr) return "damaged Ogg Vorbis headers";
  if (info->channels != 1 && info->channels != 2) return "Ogg Vorbis of other than one or two channels";
  if (info->rate < platform::audio::kFrequencyMin || info->rate > platform::audio::kFrequencyMax) {
    return "a sample rate outside 100 to 200,000 Hz";
  }
  // An unknown length (a stream that cannot seek) or one beyond what the PCM side can count is refused.
  if (samples <= 0) return ov_seekable(&file_) ? "no sound in the data" : "Ogg Vorbis of unknown length";
  if (samples * info->channels * 2 > kMaxDecodedBytes) return "longer than a sound may be (2 GB decoded)";
  return nullptr;
}

bool VXOggStream::OggOpen() {
  VXRefusalScope scope;
  OggClose();
  if (code_ == nullptr || !code_->Reset()) return false;
  const ov_callbacks callbacks{&OggStream_Read, &OggStream_Seek, &OggStream_Close, &OggStream_Tell};
  if (ov_open_callbacks(code_, &file_, nullptr, 0, callbacks) < 0) return VXRefuse("not an Ogg Vorbis file");
  if (const char* reason = Unplayable()) {
    ov_clear(&file_);
    return VXRefuse(reason);
  }
  const vorbis_info* info = ov_info(&file_, -1);
  const ogg_int64_t samples = ov_pcm_total(&file_, -1);
  channels_ = info->channels;
  rate_ = static_cast<int>(info->rate);
  bits_ = 16;
  samples_ = static_cast<int>(samples);
  decodedLength_ = samples * channels_ * 2;
  try {
    block_.assign(static_cast<std::size_t>(rate_) * channels_ * 2, 0);
  } catch (const std::bad_alloc&) {
    ov_clear(&file_);
    return VXRefuse("out of memory");
  }
  position_ = 0;
  blockAt_ = undelivered_ = 0;
  seekable_ = ov_seekable(&file_) != 0;
  end_ = false;
  open_ = true;
  return true;
}

bool VXOggStream::OggClose() {
  if (open_) {
    block_ = {};
    ov_clear(&file_);
  }
  end_ = true;
  open_ = false;
  return true;
}

bool VXOggStream::OggReset() {
  if (!open_ || !seekable_ || ov_pcm_seek_page(&file_, 0) != 0) return OggOpen();
  position_ = 0;
  blockAt_ = undelivered_ = 0;
  end_ = false;
  return true;
}

bool VXOggStream::OggSeek(int sample) {
  if (!open_ || !seekable_ || sample < 0 || sample > samples_) return false;
  if (sample == samples_) {
    position_ = decodedLength_;
    blockAt_ = undelivered_ = 0;
    end_ = true;
    return true;
  }
  if (ov_pcm_seek(&file_, sample) != 0) return false;
  position_ = static_cast<std::int64_t>(sample) * channels_ * 2;
  blockAt_ = undelivered_ = 0;
  end_ = false;
  return true;
}

int VXOggStream::Decode(void* buffer, int count) {
  if (!open_ || count <= 0) return 0;
  const int n = static_cast<int>(std::min<std::int64_t>(count, decodedLength_ - position_));
  if (n <= 0) return 0;
  const std::int64_t before = position_;
  OggConvert(static_cast<std::uint8_t*>(buffer), n);
  return static_cast<int>(position_ - before);
}

bool VXOggStream::OggConvert(std::uint8_t* buffer, int size) {
  const std::size_t n = static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, decodedLength_ - position_));
  std::size_t out = 0;
  int failed = 0;
  while (out < n) {
    if (undelivered_ == 0) {
      blockAt_ = 0;
      const long got = ov_read(&file_, reinterpret_cast<char*>(block_.data()), static_cast<int>(block_.size()), 0, 2,
                               1, &bitstream_);
      if (got < 0) {
        if (++failed < kMaxFailedReads) continue;
        end_ = true;
        break;
      }
      if (got == 0) {
        end_ = true;
        break;
      }
      failed = 0;
      undelivered_ = static_cast<std::size_t>(got);
    }
    const std::size_t take = std::min(undelivered_, n - out);
    std::memcpy(buffer + out, block_.data() + blockAt_, take);
    blockAt_ += take;
    undelivered_ -= take;
    out += take;
  }
  position_ += static_cast<std::int64_t>(out);
  if (position_ >= decodedLength_) end_ = true;
  return true;
}
