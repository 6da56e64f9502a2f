#include "core/vxpack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/vxcompstream.h"
#include "core/vxcrc.h"
#include "core/vxmariel.h"
#include "platform/text.h"
#include "support/tempdir.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

struct RawEntry {
  std::string name;  // base name, up to 21
  std::string ext;   // up to 3
  Bytes stored;
  std::uint32_t size;  // decoded size
  int comp = 0;
  int crcFlag = 1;
};

// A pack file written byte by byte from the layout tables: header, padded data, entries of the version's size and,
// for 0x0300 and 0x0301, the trailing CRC (damaged when asked).
Bytes BuildPack(unsigned version, const std::vector<RawEntry>& entries, bool goodCrc = true) {
  const int entrySize = version == 0x0100 ? 32 : version == 0x0200 ? 40 : 48;
  Bytes data;
  std::vector<std::uint32_t> offsets;
  for (const RawEntry& e : entries) {
    offsets.push_back(static_cast<std::uint32_t>(data.size()));
    data.insert(data.end(), e.stored.begin(), e.stored.end());
    while (data.size() % 16) data.push_back(0);
  }
  Bytes f = {'Z', 'o', 'P', 'a', 'c', 'k'};
  Put16(f, version);
  Put32(f, static_cast<std::uint32_t>(data.size()));
  Put32(f, static_cast<std::uint32_t>(entries.size()));
  f.insert(f.end(), data.begin(), data.end());
  VXCrcCheck crc;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& e = entries[i];
    Bytes t(entrySize, 0);
    std::memcpy(t.data(), e.name.data(), e.name.size());
    std::memcpy(t.data() + 21, e.ext.data(), e.ext.size());
    Bytes tail;
    Put32(tail, offsets[i]);
    Put32(tail, e.size);
    if (entrySize >= 40) {
      Put32(tail, static_cast<std::uint32_t>(e.stored.size()));
      tail.push_back(static_cast<unsigned char>(e.comp));
    }
    if (entrySize == 48) {
      tail.push_back(static_cast<unsigned char>(e.crcFlag));
      Put16(tail, crc.Crc(e.stored.data(), static_cast<int>(e.stored.size())));
      Put32(tail, 0x11223344);
      Put32(tail, 0x01D00000);
    }
    std::copy(tail.begin(), tail.end(), t.begin() + 24);
    f.insert(f.end(), t.begin(), t.end());
  }
  if (entrySize == 48) Put16(f, crc.Crc(f.data(), static_cast<int>(f.size())) ^ (goodCrc ? 0 : 1));
  return f;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

RawEntry Plain(const std::string& name, const std::string& ext, const std::string& text) {
  return {name, ext, Text(text), static_cast<std::uint32_t>(text.size())};
}

Bytes ReadAll(VXStream* s) {
  Bytes b(static_cast<std::size_t>(s->GetSize()));
  s->Seek(0, VXSeekBegin);
  if (!b.empty()) {
    EXPECT_EQ(s->Read(b.data(), static_cast<int>(b.size())), static_cast<int>(b.size()));
  }
  return b;
}

Bytes Encoded(int kind, const Bytes& plain) {
  VXMemoryStream in(plain.data(), static_cast<int>(plain.size()));
  VXMemoryStream out;
  VXCompStream comp;
  int size = 0;
  EXPECT_TRUE(comp.EncodeBuffer(&in, static_cast<int>(plain.size()), &out, &size, kind));
  return ReadAll(&out);
}

// Loads a pack from bytes through a memory stream, which the test keeps alive.
struct Loaded {
  explicit Loaded(const Bytes& bytes, unsigned char verify = 0)
      : stream(bytes.data(), static_cast<int>(bytes.size())) {
    pack.verifyMode = verify;
    ok = pack.LoadPackStream(&stream);
  }
  VXMemoryStream stream;
  VXPack pack;
  bool ok = false;
};

}  // namespace

