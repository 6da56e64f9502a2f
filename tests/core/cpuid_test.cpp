#include "core/cpuid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

namespace {

// A processor described by its leaves; leaves it does not list read as zeros.
class TableQuery final : public CPUIDQuery {
public:
  TableQuery(bool available, const std::string& vendor, std::map<std::uint32_t, CPUIDRegisters> leaves)
      : available_(available), leaves_(std::move(leaves)) {
    CPUIDRegisters& l0 = leaves_[0];
    char v[12] = {};
    std::memcpy(v, vendor.data(), std::min<std::size_t>(vendor.size(), 12));
    std::memcpy(&l0.ebx, v + 0, 4);
    std::memcpy(&l0.edx, v + 4, 4);
    std::memcpy(&l0.ecx, v + 8, 4);
  }
  bool Available() const override { return available_; }
  CPUIDRegisters Leaf(std::uint32_t leaf) const override {
    if (throwOn_ == leaf) throw std::runtime_error("fault");
    auto it = leaves_.find(leaf);
    return it == leaves_.end() ? CPUIDRegisters{} : it->second;
  }
  std::uint32_t throwOn_ = 0xFFFFFFFFu;

private:
  bool available_;
  std::map<std::uint32_t, CPUIDRegisters> leaves_;
};

constexpr std::uint32_t kAll = 0xFFFFFFFFu;
constexpr std::uint32_t kSignature = 0x2635;  // type 2, family 6, model 3, stepping 5

struct VendorCase {
  const char* vendor;
  bool extended;  // features come from leaf 0x80000001
  bool psn, fxsave, sse, now3d, exNow3d;
};

}  // namespace

TEST(CPUID, FeatureTestsByVendor) {
  const VendorCase cases[] = {
      {"GenuineIntel", false, true, true, true, false, false},
      {"AuthenticAMD", true, false, false, false, true, true},
      {"CyrixInstead", true, false, false, false, false, false},
      {"CentaurHauls", false, false, false, false, true, false},
      {"RiseRiseRise", false, false, false, false, false, false},
  };
  for (const VendorCase& c : cases) {
    SCOPED_TRACE(c.vendor);
    // All bits on in the leaf the vendor reads, none in the other one.
    std::map<std::uint32_t, CPUIDRegisters> leaves{{0x80000000u, {0x80000008u, 0, 0, 0}}};
    leaves[c.extended ? 0x80000001u : 1u] = {kSignature, 0, 0, kAll};
    leaves[c.extended ? 1u : 0x80000001u] = {0, 0, 0, 0};
    TableQuery q(true, c.vendor, leaves);
    CPUID cpu(q);
    EXPECT_TRUE(cpu.Valid());
    EXPECT_EQ(cpu.Vendor(), c.vendor);
    EXPECT_EQ(cpu.Type(), 2);
    EXPECT_EQ(cpu.Family(), 6);
    EXPECT_EQ(cpu.Model(), 3);
    EXPECT_EQ(cpu.Stepping(), 5);
    EXPECT_TRUE(cpu.IsFPUSupport() && cpu.IsTimeStampCounterSupport() && cpu.IsCmpxchg8bSupport() &&
                cpu.IsCmovSupport() && cpu.IsMmxSupport());
    EXPECT_EQ(cpu.IsPsnEnable(), c.psn);
    EXPECT_EQ(cpu.IsFxsaveSupport(), c.fxsave);
    EXPECT_EQ(cpu.IsSseSupport(), c.sse);
    EXPECT_EQ(cpu.Is3dnowSupport(), c.now3d);
    EXPECT_EQ(cpu.IsEx3dnowSupport(), c.exNow3d);
  }
}

TEST(CPUID, SingleBitsMapToTheirTests) {
  struct BitCase {
    int bit;
    bool (CPUID::*test)() const;
  };
  const BitCase cases[] = {{0, &CPUID::IsFPUSupport},       {4, &CPUID::IsTimeStampCounterSupport},
                           {8, &CPUID::IsCmpxchg8bSupport}, {15, &CPUID::IsCmovSupport},
                           {23, &CPUID::IsMmxSupport},      {18, &CPUID::IsPsnEnable},
                           {24, &CPUID::IsFxsaveSupport},   {25, &CPUID::IsSseSupport}};
  for (const BitCase& c : cases) {
    TableQuery q(true, "GenuineIntel", {{1u, {kSignature, 0, 0, 1u << c.bit}}});
    CPUID cpu(q);
    EXPECT_TRUE((cpu.*c.test)()) << c.bit;
    EXPECT_EQ(cpu.FeatureFlags(), 1u << c.bit);
  }
}

