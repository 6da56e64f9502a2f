// Small value types: byte-order helpers, the wrap-around counter and the lagged-Fibonacci random generator.
#pragma once

#include <cstdint>

// Byte order; no alignment is required.
void VXPutLE16(unsigned char* p, std::uint16_t v);
void VXPutBE16(unsigned char* p, std::uint16_t v);
void VXPutLE32(unsigned char* p, std::uint32_t v);
void VXPutBE32(unsigned char* p, std::uint32_t v);
std::uint16_t VXGetLE16(const unsigned char* p);
std::uint16_t VXGetBE16(const unsigned char* p);
std::uint32_t VXGetLE32(const unsigned char* p);
std::uint32_t VXGetBE32(const unsigned char* p);

// A counter that wraps past its maximum going up (by one subtraction) and stops at 0 going down.
// Invariants: maximum >= 1, 0 <= step <= maximum, count <= maximum - 1.
class VXCounter {
public:
  VXCounter() : VXCounter(9999, 1) {}
  explicit VXCounter(int max) : VXCounter(max, 1) {}
  VXCounter(int max, int step);

  void SetMaxVal(int value);
  void SetAddVal(int value);
  void SetCount(int value);
  int GetMaxVal() const { return max_; }
  int GetAddVal() const { return step_; }
  int GetCount() const { return count_; }

  bool AddVal(int n);  // true when it wrapped
  bool SubVal(int n);  // true when it stopped at 0
  bool IncVal() { return AddVal(step_); }
  bool DecVal() { return SubVal(step_); }
  bool IsZero() const { return count_ == 0; }

private:
  int max_;
  int step_;
  int count_;
};

// Additive lagged-Fibonacci generator over 32 16-bit words. Every generator starts in the same state.
class VXRandom {
public:
  VXRandom();

  std::uint16_t Rnd();
  int Random(int n);              // uniform in 0..n-1; -1 when n < 1
  int NormalDistribution(int n);  // bell-shaped in -n..n; 0 when n < 1 or n > 65536

private:
  std::uint16_t x_[32];
  int j_;
  int k_;
};