TEST(PackFormat, EveryVersionLoadsAndWidensItsEntries) {
  for (unsigned version : {0x0100u, 0x0200u, 0x0300u, 0x0301u}) {
    SCOPED_TRACE(version);
    Loaded l(BuildPack(version, {Plain("Readme", "txt", "hello"), Plain("NOEXT", "", "x")}));
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.pack.GetFileNum(), 2);
    char name[26];
    ASSERT_TRUE(l.pack.GetFileName(0, name));
    EXPECT_STREQ(name, "Readme.txt");
    ASSERT_TRUE(l.pack.GetFileName(1, name));
    EXPECT_STREQ(name, "NOEXT");
    const VXFileTable3* e = l.pack.GetFileTable(0);
    EXPECT_EQ(e->size, 5u);
    EXPECT_EQ(e->compSize, 5u);
    EXPECT_EQ(e->comp, 0);
    FILETIME t;
    ASSERT_TRUE(l.pack.GetFileTime(0, &t));
    if (version < 0x0300) {
      EXPECT_EQ(e->crcFlag, 0);
      EXPECT_EQ(t.dwLowDateTime, 0xA8EE9800u);
      EXPECT_EQ(t.dwHighDateTime, 0x01B41DDEu);
    } else {
      EXPECT_EQ(e->crcFlag, 1);
      EXPECT_EQ(t.dwLowDateTime, 0x11223344u);
    }
    VXStream* s = l.pack.VXMakeStream("README.TXT");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s), Text("hello"));
    delete s;
  }
}

TEST(PackFormat, WholeFileCrcIsCheckedOnlyInVerifyModeOneOnNewVersions) {
  struct Case {
    unsigned version;
    bool goodCrc;
    unsigned char verify;
    bool loads;
  };
  const Case cases[] = {
      {0x0300, true, 1, true},  {0x0300, false, 0, true}, {0x0300, false, 1, false},
      {0x0301, false, 1, false}, {0x0301, false, 2, true},
      {0x0100, true, 1, true},  {0x0200, true, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version * 100 + c.goodCrc * 10 + c.verify);
    testing::internal::CaptureStderr();
    Loaded l(BuildPack(c.version, {Plain("a", "b", "data")}, c.goodCrc), c.verify);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(l.ok, c.loads);
    EXPECT_EQ(l.pack.IsOpen(), c.loads);
    EXPECT_EQ(err.empty(), c.loads);
  }
}