TEST(CPUID, WithoutInstructionOrUnknownVendorReportsNothing) {
  TableQuery none(false, "GenuineIntel", {{1u, {kSignature, 0, 0, kAll}}});
  CPUID a(none);
  EXPECT_FALSE(a.Valid());
  EXPECT_FALSE(a.IsMmxSupport());
  EXPECT_EQ(a.Family(), -1);

  TableQuery odd(true, "SomeoneElse!", {{1u, {kSignature, 0, 0, kAll}}});
  CPUID b(odd);
  EXPECT_TRUE(b.Valid());
  EXPECT_EQ(b.Family(), -1);
  EXPECT_EQ(b.Model(), -1);
  EXPECT_EQ(b.Stepping(), -1);
  EXPECT_FALSE(b.IsFPUSupport() || b.IsMmxSupport() || b.IsSseSupport() || b.Is3dnowSupport());
}

TEST(CPUID, ExtendedLeafFallbacks) {
  // AMD with no extended leaves and Cyrix whose maximum extended leaf is below the range use leaf 1.
  TableQuery amd(true, "AuthenticAMD", {{0x80000000u, {0, 0, 0, 0}}, {1u, {kSignature, 0, 0, 1u << 23}}});
  EXPECT_TRUE(CPUID(amd).IsMmxSupport());
  TableQuery cyrix(true, "CyrixInstead",
                   {{0x80000000u, {0x7FFFFFFFu, 0, 0, 0}}, {1u, {kSignature, 0, 0, 1u << 23}},
                    {0x80000001u, {0, 0, 0, 0}}});
  EXPECT_TRUE(CPUID(cyrix).IsMmxSupport());
  // An AMD processor reporting SSE still answers false.
  TableQuery amdSse(true, "AuthenticAMD", {{0x80000000u, {0x80000001u, 0, 0, 0}},
                                           {0x80000001u, {kSignature, 0, 0, 1u << 25}}});
  EXPECT_FALSE(CPUID(amdSse).IsSseSupport());
}

TEST(CPUID, SerialNumberOnlyWhenEnabled) {
  TableQuery on(true, "GenuineIntel", {{1u, {kSignature, 0, 0, 1u << 18}}, {3u, {0, 0, 0x1111, 0x2222}}});
  CPUID a(on);
  ASSERT_TRUE(a.SerialNumber().has_value());
  EXPECT_EQ(a.SerialNumber()->ecx, 0x1111u);
  EXPECT_EQ(a.SerialNumber()->edx, 0x2222u);
  EXPECT_EQ(a.SerialNumber()->signature, kSignature);
  TableQuery off(true, "GenuineIntel", {{1u, {kSignature, 0, 0, 0}}, {3u, {0, 0, 0x1111, 0x2222}}});
  EXPECT_FALSE(CPUID(off).SerialNumber().has_value());
}

TEST(CPUID, FaultWhileScanningLeavesNoFeatures) {
  TableQuery q(true, "GenuineIntel", {{1u, {kSignature, 0, 0, kAll}}, {3u, {}}});
  q.throwOn_ = 3;
  CPUID cpu(q);
  EXPECT_TRUE(cpu.Valid());
  EXPECT_EQ(cpu.FeatureFlags(), 0u);
  EXPECT_FALSE(cpu.IsMmxSupport());
}

TEST(CPUID, RunningProcessor) {
#if defined(__x86_64__)
  EXPECT_TRUE(TheCPUID().Valid());
  EXPECT_TRUE(TheCPUID().IsMmxSupport());  // every x86-64 has it
#else
  EXPECT_FALSE(TheCPUID().IsMmxSupport());
#endif
  EXPECT_EQ(&TheCPUID(), &TheCPUID());
}
