#include "core/vxstd.h"

#include <algorithm>
#include <climits>

void VXPutLE16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void VXPutBE16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}
void VXPutLE32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void VXPutBE32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}
std::uint16_t VXGetLE16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint16_t VXGetBE16(const unsigned char* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t VXGetLE32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint32_t VXGetBE32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

VXCounter::VXCounter(int max, int step) : max_(max < 1 ? 1 : max), step_(std::clamp(step, 0, max_)), count_(0) {}

void VXCounter::SetMaxVal(int value) {
  max_ = value < 1 ? 1 : value;
  step_ = std::min(step_, max_);
  count_ = std::min(count_, max_ - 1);
}

void VXCounter::SetAddVal(int value) { step_ = std::clamp(value, 0, max_); }

void VXCounter::SetCount(int value) { count_ = std::min(value, max_ - 1); }

namespace {

// Steps are taken in 64 bits: a large step must not overflow the count.
int Saturate(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

bool VXCounter::AddVal(int n) {
  std::int64_t count = std::int64_t{count_} + n;
  const bool wrapped = count >= max_;
  if (wrapped) count -= max_;
  count_ = Saturate(count);
  return wrapped;
}

bool VXCounter::SubVal(int n) {
  const std::int64_t count = std::int64_t{count_} - n;
  if (count < 0) {
    count_ = 0;
    return true;
  }
  count_ = Saturate(count);
  return false;
}

VXRandom::VXRandom() : j_(0), k_(7) {
  // The Fibonacci sequence backwards, modulo 65536: word i is F(33 - i).
  std::uint16_t f[34];
  f[1] = f[2] = 1;
  for (int n = 3; n <= 33; ++n) f[n] = static_cast<std::uint16_t>(f[n - 1] + f[n - 2]);
  for (int i = 0; i < 32; ++i) x_[i] = f[33 - i];
}

std::uint16_t VXRandom::Rnd() {
  x_[j_] = static_cast<std::uint16_t>(x_[j_] + x_[k_]);
  std::uint16_t result = x_[j_];
  j_ = j_ == 0 ? 31 : j_ - 1;
  k_ = k_ == 0 ? 31 : k_ - 1;
  return result;
}

int VXRandom::Random(int n) {
  if (n < 1) return -1;
  if (n == 1) return 0;
  unsigned mask = 0;
  for (unsigned rest = static_cast<unsigned>(n - 1); rest != 0; rest >>= 1) mask = mask * 2 + 1;
  unsigned v;
  do {
    v = Rnd() & mask;
  } while (v >= static_cast<unsigned>(n));
  return static_cast<int>(v);
}

int VXRandom::NormalDistribution(int n) {
  if (n < 1 || n > 65536) return 0;
  int a = 2 * n / 3;
  int c = 2 * n - 2 * a;
  int r = Random(a + 1);
  r += Random(a + 1);
  r += Random(c + 1);
  return r - n;
}