TEST(PackFormat, EntryCrcCheckedAtOpenInVerifyModeTwo) {
  Bytes pack = BuildPack(0x0300, {Plain("good", "", "1234"), Plain("bad", "", "5678")});
  pack[16 + 16] ^= 0xFF;  // the second entry's data
  Loaded l(pack, 2);
  ASSERT_TRUE(l.ok);
  EXPECT_TRUE(l.pack.VerifyFileCrc(0));
  EXPECT_FALSE(l.pack.VerifyFileCrc(1));
  VXFILE* f = l.pack.VXfopen("good");
  EXPECT_NE(f, nullptr);
  l.pack.VXfclose(f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(l.pack.VXfopen("bad"), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Pack"), std::string::npos);
}

TEST(PackFormat, LookupIgnoresCaseTakesTheFirstMatchAndLimitsTheLength) {
  const std::string base21(21, 'N');
  Loaded l(BuildPack(0x0301, {Plain(base21, "abc", "1"), Plain("Dup", "x", "first"), Plain("DUP", "X", "second")}));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.pack.CheckFileName((base21 + ".abc").c_str()), 0);  // 25 characters
  EXPECT_EQ(l.pack.CheckFileName((base21 + ".ABC").c_str()), 0);
  EXPECT_EQ(l.pack.CheckFileName((base21 + ".abcd").c_str()), -1);  // 26 never match
  EXPECT_EQ(l.pack.CheckFileName("dup.x"), 1);
  EXPECT_EQ(l.pack.CheckFileName("dup"), -1);  // whole names only
  EXPECT_EQ(l.pack.CheckFileName(nullptr), -1);
}

TEST(PackFormat, MagicIsNotComparedButVersionIs) {
  Bytes p = BuildPack(0x0200, {Plain("a", "", "z")});
  std::memcpy(p.data(), "XXXXXX", 6);
  EXPECT_TRUE(Loaded(p).ok);
  p[6] = 0x00;
  p[7] = 0x04;
  EXPECT_FALSE(Loaded(p).ok);
}

// Faults mended: a table shorter than N entries, entries outside the data area and 32-bit sums that wrap used to
// be accepted and read past the data.
TEST(PackFormat, DamagedTablesFailTheLoad) {
  const Bytes good = BuildPack(0x0300, {Plain("a", "", "0123456789")});
  struct Case {
    const char* what;
    std::size_t at;  // byte to overwrite (little-endian u32)
    std::uint32_t value;
    std::size_t cut;  // bytes to drop from the end
  };
  const std::size_t entry = 16 + 16;
  const Case cases[] = {
      {"truncated table", 0, 0, 10},
      {"count beyond the file", 12, 2, 0},
      {"huge count", 12, 0xFFFFFFFF, 0},
      {"data size beyond the file", 8, 0xFFFFFFF0, 0},
      {"offset beyond the data", entry + 24, 32, 0},
      {"stored size beyond the data", entry + 32, 17, 0},
      {"offset plus size wraps", entry + 24, 0xFFFFFFF8, 0},
      {"plain size beyond the data", entry + 28, 0xFFFFFFFF, 0},
      {"shorter than a header", 0, 0, good.size() - 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes p = good;
    if (c.at != 0) {
      for (int i = 0; i < 4; ++i) p[c.at + i] = static_cast<unsigned char>(c.value >> (8 * i));
    }
    p.resize(p.size() - c.cut);
    Loaded l(p);
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.pack.GetFileNum(), 0);
    EXPECT_FALSE(l.pack.GetLastError().empty());
  }
}

TEST(PackFormat, MakeFTNameAndNotCoding) {
  struct Case {
    const char* name;
    const char* base;
    const char* ext;
  };
  const Case cases[] = {
      {"file.txt", "file", "txt"}, {"a.b.jpeg", "a.b", "jpe"}, {".hidden", ".hidden", ""},
      {"noext", "noext", ""},      {"0123456789012345678901234.x", "012345678901234567890", "x"},
  };
  for (const Case& c : cases) {
    VXFileTable3 e{};
    VXPack::MakeFTName(e, c.name);
    EXPECT_EQ(std::string(e.name, strnlen(e.name, 21)), c.base) << c.name;
    EXPECT_EQ(std::string(e.ext, strnlen(e.ext, 3)), c.ext) << c.name;
  }
  unsigned char b[7] = {0, 1, 2, 0xFF, 0x80, 0x7F, 0x55};
  VXPack::NotCoding(b, 7);
  EXPECT_EQ(b[0], 0xFF);
  EXPECT_EQ(b[3], 0x00);
  EXPECT_EQ(b[6], 0xAA);
}

TEST(PackFormat, ClosedPackQueriesAndOpenPackOfNothing) {
  Loaded l(BuildPack(0x0300, {Plain("a", "", "z")}));
  ASSERT_TRUE(l.ok);
  char name[26];
  EXPECT_FALSE(l.pack.GetFileName(1, name));
  EXPECT_FALSE(l.pack.GetFileName(-1, name));
  EXPECT_TRUE(l.pack.OpenPack(""));
  EXPECT_FALSE(l.pack.IsOpen());
  EXPECT_EQ(l.pack.GetFileNum(), 0);
  EXPECT_EQ(l.pack.CheckFileName("a"), -1);
  VXPack writable;
  writable.SetReadOnly(false);
  EXPECT_FALSE(writable.LoadPackStream(&l.stream));
}

// ---- Reading entries

TEST(PackReader, EveryKindDecodesAndRawReadsSeeTheStoredBytes) {
  Bytes plain;
  for (int i = 0; i < 5000; ++i) plain.push_back(static_cast<unsigned char>("abcabcabd"[i % 9]));
  Bytes notted = plain;
  VXPack::NotCoding(notted.data(), static_cast<int>(notted.size()));
  const std::uint32_t n = static_cast<std::uint32_t>(plain.size());
  const std::vector<RawEntry> entries = {
      {"stored", "", plain, n, 0}, {"mariel", "", Encoded(VXCompMariel, plain), n, 1},
      {"cocotte", "", Encoded(VXCompCocotteMini, plain), n, 2}, {"not", "", notted, n, 3},
      {"other", "", notted, n, 9},
  };
  Loaded l(BuildPack(0x0300, entries));
  ASSERT_TRUE(l.ok);
  for (const RawEntry& e : entries) {
    SCOPED_TRACE(e.name);
    VXStream* s = l.pack.VXMakeStream(e.name.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s), e.comp == 9 ? notted : plain);
    delete s;
    VXFILE* raw = l.pack.VXfopenComp(e.name.c_str(), false);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(l.pack.VXIsComp(raw), e.comp);
    EXPECT_TRUE(l.pack.VXIsCrc(raw));
    Bytes got(e.stored.size());
    EXPECT_EQ(l.pack.VXfsize(raw), 5000);
    EXPECT_EQ(l.pack.VXdsize(raw), static_cast<int>(e.stored.size()));
    // The end of a raw coded entry is its stored size.
    EXPECT_EQ(l.pack.VXfread(got.data(), 1, static_cast<unsigned>(got.size()) + 10, raw), got.size());
    EXPECT_EQ(got, e.stored);
    EXPECT_EQ(l.pack.VXfread(got.data(), 1, 1, raw), 0u);
    l.pack.VXfclose(raw);
    VXMemoryStream copy;
    ASSERT_TRUE(l.pack.VXfopenToStream(&copy, e.name.c_str(), true));
    EXPECT_EQ(ReadAll(&copy), e.comp == 9 ? notted : plain);
    VXMemoryStream asStored;  // without decoding, the stored bytes are copied
    ASSERT_TRUE(l.pack.VXfopenToStream(&asStored, e.name.c_str(), false));
    EXPECT_EQ(ReadAll(&asStored), e.stored);
  }
  EXPECT_TRUE(l.pack.VXfopenToStream(nullptr, "STORED", true));  // found: nothing to copy into
  EXPECT_FALSE(l.pack.VXfopenToStream(nullptr, "absent", true));
}

