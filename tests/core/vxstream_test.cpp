#include "core/vxstream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/tempdir.h"

namespace {

std::string ReadAll(VXStream& s) {
  std::string out(static_cast<size_t>(s.GetSize()), '\0');
  s.Reset();
  out.resize(s.Read(out.data(), static_cast<int>(out.size())));
  return out;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(MemoryStream, GrowsInStepsAndClampsSeeks) {
  VXMemoryStream s;
  EXPECT_FALSE(s.IsOpen());
  EXPECT_EQ(s.Write("0123456789", 10), 10);
  EXPECT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetCapacity(), 8192);
  EXPECT_EQ(s.GetSize(), 10);

  struct Case {
    std::int64_t offset;
    VXSeekWhence whence;
    std::int64_t result;
  } cases[] = {
      {-5, VXSeekBegin, 0}, {100, VXSeekBegin, 10}, {-3, VXSeekEnd, 7},  {2, VXSeekCurrent, 9},
      {-20, VXSeekCurrent, 0}, {1LL << 32, VXSeekBegin, -1}, {0, static_cast<VXSeekWhence>(7), -1},
  };
  s.Seek(0, VXSeekBegin);
  for (const Case& c : cases) EXPECT_EQ(s.Seek(c.offset, c.whence), c.result) << c.offset << " " << c.whence;
}

// Fault mended: every write past the block grew it by one 8 KiB step, so a stream filled by small writes (a decoder's
// output) copied its whole contents again every 8 KiB.
TEST(MemoryStream, SmallWritesGrowTheBlockGeometrically) {
  VXMemoryStream s;
  const std::string chunk(1000, 'x');
  int changes = 0;
  for (int i = 0, last = 0; i < 4096; ++i) {
    ASSERT_EQ(s.Write(chunk.data(), 1000), 1000);
    if (s.GetCapacity() != last) ++changes;
    last = s.GetCapacity();
    ASSERT_EQ(last % 8192, 0);
  }
  EXPECT_EQ(s.GetSize(), 4096000);
  EXPECT_LE(changes, 10);  // 8 KiB doubled to 4 MiB, instead of 500 steps
  s.Seek(0, VXSeekBegin);
  std::string back(4096000, '\0');
  EXPECT_EQ(s.Read(back.data(), 4096000), 4096000);
  EXPECT_EQ(back, std::string(4096000, 'x'));
  ASSERT_TRUE(s.SetMemorySize(10));  // an explicit size still sets the capacity itself
  EXPECT_EQ(s.GetCapacity(), 8192);
}

TEST(MemoryStream, SetSizeZeroFillsAndMovesThePosition) {
  VXMemoryStream s("0123456789", 10);
  ASSERT_TRUE(s.SetSize(20));
  EXPECT_EQ(ReadAll(s), std::string("0123456789") + std::string(10, '\0'));
  s.Seek(7, VXSeekBegin);
  ASSERT_TRUE(s.SetSize(4));
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_FALSE(s.SetSize(-1));
  EXPECT_FALSE(s.SetSize(1LL << 31));
  EXPECT_EQ(s.GetSize(), 4);
}

TEST(MemoryStream, ShortReadsAndReadBuffer) {
  VXMemoryStream s("0123456789", 10);
  char buffer[100];
  s.Seek(7, VXSeekBegin);
  EXPECT_EQ(s.Read(buffer, 100), 3);
  s.Seek(7, VXSeekBegin);
  try {
    s.ReadBuffer(buffer, 4);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Read Error");
  }
  EXPECT_EQ(s.GetPosition(), 10);  // the three bytes are consumed
  EXPECT_EQ(s.Read(buffer, -1), 0);
  EXPECT_EQ(s.Write(buffer, -1), 0);
  EXPECT_EQ(s.GetSize(), 10);
}

TEST(MemoryStream, FailedGrowthIsReportedAndKeepsTheData) {
  VXMemoryStream s("abc", 3);
  EXPECT_FALSE(s.SetMemorySize(INT_MAX));  // the capacity would pass 2^31 - 1
  EXPECT_FALSE(s.SetMemorySize(-1));
  EXPECT_EQ(s.GetSize(), 3);
  EXPECT_EQ(ReadAll(s), "abc");
  VXMemoryStream empty;
  char c = 0;
  EXPECT_EQ(empty.Read(&c, 1), 0);  // no block: nothing is read through a null pointer
}

TEST(FileStream, ModesOpenCreateAndShare) {
  TempDir dir;
  const std::string name = dir.str() + "/Data.bin";
  {
    VXFileStream missing(name.c_str(), VXFileRead);
    EXPECT_FALSE(missing.IsOpen());
    char c;
    EXPECT_EQ(missing.Read(&c, 1), 0);
    EXPECT_EQ(missing.Write("x", 1), 0);
  }
  {
    VXFileStream created(name.c_str(), VXFileCreate);
    ASSERT_TRUE(created.IsOpen());
    EXPECT_EQ(created.Write("hello world", 11), 11);
    VXFileStream second(name.c_str(), VXFileRead);
    EXPECT_FALSE(second.IsOpen());  // a file opened for writing is not shared
  }
  {
    VXFileStream a(name.c_str(), VXFileRead), b(name.c_str(), VXFileRead);
    EXPECT_TRUE(a.IsOpen());
    EXPECT_TRUE(b.IsOpen());  // readers share
    EXPECT_EQ(a.GetSize(), 11);
    EXPECT_EQ(ReadAll(b), "hello world");
  }
  {
    VXFileStream rw((dir.str() + "\\DATA.BIN").c_str(), VXFileReadWrite);  // found without regard to case
    ASSERT_TRUE(rw.IsOpen());
    rw.Seek(6, VXSeekBegin);
    rw.Write("W", 1);
    EXPECT_TRUE(rw.SetSize(8));
    EXPECT_EQ(rw.GetPosition(), 8);
  }
  EXPECT_EQ(FileBytes(name), "hello Wo");
  {
    VXFileStream again(name.c_str(), VXFileCreate);  // create replaces
    EXPECT_EQ(again.GetSize(), 0);
  }
}

TEST(FileStream, FailedSeeksAreReported) {
  TempDir dir;
  VXFileStream s((dir.str() + "/x").c_str(), VXFileCreate);
  s.Write("abc", 3);
  EXPECT_EQ(s.Seek(-10, VXSeekBegin), -1);
  EXPECT_FALSE(s.SetPosition(-1));
  EXPECT_EQ(s.GetPosition(), 3);
  EXPECT_EQ(s.Seek(0, static_cast<VXSeekWhence>(3)), -1);
  EXPECT_FALSE(s.SetSize(-1));
  EXPECT_TRUE(s.Reset());
  VXFileStream closed((dir.str() + "/none").c_str(), VXFileRead);
  EXPECT_FALSE(closed.Reset());
}

TEST(FileStream, WideNames) {
  TempDir dir;
  const std::string root = dir.str();
  std::u16string name = std::u16string(root.begin(), root.end()) + u"/\u00e9t\u00e9.txt";
  {
    VXFileStreamW s(name.c_str(), VXFileCreate);
    ASSERT_TRUE(s.IsOpen());
    s.Write("w", 1);
  }
  EXPECT_EQ(FileBytes(dir.str() + "/\u00e9t\u00e9.txt"), "w");
}

TEST(ResourceStream, ReadsEmbeddedDataAndRefusesWrites) {
  VXResourceStream s(nullptr, "hello.TXT", "testdata");
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(ReadAll(s), "Hello, resource!\n");
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_FALSE(s.SetSize(1));
  VXResourceStream missing(nullptr, "nope", "testdata");
  EXPECT_FALSE(missing.IsOpen());
  VXResourceStream byId(nullptr, 3, "testdata");
  EXPECT_FALSE(byId.IsOpen());
}

namespace {

// A framework stream over a string, for the adapters.
class StringTStream : public Classes::TStream {
public:
  std::string data;
  std::int64_t pos = 0;
  int Read(void* buffer, int count) override {
    int n = std::max(0, std::min(count, static_cast<int>(data.size() - pos)));
    std::memcpy(buffer, data.data() + pos, n);
    pos += n;
    return n;
  }
  int Write(const void* buffer, int count) override {
    if (pos + count > static_cast<std::int64_t>(data.size())) data.resize(pos + count);
    std::memcpy(data.data() + pos, buffer, count);
    pos += count;
    return count;
  }
  std::int64_t Seek(std::int64_t offset, Classes::TSeekOrigin origin) override {
    pos = origin == Classes::soBeginning ? offset : origin == Classes::soCurrent ? pos + offset : data.size() + offset;
    return pos;
  }
  void SetSize(std::int64_t size) override { data.resize(size); }
};

}  // namespace

TEST(Adapters, BothDirections) {
  StringTStream t;
  T2VXStream vx(&t);
  EXPECT_EQ(vx.Write("abcdef", 6), 6);
  EXPECT_EQ(vx.GetSize(), 6);
  EXPECT_TRUE(vx.Reset());
  EXPECT_EQ(ReadAll(vx), "abcdef");
  EXPECT_TRUE(vx.SetSize(3));
  EXPECT_EQ(t.data, "abc");

  VXMemoryStream m("0123456789", 10);
  m.Seek(2, VXSeekBegin);
  VX2TStream adapter(&m);
  EXPECT_EQ(adapter.GetSize(), 10);
  m.Seek(8, VXSeekBegin);  // somebody else moves the served stream
  char buffer[3] = {};
  EXPECT_EQ(adapter.Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "234");
  adapter.Seek(0, Classes::soEnd);
  adapter.Write("AB", 2);
  EXPECT_EQ(adapter.GetSize(), 12);
  EXPECT_EQ(ReadAll(m), "0123456789AB");
  EXPECT_EQ(adapter.Seek(-100, Classes::soCurrent), -88);
  EXPECT_EQ(adapter.Read(buffer, 1), 0);  // the served stream cannot go there
}
