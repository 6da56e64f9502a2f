// The processor's vendor, signature and feature flags, read once through the CPUID instruction.
//
// The drawing code asks only `IsMmxSupport` to choose between the packed kernels and the portable ones. Where there
// is no CPUID instruction (any processor other than x86-64) the record reports nothing and every test is false.
// The instruction is reached through a `CPUIDQuery`, so tests can describe a processor by a table of leaves.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct CPUIDRegisters {
  std::uint32_t eax = 0;
  std::uint32_t ebx = 0;
  std::uint32_t ecx = 0;
  std::uint32_t edx = 0;
};

class CPUIDQuery {
public:
  virtual ~CPUIDQuery() = default;
  virtual bool Available() const = 0;                            // the instruction exists
  virtual CPUIDRegisters Leaf(std::uint32_t leaf) const = 0;     // may throw; the record then has no features
};

// The real instruction on x86-64; elsewhere a processor without it.
const CPUIDQuery& HardwareCPUIDQuery();

// Processor serial number: ECX and EDX of leaf 3 with the signature of leaf 1.
struct CPUIDSerial {
  std::uint32_t ecx = 0;
  std::uint32_t edx = 0;
  std::uint32_t signature = 0;
};

class CPUID {
public:
  CPUID();                                  // the processor running this program
  explicit CPUID(const CPUIDQuery& query);  // the processor the query describes
  ~CPUID();

  bool ValidCPUID() const;
  void ScanCPUID();
  void ScanCPUID_AMD();
  void ScanCPUID_CYRIX();
  void ScanCPUID_INTEL();
  void ScanCPUID_OTHER();
  void SetFamily(std::uint32_t signature, std::uint32_t flags);

  bool IsFPUSupport() const { return Bit(0); }
  bool IsTimeStampCounterSupport() const { return Bit(4); }
  bool IsCmpxchg8bSupport() const { return Bit(8); }
  bool IsCmovSupport() const { return Bit(15); }
  bool IsMmxSupport() const { return Bit(23); }
  bool IsPsnEnable() const { return IsVendor("GenuineIntel") && Bit(18); }
  bool IsFxsaveSupport() const { return IsVendor("GenuineIntel") && Bit(24); }
  bool IsSseSupport() const { return IsVendor("GenuineIntel") && Bit(25); }
  bool Is3dnowSupport() const { return (IsVendor("AuthenticAMD") || IsVendor("CentaurHauls")) && Bit(31); }
  bool IsEx3dnowSupport() const { return IsVendor("AuthenticAMD") && Bit(30); }

  bool Valid() const { return valid_; }
  int Type() const { return type_; }
  int Family() const { return family_; }
  int Model() const { return model_; }
  int Stepping() const { return stepping_; }
  std::uint32_t FeatureFlags() const { return features_; }
  std::string_view Vendor() const { return {vendor_, sizeof vendor_}; }
  const std::optional<CPUIDSerial>& SerialNumber() const { return serial_; }

private:
  bool Bit(int n) const { return (features_ >> n) & 1u; }
  bool IsVendor(std::string_view v) const { return Vendor() == v; }
  void ScanExtended(std::uint32_t minimumMaxLeaf);

  const CPUIDQuery& query_;
  bool valid_ = false;
  int type_ = 0;
  int family_ = -1;
  int model_ = -1;
  int stepping_ = -1;
  std::uint32_t features_ = 0;
  char vendor_[12] = {};
  std::optional<CPUIDSerial> serial_;
};

// The program's one record of the running processor, built on first use.
const CPUID& TheCPUID();