TEST(PackReader, ReadsClampSeeksAndCountWholeItems) {
  Loaded l(BuildPack(0x0300, {Plain("e", "", std::string(100, 'q'))}));
  VXFILE* f = l.pack.VXfopen("e");
  ASSERT_NE(f, nullptr);
  int pos = 0;
  struct Seek {
    int offset, whence, expected;
  };
  for (Seek s : {Seek{-5, 2, 95}, Seek{200, 0, 100}, Seek{-1, 0, 0}, Seek{10, 1, 10}, Seek{7, 9, 10}}) {
    EXPECT_TRUE(l.pack.VXfseek(f, s.offset, s.whence));
    l.pack.VXfgetpos(f, &pos);
    EXPECT_EQ(pos, s.expected);
  }
  l.pack.VXfseek(f, 90, 0);
  char buf[128];
  EXPECT_EQ(l.pack.VXfread(buf, 4, 3, f), 2u);
  l.pack.VXfgetpos(f, &pos);
  EXPECT_EQ(pos, 98);
  EXPECT_EQ(l.pack.VXfread(buf, 4, 1, f), 0u);
  // size * count wraps in 32 bits: still only the whole items that fit.
  l.pack.VXfseek(f, 0, 0);
  EXPECT_EQ(l.pack.VXfread(buf, 0x10000, 0x10001, f), 0u);
  EXPECT_EQ(l.pack.VXfread(buf, 1, 0xFFFFFFFFu, f), 100u);
  l.pack.VXfclose(f);
}

// Fault mended: an entry that does not decode, or decodes short, used to open with partly written bytes.
TEST(PackReader, UndecodableEntriesDoNotOpen) {
  const Bytes plain = Text(std::string(300, 'x') + "tail");
  Bytes mariel = Encoded(VXCompMariel, plain);
  Bytes cocotte = Encoded(VXCompCocotte, plain);
  Bytes cocotteBroken = cocotte;
  cocotteBroken[2] ^= 0x40;  // L of the first block
  const std::vector<RawEntry> entries = {
      {"short", "", mariel, static_cast<std::uint32_t>(plain.size() + 50), 1},
      {"cut", "", Bytes(mariel.begin(), mariel.end() - 2), static_cast<std::uint32_t>(plain.size()), 1},
      {"block", "", cocotteBroken, static_cast<std::uint32_t>(plain.size()), 2},
      {"bomb", "", Bytes(3, 0), 0x7FFFFFFF, 1},
  };
  Loaded l(BuildPack(0x0300, entries));
  ASSERT_TRUE(l.ok);
  for (const RawEntry& e : entries) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(l.pack.VXfopen(e.name.c_str()), nullptr);
    EXPECT_EQ(l.pack.VXMakeStream(e.name.c_str()), nullptr);
    VXMemoryStream out;
    EXPECT_FALSE(l.pack.VXfopenToStream(&out, e.name.c_str(), true));
  }
}

