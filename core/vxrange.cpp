#include "core/vxrange.h"

#include <array>
#include <stdexcept>

namespace {

constexpr std::uint32_t kTop = 1u << 31;
constexpr std::uint32_t kBottom = 1u << 23;
constexpr int kShiftBits = 23;  // 32 - 9
constexpr int kExtraBits = 7;

constexpr int kSymbols = 257;  // 256 byte values and the end symbol
constexpr int kEndSymbol = 256;
constexpr int kLgTotal = 12;
constexpr int kTargetRescale = 2000;
constexpr int kSearchSlots = 512;

// Starting frequencies, skewed towards small values (the move-to-front output that Cocotte feeds in); sum 4,096.
constexpr std::array<int, kSymbols> MakeInitialFrequencies() {
  struct Run {
    int last;
    int freq;
  };
  constexpr Run runs[] = {{0, 1400}, {1, 640}, {2, 320}, {3, 240}, {4, 160}, {5, 120}, {6, 80}, {7, 64},
                          {8, 48},   {9, 40},  {10, 32}, {11, 24}, {15, 20}, {19, 16}, {25, 12}, {31, 8},
                          {47, 6},   {63, 5},  {95, 4},  {133, 3}, {256, 2}};
  std::array<int, kSymbols> f{};
  int s = 0;
  for (const Run& r : runs)
    for (; s <= r.last; ++s) f[s] = r.freq;
  return f;
}
constexpr std::array<int, kSymbols> kInitialFrequencies = MakeInitialFrequencies();

}  // namespace

// ---- VXQSModel ----

bool VXQSModel::InitQSModel(int n, int lgTotal, int rescale, const int* init, int compress) {
  DeleteQSModel();
  if (n < 2 || lgTotal < 1 || lgTotal > 15 || (1 << lgTotal) < n || rescale < 1) return false;
  n_ = n;
  targetRescale_ = rescale;
  searchShift_ = lgTotal - 9 < 0 ? 0 : lgTotal - 9;
  cf_.assign(n + 1, 0);
  newf_.assign(n + 1, 0);
  cf_[n] = static_cast<std::uint16_t>(1 << lgTotal);
  if (compress == 0) {
    search_.assign(kSearchSlots + 1, 0);
    search_[kSearchSlots] = static_cast<std::uint16_t>(n - 1);
  }
  initialised_ = true;
  ResetQSModel(init);
  return true;
}

void VXQSModel::ResetQSModel(const int* init) {
  rescale_ = (n_ >> 4) | 2;
  nextLeft_ = 0;
  increment_ = 0;
  left_ = 0;
  const int total = cf_[n_];
  if (init != nullptr) {
    long sum = 0;
    for (int i = 0; i < n_; ++i) sum += init[i];
    if (sum != total) init = nullptr;
    for (int i = 0; init != nullptr && i < n_; ++i)
      if (init[i] < 1) init = nullptr;  // a zero frequency would leave a symbol uncodable
  }
  for (int i = 0; i < n_; ++i)
    newf_[i] = static_cast<std::uint16_t>(init != nullptr ? init[i] : total / n_ + (i < total % n_ ? 1 : 0));
  DoRescale();
}

void VXQSModel::DeleteQSModel() {
  initialised_ = false;
  cf_.clear();
  newf_.clear();
  search_.clear();
}

void VXQSModel::DoRescale() {
  if (nextLeft_ != 0) {  // the rest of this interval runs with one more per update
    ++increment_;
    left_ = nextLeft_;
    nextLeft_ = 0;
    return;
  }
  if (rescale_ < targetRescale_) {
    rescale_ <<= 1;
    if (rescale_ > targetRescale_) rescale_ = targetRescale_;
  }
  int cf = cf_[n_];
  int missing = cf;
  for (int i = n_ - 1; i > 0; --i) {
    const int count = newf_[i];
    cf -= count;
    cf_[i] = static_cast<std::uint16_t>(cf);
    newf_[i] = static_cast<std::uint16_t>((count >> 1) | 1);
    missing -= newf_[i];
  }
  if (cf != newf_[0]) {
    DeleteQSModel();
    throw std::runtime_error("VXQSModel : Error in rescale frequency counts");
  }
  newf_[0] = static_cast<std::uint16_t>((newf_[0] >> 1) | 1);
  missing -= newf_[0];
  increment_ = missing / rescale_;
  nextLeft_ = missing % rescale_;
  left_ = rescale_ - nextLeft_;
  if (!search_.empty()) {
    for (int i = n_ - 1; i >= 0; --i) {
      const int end = (cf_[i + 1] - 1) >> searchShift_;
      for (int slot = cf_[i] >> searchShift_; slot <= end; ++slot) search_[slot] = static_cast<std::uint16_t>(i);
    }
  }
}

