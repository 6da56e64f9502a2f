#include "core/vxmemman.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

struct Probe {
  std::vector<std::string> messages;
  std::vector<VXMemPointer> added, leaked;
  void Message(VXMemMan*, VXString text) { messages.emplace_back(text.c_str()); }
  void Added(VXMemMan*, VXMemPointer r) { added.push_back(r); }
  void Leaked(VXMemMan*, VXMemPointer r) { leaked.push_back(r); }
  void Bind(VXMemMan& m, bool message = true) {
    if (message) m.OnMessage = VXCallback2<Probe, void, VXMemMan*, VXString>(this, &Probe::Message);
    m.OnAddPointer = VXCallback2<Probe, void, VXMemMan*, VXMemPointer>(this, &Probe::Added);
    m.OnNotRelease = VXCallback2<Probe, void, VXMemMan*, VXMemPointer>(this, &Probe::Leaked);
  }
};

struct Counted {
  static inline int live = 0;
  Counted() { ++live; }
  virtual ~Counted() { --live; }
};

bool Matches(const std::string& text, const char* pattern) { return std::regex_match(text, std::regex(pattern)); }

}  // namespace

TEST(MemMan, AllocZeroFillsAndRegistersAnArray) {
  Probe probe;
  VXMemMan m;
  probe.Bind(m);
  int* p = m.Alloc<int>(4);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p[i], 0);
  ASSERT_EQ(probe.added.size(), 1u);
  EXPECT_EQ(probe.added[0].Kind, VXMemPointer::KindArray);
  EXPECT_EQ(probe.added[0].Size, 16u);
  EXPECT_NE(probe.added[0].Caller, 0u);
  m.Free(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_TRUE(probe.messages.empty());
}

TEST(MemMan, OverflowingAllocFailsWithAMessage) {
  Probe probe;
  VXMemMan m;
  probe.Bind(m);
  EXPECT_EQ(m.Alloc<std::uint64_t>(SIZE_MAX / 4), nullptr);
  ASSERT_EQ(probe.messages.size(), 1u);
  EXPECT_TRUE(Matches(probe.messages[0], "AllocErr Call\\([0-9a-f]{8,}\\)")) << probe.messages[0];
  EXPECT_TRUE(probe.added.empty());
}

TEST(MemMan, WrongKindAndUnknownPointersAreRefused) {
  Probe probe;
  VXMemMan m;
  probe.Bind(m);
  Counted* object = m.Create<Counted>();
  Counted* copy = object;
  m.Free(object);  // an object released as an array
  EXPECT_EQ(object, copy);
  ASSERT_EQ(probe.messages.size(), 1u);
  EXPECT_TRUE(Matches(probe.messages[0], "TypeDiffers [0-9a-f]{8,}:Create\\([0-9a-f]{8,}\\) Delete\\([0-9a-f]{8,}\\)"))
      << probe.messages[0];
  EXPECT_EQ(Counted::live, 1);

  m.Delete(object);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(Counted::live, 0);
  m.Delete(copy);  // a second release through another copy
  EXPECT_NE(copy, nullptr);
  ASSERT_EQ(probe.messages.size(), 2u);
  EXPECT_TRUE(Matches(probe.messages[1], "Pointer is not found Delete\\([0-9a-f]{8,}\\)")) << probe.messages[1];

  Counted* none = nullptr;
  m.Delete(none);  // releasing null is no error
  EXPECT_EQ(probe.messages.size(), 2u);
}

TEST(MemMan, ComponentsAreMadeWithTheirOwner) {
  VXMemMan m;
  Classes::TComponent owner(nullptr);
  Classes::TComponent* child = m.CreateVCL<Classes::TComponent>(&owner);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->GetOwner(), &owner);
  EXPECT_EQ(owner.GetComponentCount(), 1);
  m.Delete(child);  // leaves its owner as it goes
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(owner.GetComponentCount(), 0);
}

TEST(MemMan, ForeignObjectsReleaseThroughDelete) {
  VXMemMan m;
  Counted* foreign = new Counted;
  m.AddPtr(foreign);
  m.AddPtr<Counted>(nullptr);
  m.Delete(foreign);
  EXPECT_EQ(foreign, nullptr);
  EXPECT_EQ(Counted::live, 0);
}

TEST(MemMan, LeaksAreReportedNewestFirst) {
  Probe probe;
  int* a;
  int* b;
  {
    VXMemMan m;
    probe.Bind(m);
    a = m.Alloc<int>(1);
    b = m.Alloc<int>(2);
  }
  ASSERT_EQ(probe.messages.size(), 2u);
  char expected[64];
  std::snprintf(expected, sizeof expected, "NotRelease %08" PRIxPTR ":", reinterpret_cast<std::uintptr_t>(b));
  EXPECT_EQ(probe.messages[0].rfind(expected, 0), 0u) << probe.messages[0];
  ASSERT_EQ(probe.leaked.size(), 2u);
  EXPECT_EQ(probe.leaked[1].Pointer, a);
  std::free(a);  // the registry never frees what it records
  std::free(b);
}

TEST(MemMan, NoCallSitesWithoutAMessageCallback) {
  Probe probe;
  int* p;
  {
    VXMemMan m;
    probe.Bind(m, false);
    p = m.Alloc<int>(1);
    EXPECT_EQ(probe.added.at(0).Caller, 0u);
    m.OnMessage = VXCallback2<Probe, void, VXMemMan*, VXString>(&probe, &Probe::Message);
  }
  ASSERT_EQ(probe.messages.size(), 1u);
  EXPECT_TRUE(Matches(probe.messages[0], "NotRelease [0-9a-f]{8,}:Call\\(00000000\\)")) << probe.messages[0];
  std::free(p);

  char* c;
  {
    VXMemMan silent;  // nothing bound: what is left is dropped quietly
    c = silent.Alloc<char>(1);
  }
  std::free(c);
}