TEST(PackReader, EmptyEntriesOpenAsEmptyStreamsAndCurrentFile) {
  Loaded l(BuildPack(0x0300, {{"empty", "", {}, 0, 0}, {"emptym", "", {}, 0, 1}, Plain("full", "", "abc")}));
  for (const char* name : {"empty", "emptym"}) {
    VXStream* s = l.pack.VXMakeStream(name);
    ASSERT_NE(s, nullptr) << name;
    EXPECT_EQ(s->GetSize(), 0);
    delete s;
  }
  EXPECT_TRUE(l.pack.OpenFile("full"));
  ASSERT_NE(l.pack.GetFileStream(), nullptr);
  EXPECT_EQ(ReadAll(l.pack.GetFileStream()), Text("abc"));
  EXPECT_TRUE(l.pack.OpenFile(""));
  EXPECT_EQ(l.pack.GetFileStream(), nullptr);
  EXPECT_FALSE(l.pack.OpenFile("missing"));
}

TEST(PackReader, GetFileExtractsWithTheEntryTime) {
  TempDir dir;
  Loaded l(BuildPack(0x0300, {Plain("doc", "txt", "contents")}));
  const std::string out = dir.str() + "/doc.txt";
  ASSERT_TRUE(l.pack.GetFile(out.c_str(), "DOC.TXT"));
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "contents");
  FILETIME t;
  ASSERT_TRUE(GetFileWriteTimeA(out.c_str(), &t));
  EXPECT_EQ(t.dwHighDateTime, 0x01D00000u);
  EXPECT_EQ(t.dwLowDateTime, 0x11223344u);
  EXPECT_FALSE(l.pack.GetFile((dir.str() + "/x").c_str(), "nothing"));
}

// Fault mended: GetFile created the destination first and then decoded into it, so an entry that did not decode left
// a cut file in place of the old one.
TEST(PackReader, GetFileOfABrokenEntryKeepsTheOldFile) {
  TempDir dir;
  const Bytes plain = Text(std::string(3000, 'x') + "tail");
  const Bytes mariel = Encoded(VXCompMariel, plain);
  Loaded l(BuildPack(0x0300, {{"cut", "txt", Bytes(mariel.begin(), mariel.end() - 2),
                               static_cast<std::uint32_t>(plain.size()), 1}}));
  ASSERT_TRUE(l.ok);
  const std::string out = dir.Write("cut.txt", "old contents");
  EXPECT_FALSE(l.pack.GetFile(out.c_str(), "cut.txt"));
  EXPECT_FALSE(l.pack.GetLastError().empty());
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary file left
}

// The W form reaches folders whose names CP932 cannot hold.
TEST(PackReader, GetFileWWritesWhereCp932CannotName) {
  TempDir dir;
  Loaded l(BuildPack(0x0300, {Plain("doc", "txt", "contents")}));
  std::filesystem::create_directory(dir.path() / "caf\u00e9");
  const std::string out = dir.str() + "/caf\u00e9/doc.txt";
  const std::u16string wide = platform::text::Utf8ToUtf16(out);
  ASSERT_TRUE(l.pack.GetFileW(wide.c_str(), "doc.txt")) << l.pack.GetLastError();
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "contents");
  FILETIME t;
  ASSERT_TRUE(GetFileWriteTimeW(wide.c_str(), &t));
  EXPECT_EQ(t.dwLowDateTime, 0x11223344u);
}

// ---- Writing