void VXQSModel::QSGetFreq(int symbol, int* symbolFreq, int* lowFreq) const {
  *lowFreq = cf_[symbol];
  *symbolFreq = cf_[symbol + 1] - cf_[symbol];
}

int VXQSModel::QSGetSym(int cumulative) const {
  const int slot = cumulative >> searchShift_;
  int lo = search_[slot];
  int hi = search_[slot + 1] + 1;
  while (lo + 1 < hi) {
    const int mid = (lo + hi) >> 1;
    if (cumulative < cf_[mid])
      hi = mid;
    else
      lo = mid;
  }
  return lo;
}

void VXQSModel::QSUpdate(int symbol) {
  if (left_ <= 0) DoRescale();
  --left_;
  newf_[symbol] = static_cast<std::uint16_t>(newf_[symbol] + increment_);
}

// ---- VXRangeCoder ----

bool VXRangeCoder::Create() {
  if (created_) return true;
  created_ = model_.InitQSModel(kSymbols, kLgTotal, kTargetRescale, kInitialFrequencies.data(), compress_);
  if (!created_) Release();
  return created_;
}

void VXRangeCoder::Release() {
  model_.DeleteQSModel();
  created_ = false;
}

void VXRangeCoder::Reset() {
  Release();
  Create();
}

bool VXRangeCoder::Run(const unsigned char* src, unsigned char* dst, int srcLength, int dstCapacity) {
  if (srcLength < 1) {
    outputLength = 0;
    return true;
  }
  if (!created_ || !model_.IsInitialised() || busy_) return false;
  busy_ = true;
  error_ = false;
  src_ = src;
  dst_ = dst;
  read_ = 0;
  written_ = 0;
  srcLength_ = srcLength;
  dstCapacity_ = dstCapacity < 0 ? 0 : dstCapacity;
  try {
    Code();
  } catch (const std::exception&) {
    error_ = true;
  }
  outputLength = error_ ? 0 : static_cast<int>(written_);
  busy_ = false;
  return !error_;
}

// ---- VXRangeEncode ----

void VXRangeEncode::OutByte(unsigned b) {
  if (written_ < dstCapacity_)
    dst_[written_++] = static_cast<unsigned char>(b);
  else
    error_ = true;
}

void VXRangeEncode::StartEncoding(unsigned char first, int initialCount) {
  low_ = 0;
  range_ = kTop;
  buffer_ = first;
  pending_ = 0;
  byteCount_ = static_cast<std::uint32_t>(initialCount);
}

void VXRangeEncode::EncNormalize() {
  if (range_ == 0) throw std::runtime_error("VXRangeEncode : Range Is Zero");
  while (range_ <= kBottom) {
    if (low_ < (0xFFu << kShiftBits)) {  // no carry can reach the held bytes any more
      OutByte(buffer_);
      for (; pending_ != 0; --pending_) OutByte(0xFF);
      buffer_ = static_cast<unsigned char>(low_ >> kShiftBits);
    } else if (low_ & kTop) {  // the carry arrived
      OutByte(buffer_ + 1u);
      for (; pending_ != 0; --pending_) OutByte(0x00);
      buffer_ = static_cast<unsigned char>(low_ >> kShiftBits);
    } else {  // still undecided: hold the byte
      ++pending_;
    }
    range_ <<= 8;
    low_ = (low_ << 8) & (kTop - 1);
    ++byteCount_;
  }
}

void VXRangeEncode::EncodeFreq(int symbolFreq, int lowFreq, int total) {
  EncNormalize();
  if (total < 1) throw std::runtime_error("VXRangeEncode : Range Is Zero");
  const std::uint32_t r = range_ / static_cast<std::uint32_t>(total);
  const std::uint32_t t = r * static_cast<std::uint32_t>(lowFreq);
  low_ += t;
  if (lowFreq + symbolFreq < total)
    range_ = r * static_cast<std::uint32_t>(symbolFreq);
  else
    range_ -= t;
}

void VXRangeEncode::EncodeShift(int symbolFreq, int lowFreq, int shift) {
  EncNormalize();
  const std::uint32_t r = range_ >> shift;
  const std::uint32_t t = r * static_cast<std::uint32_t>(lowFreq);
  low_ += t;
  if (((lowFreq + symbolFreq) >> shift) == 0)
    range_ = r * static_cast<std::uint32_t>(symbolFreq);
  else
    range_ -= t;
}

