#include "core/vxcompstream.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "core/vxcocotte.h"
#include "core/vxcrc.h"
#include "core/vxmariel.h"

namespace {

template <class Encoder>
bool Encode(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress,
            int* resultSize) {
  auto encoder = std::make_unique<Encoder>();
  if (!encoder->Encode(inSize, outSize, read, write, progress)) return false;
  *resultSize = encoder->resultSize;
  return true;
}

template <class Decoder>
bool Decode(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress) {
  auto decoder = std::make_unique<Decoder>();
  return decoder->Decode(inSize, outSize, read, write, progress);
}

using EncodeFn = bool (*)(int, int, VXReadCallback, VXWriteCallback, VXProgressCallback, int*);

constexpr EncodeFn kEncoders[] = {
    Encode<VXMarielEncode>,     // VXCompMariel
    Encode<VXCocotteEncode>,    // VXCompCocotte
    Encode<VXCocotteLEEncode>,  // VXCompCocotteLE
    Encode<VXCocotteMiniEncode>,
};

}  // namespace

bool VXRunEncoder(int kind, int inSize, int outSize, VXReadCallback read, VXWriteCallback write,
                  VXProgressCallback progress, int* resultSize) {
  const int slot = kind < VXCompMariel || kind > VXCompCocotteMini ? VXCompCocotteMini : kind;
  int result = 0;
  try {
    if (!kEncoders[slot](inSize, outSize, read, write, progress, &result)) return false;
  } catch (const std::exception&) {
    return false;
  }
  if (resultSize != nullptr) *resultSize = result;
  return true;
}

bool VXRunDecoder(int kind, int inSize, int outSize, VXReadCallback read, VXWriteCallback write,
                  VXProgressCallback progress) {
  try {
    return kind == VXCompMariel ? Decode<VXMarielDecode>(inSize, outSize, read, write, progress)
                                : Decode<VXCocotteDecode>(inSize, outSize, read, write, progress);
  } catch (const std::exception&) {
    return false;
  }
}

int VXCompStream::CallbackRead(void* buffer, int count) { return source_->Read(buffer, count); }

int VXCompStream::CallbackWrite(void* buffer, int count) { return destination_->Write(buffer, count); }

bool VXCompStream::EncodeBuffer(VXStream* source, int inSize, VXStream* destination, int* outSize, int kind) {
  if (outSize != nullptr) *outSize = 0;
  if (inSize <= 0 || source == nullptr || destination == nullptr) return false;
  source_ = source;
  destination_ = destination;
  const std::int64_t limit = std::min<std::int64_t>(2 * static_cast<std::int64_t>(inSize), INT32_MAX);
  int result = 0;
  const bool ok = VXRunEncoder(kind, inSize, static_cast<int>(limit),
                               VXCallback2<VXCompStream, int, void*, int>(this, &VXCompStream::CallbackRead),
                               VXCallback2<VXCompStream, int, void*, int>(this, &VXCompStream::CallbackWrite), {},
                               &result);
  if (ok && outSize != nullptr) *outSize = result;
  return ok;
}

bool VXCompStream::DecodeBuffer(VXStream* source, int inSize, VXStream* destination, int outSize, int kind) {
  if (inSize <= 0 || outSize <= 0 || source == nullptr || destination == nullptr) return false;
  source_ = source;
  destination_ = destination;
  return VXRunDecoder(kind, inSize, outSize,
                      VXCallback2<VXCompStream, int, void*, int>(this, &VXCompStream::CallbackRead),
                      VXCallback2<VXCompStream, int, void*, int>(this, &VXCompStream::CallbackWrite), {});
}

bool VXCrcStream(VXStream* stream, int length, unsigned short* crc) {
  constexpr int kChunk = 32768;
  if (stream == nullptr || crc == nullptr) return false;
  VXCrcCheck check;
  std::vector<unsigned char> buffer(kChunk);
  unsigned short value = 0xFFFF;
  for (int left = length; left > 0;) {
    const int n = std::min(left, kChunk);
    if (stream->Read(buffer.data(), n) != n) return false;
    value = check.UpDateCrc(value, buffer.data(), n);
    left -= n;
  }
  *crc = value;
  return true;
}