namespace {

struct Writer {
  TempDir dir;
  std::string path = dir.str() + "/out.pak";
  VXPack pack;
  Writer() { pack.SetReadOnly(false); }
  std::string Source(const std::string& name, const std::string& bytes) { return dir.Write("src/" + name, bytes); }
  Bytes File() const {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
  }
  // A finished pack of one stored entry "a.txt" ("old"); its bytes, and the pack loaded writable again.
  Bytes OneEntryPackLoaded() {
    const std::string a = Source("a.txt", "old");
    EXPECT_TRUE(pack.NewPack(path.c_str()));
    EXPECT_TRUE(pack.AddFile("a.txt", a.c_str(), 0, false));
    EXPECT_TRUE(pack.EndPack());
    EXPECT_TRUE(pack.LoadPack(path.c_str()));
    return File();
  }
};

}  // namespace

TEST(PackWriter, EmptyPackIsAHeaderAndItsCrc) {
  Writer w;
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  EXPECT_FALSE(std::filesystem::exists(w.path));  // built aside, in place only when finished
  EXPECT_TRUE(w.pack.EndPack());
  const Bytes f = w.File();
  ASSERT_EQ(f.size(), 18u);
  const Bytes head = {'Z', 'o', 'P', 'a', 'c', 'k', 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 16), head);
  VXCrcCheck crc;
  const unsigned c = crc.Crc(f.data(), 16);
  EXPECT_EQ(f[16] | (f[17] << 8), static_cast<int>(c));
  EXPECT_EQ(w.FilesInDir(), 1u);  // no temporary file left
}

TEST(PackWriter, EveryChoiceRoundTripsThroughTheReader) {
  Writer w;
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i % 17) + "\n";
  const std::string src = w.Source("text.txt", text);
  const std::string empty = w.Source("empty.dat", "");
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  struct Case {
    const char* name;
    int comp;
    int kind;
  };
  const Case cases[] = {{"s.txt", 0, 0}, {"m.txt", 1, 1}, {"c.txt", 2, 2}, {"n.txt", 3, 3}, {"le.txt", 4, 2},
                        {"mini.txt", 5, 2}};
  for (const Case& c : cases) ASSERT_TRUE(w.pack.AddFile(c.name, src.c_str(), c.comp, true)) << c.name;
  ASSERT_TRUE(w.pack.AddFile("zero", empty.c_str(), VXPackAddCocotte, false));
  ASSERT_TRUE(w.pack.EndPack());

  VXPack r;
  r.verifyMode = VXPackVerifyFile;
  ASSERT_TRUE(r.LoadPack(w.path.c_str()));
  r.verifyMode = VXPackVerifyEntry;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int i = r.CheckFileName(c.name);
    EXPECT_EQ(r.GetFileComp(i), c.kind);
    EXPECT_TRUE(r.VerifyFileCrc(i));
    VXStream* s = r.VXMakeStream(c.name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s), Text(text));
    delete s;
  }
  const VXFileTable3* zero = r.GetFileTable(r.CheckFileName("zero"));
  EXPECT_EQ(zero->comp, 0);
  EXPECT_EQ(zero->compSize, 0u);
  EXPECT_EQ(zero->offset, r.GetFileTable(r.GetFileNum() - 2)->offset +
                              ((r.GetFileTable(r.GetFileNum() - 2)->compSize + 15) & ~15u));
}

TEST(PackWriter, KeepSmallerStoresWhatDoesNotShrink) {
  Writer w;
  std::string noise;
  std::uint32_t x = 12345;
  for (int i = 0; i < 4000; ++i) noise += static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  const std::string src = w.Source("noise.bin", noise);
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  ASSERT_TRUE(w.pack.AddFile("keep", src.c_str(), VXPackAddMariel, true));
  ASSERT_TRUE(w.pack.AddFile("coded", src.c_str(), VXPackAddMariel, false));
  EXPECT_EQ(w.pack.GetFileComp(0), 0);
  EXPECT_EQ(w.pack.GetFileComp(1), 1);
  ASSERT_TRUE(w.pack.EndPack());
}