std::uint32_t VXRangeEncode::DoneEncoding() {
  EncNormalize();
  byteCount_ += 5;
  std::uint32_t t = low_ >> kShiftBits;
  if ((low_ & (kBottom - 1)) >= (byteCount_ >> 1)) ++t;
  if (t > 0xFF) {
    OutByte(buffer_ + 1u);
    for (; pending_ != 0; --pending_) OutByte(0x00);
  } else {
    OutByte(buffer_);
    for (; pending_ != 0; --pending_) OutByte(0xFF);
  }
  OutByte(t & 0xFF);
  OutByte((byteCount_ >> 16) & 0xFF);
  OutByte((byteCount_ >> 8) & 0xFF);
  OutByte(byteCount_ & 0xFF);
  return byteCount_;
}

void VXRangeEncode::Code() {
  StartEncoding(0, 0);
  int size = 0;
  int low = 0;
  for (; read_ < srcLength_ && !error_; ++read_) {
    const int symbol = src_[read_];
    model_.QSGetFreq(symbol, &size, &low);
    EncodeShift(size, low, kLgTotal);
    model_.QSUpdate(symbol);
  }
  model_.QSGetFreq(kEndSymbol, &size, &low);
  EncodeShift(size, low, kLgTotal);
  DoneEncoding();
}

// ---- VXRangeDecode ----

unsigned VXRangeDecode::InByte() {
  if (read_ < srcLength_) return src_[read_++];
  error_ = true;
  return 0;
}

int VXRangeDecode::StartDecoding() {
  if (srcLength_ - read_ < 2) return -1;
  const int first = static_cast<int>(InByte());
  buffer_ = static_cast<unsigned char>(InByte());
  low_ = buffer_ >> (8 - kExtraBits);
  range_ = 1u << kExtraBits;
  help_ = 0;
  byteCount_ = 0;
  return first;
}

void VXRangeDecode::DecNormalize() {
  if (range_ == 0) throw std::runtime_error("VXRangeDecode : Range Is Zero");
  while (range_ <= kBottom) {
    low_ = (low_ << 8) | ((static_cast<std::uint32_t>(buffer_) << kExtraBits) & 0xFF);
    buffer_ = static_cast<unsigned char>(InByte());
    low_ |= buffer_ >> (8 - kExtraBits);
    range_ <<= 8;
  }
}

std::uint32_t VXRangeDecode::DecodeCulFreq(std::uint32_t total) {
  DecNormalize();
  help_ = total == 0 ? 0 : range_ / total;
  if (help_ == 0) throw std::runtime_error("VXRangeDecode : Range Is Zero");
  const std::uint32_t t = low_ / help_;
  return t > total - 1 ? total - 1 : t;
}

std::uint32_t VXRangeDecode::DecodeCulShift(int shift) {
  DecNormalize();
  help_ = shift < 0 || shift > 23 ? 0 : range_ >> shift;
  if (help_ == 0) throw std::runtime_error("VXRangeDecode : Range Is Zero");
  const std::uint32_t t = low_ / help_;
  return (t >> shift) != 0 ? (1u << shift) - 1 : t;
}

void VXRangeDecode::DecodeUpdate(std::uint32_t symbolFreq, std::uint32_t lowFreq, std::uint32_t total) {
  const std::uint32_t t = help_ * lowFreq;
  low_ -= t;
  if (lowFreq + symbolFreq < total)
    range_ = help_ * symbolFreq;
  else
    range_ -= t;
}

unsigned VXRangeDecode::DecodeByte() {
  const std::uint32_t v = DecodeCulShift(8);
  DecodeUpdate(1, v, 1u << 8);
  return v;
}

unsigned VXRangeDecode::DecodeShort() {
  const std::uint32_t v = DecodeCulShift(16);
  DecodeUpdate(1, v, 1u << 16);
  return v;
}

void VXRangeDecode::DoneDecoding() { DecNormalize(); }

void VXRangeDecode::Code() {
  // Every stream the encoder makes has at least 7 bytes; a shorter one cannot even start the coder.
  if (StartDecoding() < 0) throw std::runtime_error("VXRangeDecode : Source Too Short");
  int size = 0;
  int low = 0;
  while (written_ < dstCapacity_ && !error_) {
    const int symbol = model_.QSGetSym(static_cast<int>(DecodeCulShift(kLgTotal)));
    if (symbol == kEndSymbol) break;
    dst_[written_++] = static_cast<unsigned char>(symbol);
    model_.QSGetFreq(symbol, &size, &low);
    DecodeUpdate(size, low, 1u << kLgTotal);
    model_.QSUpdate(symbol);
  }
  model_.QSGetFreq(kEndSymbol, &size, &low);
  DecodeUpdate(size, low, 1u << kLgTotal);
  DoneDecoding();
}
