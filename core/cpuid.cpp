#include "core/cpuid.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

class HardwareQuery final : public CPUIDQuery {
public:
  bool Available() const override {
#if defined(__x86_64__) || defined(__i386__)
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
  }

  CPUIDRegisters Leaf([[maybe_unused]] std::uint32_t leaf) const override {
    CPUIDRegisters r;
#if defined(__x86_64__) || defined(__i386__)
    __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
  }
};

}  // namespace

const CPUIDQuery& HardwareCPUIDQuery() {
  static const HardwareQuery query;
  return query;
}

CPUID::CPUID() : CPUID(HardwareCPUIDQuery()) {}

CPUID::CPUID(const CPUIDQuery& query) : query_(query) {
  valid_ = ValidCPUID();
  if (!valid_) return;
  try {
    ScanCPUID();
  } catch (...) {
    features_ = 0;
  }
}

CPUID::~CPUID() = default;

bool CPUID::ValidCPUID() const { return query_.Available(); }

void CPUID::ScanCPUID() {
  const CPUIDRegisters leaf0 = query_.Leaf(0);
  std::memcpy(vendor_ + 0, &leaf0.ebx, 4);
  std::memcpy(vendor_ + 4, &leaf0.edx, 4);
  std::memcpy(vendor_ + 8, &leaf0.ecx, 4);

  if (IsVendor("AuthenticAMD")) {
    ScanCPUID_AMD();
  } else if (IsVendor("CyrixInstead")) {
    ScanCPUID_CYRIX();
  } else if (IsVendor("CentaurHauls") || IsVendor("RiseRiseRise")) {
    ScanCPUID_OTHER();
  } else if (IsVendor("GenuineIntel")) {
    ScanCPUID_INTEL();
  }
}

// AMD reports any non-zero maximum extended leaf; Cyrix must report one in the extended range.
void CPUID::ScanExtended(std::uint32_t minimumMaxLeaf) {
  const std::uint32_t maxLeaf = query_.Leaf(0x80000000u).eax;
  if (maxLeaf != 0 && maxLeaf >= minimumMaxLeaf) {
    const CPUIDRegisters ext = query_.Leaf(0x80000001u);
    SetFamily(ext.eax, ext.edx);
  } else {
    ScanCPUID_OTHER();
  }
}

void CPUID::ScanCPUID_AMD() { ScanExtended(0); }

void CPUID::ScanCPUID_CYRIX() { ScanExtended(0x80000000u); }

void CPUID::ScanCPUID_INTEL() {
  const CPUIDRegisters leaf1 = query_.Leaf(1);
  SetFamily(leaf1.eax, leaf1.edx);
  if (IsPsnEnable()) {
    const CPUIDRegisters leaf3 = query_.Leaf(3);
    serial_ = CPUIDSerial{leaf3.ecx, leaf3.edx, leaf1.eax};
  }
}

void CPUID::ScanCPUID_OTHER() {
  const CPUIDRegisters leaf1 = query_.Leaf(1);
  SetFamily(leaf1.eax, leaf1.edx);
}

void CPUID::SetFamily(std::uint32_t signature, std::uint32_t flags) {
  features_ = flags;
  type_ = static_cast<int>((signature >> 12) & 0x3);
  family_ = static_cast<int>((signature >> 8) & 0xF);
  model_ = static_cast<int>((signature >> 4) & 0xF);
  stepping_ = static_cast<int>(signature & 0xF);
}

const CPUID& TheCPUID() {
  static const CPUID cpu;
  return cpu;
}