// Faults mended: names silently cut to fit, AddFile reporting success with no pack open.
TEST(PackWriter, RefusesBadNamesAndWorksOnlyOnAnOpenWritablePack) {
  Writer w;
  const std::string src = w.Source("a.txt", "abc");
  EXPECT_FALSE(w.pack.AddFile("a.txt", src.c_str(), 0, false));  // no pack open
  VXPack readOnly;
  EXPECT_FALSE(readOnly.NewPack(w.path.c_str()));
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  ASSERT_TRUE(w.pack.AddFile("a.txt", src.c_str(), 0, false));
  testing::internal::CaptureStderr();
  for (const char* bad : {"A.TXT", "0123456789012345678901.x", "name.text", "dot.", "", "0123456789012345678901"})
    EXPECT_FALSE(w.pack.AddFile(bad, src.c_str(), 0, false)) << bad;
  EXPECT_FALSE(w.pack.AddFile("missing", (w.dir.str() + "/nope").c_str(), 0, false));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("nope"), std::string::npos);
  EXPECT_NE(err.find("name.text"), std::string::npos);
  EXPECT_EQ(w.pack.GetFileNum(), 1);
  ASSERT_TRUE(w.pack.EndPack());
}

// Fault mended: a refused name gave no reason. The reason names what is wrong; names whose double-byte characters
// end in 0x5C ("表", "ソ") are names like any other.
TEST(PackWriter, NameRefusalSaysWhy) {
  Writer w;
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  VXMemoryStream bytes("abc", 3);
  ASSERT_TRUE(w.pack.AddStream("a.txt", &bytes, {}, VXPackAddStore, false));
  const std::pair<const char*, const char*> cases[] = {
      {"a.txt", "already holds an entry of that name"},
      {"A.TXT", "already holds \"a.txt\", a name that differs only in case"},
      {"", "empty"},
      {"01234567890123456789012.txt", "27 bytes long"},
      {"0123456789012345678901.x", "before the last dot is longer than 21 bytes"},
      {"name.text", "extension \"text\" is longer than 3 bytes"},
      {"dot.", "ends with a dot"},
      {"..\\up.txt", "climbs out"},
      {"\\abs.txt", "absolute"},
      {"C:\\x", "absolute"},
      {"dir\\", "ends with a folder separator"},
      {"\x95\x5c.txt", ""},                 // 表.txt
      {"\x83\x5c\\\x8b\xc8.txt", ""},       // ソ\曲.txt
      {"\x83\x5c", ""},                     // ソ: its last byte is no separator
      {"\x95\x5c..\\x.txt", ""},            // 表..\x.txt: "表.." is a folder name, not a climb
      {".hidden", ""},
  };
  for (const auto& [name, why] : cases) {
    const std::string refusal = w.pack.NameRefusal(name);
    if (*why == '\0')
      EXPECT_EQ(refusal, "") << name;
    else
      EXPECT_NE(refusal.find(why), std::string::npos) << name << ": " << refusal;
  }
  w.pack.DiscardPack();
}

TEST(PackWriter, AddStreamTakesACallersStreamQuietly) {
  Writer w;
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  std::string text;
  for (int i = 0; i < 500; ++i) text += "scenario line\n";
  VXMemoryStream source(text.data(), static_cast<int>(text.size()));
  source.Seek(100, VXSeekBegin);  // read from its start wherever it stands
  const FILETIME time = {0x12345678u, 0x01D50000u};
  // "ツ" (83 63) and "イ" (83 43) differ only in a trail byte that looks like a letter: two names, not one.
  for (const char* name : {"\x83\x63.txt", "\x83\x43.txt", "\x83\x5c\x83\x93\x83\x4f\\\x8b\xc8.txt"})
    ASSERT_TRUE(w.pack.AddStream(name, &source, time, VXPackAddMariel, true)) << w.pack.GetLastError();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(w.pack.AddStream("\x83\x63.TXT", &source, time, VXPackAddStore, false));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(w.pack.GetLastError().empty());
  ASSERT_TRUE(w.pack.EndPack());

  VXPack r;
  r.verifyMode = VXPackVerifyFile;
  ASSERT_TRUE(r.LoadPack(w.path.c_str()));
  ASSERT_EQ(r.GetFileNum(), 3);
  for (int i = 0; i < 3; ++i) {
    char name[26];
    r.GetFileName(i, name);
    EXPECT_EQ(r.CheckFileName(name), i);
    EXPECT_EQ(r.GetFileComp(i), VXPackCompMariel);
    FILETIME t;
    ASSERT_TRUE(r.GetFileTime(i, &t));
    EXPECT_EQ(t.dwLowDateTime, time.dwLowDateTime);
    VXStream* s = r.VXMakeStream(name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s), Text(text));
    delete s;
  }
}

// A caller whose change fails part-way (the pack tool) drops it whole.
TEST(PackWriter, DiscardLeavesThePackAsItWas) {
  Writer w;
  const Bytes before = w.OneEntryPackLoaded();
  ASSERT_TRUE(w.pack.DelFile("a.txt"));
  ASSERT_TRUE(w.pack.AddFile("b.txt", w.Source("b.txt", "new").c_str(), 0, false));
  w.pack.DiscardPack();
  EXPECT_FALSE(w.pack.IsOpen());
  EXPECT_EQ(w.File(), before);
  EXPECT_EQ(w.FilesInDir(), 2u);  // the pack and src/: no working copy left

  const std::string fresh = w.dir.str() + "/fresh.pak";
  ASSERT_TRUE(w.pack.NewPack(fresh.c_str()));
  w.pack.DiscardPack();
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_EQ(w.FilesInDir(), 2u);
}

TEST(PackWriter, DeleteAddPackAndReloadKeepData) {
  Writer w;
  const std::string a = w.Source("a.txt", "first contents");
  const std::string b = w.Source("b.txt", "second");
  ASSERT_TRUE(w.pack.NewPack(w.path.c_str()));
  ASSERT_TRUE(w.pack.AddFile("a.txt", a.c_str(), VXPackAddMariel, false));
  ASSERT_TRUE(w.pack.EndPack());

  ASSERT_TRUE(w.pack.LoadPack(w.path.c_str()));
  ASSERT_TRUE(w.pack.DelFile("A.TXT"));
  EXPECT_FALSE(w.pack.DelFile("a.txt"));
  ASSERT_TRUE(w.pack.AddFile("a.txt", b.c_str(), VXPackAddStore, false));  // the same name again
  ASSERT_TRUE(w.pack.AddPack("copy.txt", &w.pack, "a.txt"));
  ASSERT_TRUE(w.pack.EndPack());

  VXPack r;
  r.verifyMode = VXPackVerifyFile;
  ASSERT_TRUE(r.LoadPack(w.path.c_str()));
  ASSERT_EQ(r.GetFileNum(), 3);
  char name[26];
  r.GetFileName(0, name);
  EXPECT_STREQ(name, "");
  EXPECT_GT(r.GetFileTable(0)->compSize, 0u);  // a deleted entry keeps its data
  for (const char* n : {"a.txt", "copy.txt"}) {
    VXStream* s = r.VXMakeStream(n);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s), Text("second"));
    delete s;
  }
  EXPECT_EQ(w.FilesInDir(), 2u);  // the pack and src/: no working copy left
}

// Fault mended: the pack was changed in place, so a failure part-way destroyed it. A pack that is loaded writable,
// changed and then abandoned (its writing fails) keeps its old bytes.
TEST(PackWriter, AFailedFinishLeavesTheOldPack) {
  Writer w;
  const Bytes before = w.OneEntryPackLoaded();
  ASSERT_TRUE(w.pack.DelFile("a.txt"));
  EXPECT_EQ(w.File(), before);  // nothing touched before the end
  // The target becomes a folder: the rename must fail, and the working copy must go.
  std::filesystem::remove(w.path);
  std::filesystem::create_directory(w.path);
  std::filesystem::create_directory(w.path + "/keep");
  EXPECT_FALSE(w.pack.EndPack());
  EXPECT_NE(w.pack.GetLastError().find("cannot take the place of"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(w.path + "/keep"));
  EXPECT_EQ(w.FilesInDir(), 2u);
}

TEST(PackWriter, TemporaryFilesAreNewAndUnpredictable) {
  TempDir dir;
  VXString a, b;
  VXFileStream* s1 = VXPack::MakeTempFile(dir.str().c_str(), a);
  VXFileStream* s2 = VXPack::MakeTempFile(dir.str().c_str(), b);
  ASSERT_NE(s1, nullptr);
  ASSERT_NE(s2, nullptr);
  EXPECT_NE(a, b);
  EXPECT_GE(a.Length(), dir.str().size() + 20u);
  delete s1;
  delete s2;
  // Exclusive creation: an existing name is never opened.
  VXFileStream again(a, VXFileCreateNew);
  EXPECT_FALSE(again.IsOpen());
}
