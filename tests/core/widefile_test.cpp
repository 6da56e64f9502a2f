#include "core/widefile.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "support/filesizelimit.h"
#include "support/tempdir.h"

namespace {

VXWideStr W(const std::string& s) { return VXWideStr(s.c_str()); }

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Read(const VXWideStr& path, const char* section, const char* key) {
  TIniFileW ini(path);
  return ini.ReadString(section, key, "<none>").c_str();
}

}  // namespace

TEST(TFileStreamW, ModesOpenAsTheFrameworkDoes) {
  TempDir dir;
  const std::string path = dir.Write("File.bin", "hello");
  const VXWideStr name = W(dir.str() + "\\FILE.BIN");  // found without regard to case
  {
    TFileStreamW stream(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(stream.GetSize(), 5);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 5);
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(stream.Write("x", 1), 0);  // read-only
    EXPECT_EQ(stream.Seek(1, Classes::soBeginning), 1);
    EXPECT_EQ(stream.Seek(-1, Classes::soEnd), 4);
  }
  {
    TFileStreamW stream(name, fmOpenReadWrite | fmShareExclusive);
    EXPECT_EQ(stream.Seek(0, Classes::soEnd), 5);
    EXPECT_EQ(stream.Write("!!", 2), 2);
    stream.SetSize(3);
  }
  EXPECT_EQ(Contents(path), "hel");
  { TFileStreamW stream(name, fmOpenWrite); }  // truncates
  EXPECT_EQ(Contents(path), "");
  {
    TFileStreamW stream(W(dir.str() + "\\New.bin"), fmCreate);
    stream.WriteBuffer("abc", 3);
  }
  EXPECT_EQ(Contents(dir.str() + "/New.bin"), "abc");

  for (const std::uint16_t mode : {std::uint16_t{fmOpenRead}, std::uint16_t{fmOpenWrite}})
    EXPECT_THROW(TFileStreamW(W(dir.str() + "\\missing"), mode), Classes::EFOpenError);
  EXPECT_THROW(TFileStreamW(name, 0x0003), Classes::EFOpenError);
  EXPECT_THROW(TFileStreamW(W(dir.str()), fmOpenRead), Classes::EFOpenError);  // a folder
  try {
    TFileStreamW stream(u"\\no\\such\\\u3042.bin", fmOpenRead);
    FAIL();
  } catch (const Classes::EFOpenError& e) {
    EXPECT_STREQ(e.what(), "\\no\\such\\\x82\xa0.bin");  // the name in CP932
  }
}

TEST(TFileStreamW, SharingRulesBetweenHandles) {
  TempDir dir;
  dir.Write("f", "x");
  const VXWideStr name = W(dir.str() + "\\f");
  {
    TFileStreamW reader(name, fmOpenRead | fmShareDenyNone);
    EXPECT_THROW(TFileStreamW(name, fmOpenRead | fmShareExclusive), Classes::EFOpenError);
    EXPECT_THROW(TFileStreamW(name, fmCreate), Classes::EFOpenError);
    EXPECT_NO_THROW(TFileStreamW(name, fmOpenRead | fmShareDenyWrite));
  }
  TFileStreamW exclusive(name, fmOpenRead | fmShareExclusive);
  EXPECT_THROW(TFileStreamW(name, fmOpenRead | fmShareDenyNone), Classes::EFOpenError);
}

TEST(TIniFileW, ReadsSectionsOfKeyValueLines) {
  TempDir dir;
  dir.Write("QORM.ini",
            "dropped=1\r\n"
            "[Sound]\r\nVolume=80\r\n\r\n"
            "[Sound]\nVolume=20\n"
            "[Abc\rKey = 1\rEmpty=\rno equals\r"
            "[Keys]\r\n\x83\x41=kana\r\n");
  const VXWideStr path = W(dir.str() + "\\qorm.ini");
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"Sound", "volume", "80"},  // keys without regard to case; the first section of a name wins
      {"sound", "Volume", "<none>"},  // section names exactly
      {"Ab", "Key ", " 1"},          // "[Abc" names a section Ab; no trimming
      {"Ab", "Key", "<none>"},
      {"Ab", "Empty", "<none>"},     // an empty value gives the default
      {"Ab", "no equals", "<none>"},
      {"Keys", "\x83\x41", "kana"},
      {"Keys", "\x83\x61", "<none>"},  // a trail byte that looks like a letter is not folded
      {"", "dropped", "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(path, c.section, c.key), c.value) << c.section << "/" << c.key;
  TIniFileW ini(path);
  EXPECT_EQ(ini.GetSectionCount(), 4);
  EXPECT_FALSE(ini.IsModified());
}

TEST(TIniFileW, WritesTheWholeStore) {
  TempDir dir;
  dir.Write("Qorm.ini", "junk\r\n[Sound]\r\nVolume=80\r\n\r\n[Sound]\r\nVolume=20\r\n[Pad]\r\nA=1\r\nB=2\r\n");
  const VXWideStr path = W(dir.str() + "\\" + "QORM.ini");
  {
    TIniFileW ini(path);
    EXPECT_TRUE(ini.WriteString("Sound", "VOLUME", "50"));  // replaces the first section's line, key as written
    EXPECT_TRUE(ini.WriteString("Pad", "a", ""));           // removes the line
    EXPECT_TRUE(ini.WriteString("Pad", "b", ""));
    EXPECT_TRUE(ini.WriteString("New", "a", "1"));
    EXPECT_TRUE(ini.IsModified());
  }  // the destructor writes
  EXPECT_EQ(Contents(dir.str() + "/Qorm.ini"),  // the existing file of any case is replaced
            "[Sound]\r\nVOLUME=50\r\n[Sound]\r\nVolume=20\r\n[Pad]\r\n[New]\r\na=1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  TIniFileW fresh(W(dir.str() + "\\Sub.ini"));
  EXPECT_EQ(fresh.GetSectionCount(), 0);
  fresh.WriteString("S", "k", "v");
  fresh.UpdateFile();
  EXPECT_FALSE(fresh.IsModified());
  EXPECT_EQ(Contents(dir.str() + "/Sub.ini"), "[S]\r\nk=v\r\n");
}

TEST(TIniFileW, TextThatWouldNotReadBackIsRefused) {
  TempDir dir;
  TIniFileW ini(W(dir.str() + "\\QORM.ini"));
  const struct {
    VXString section, key, value;
  } cases[] = {
      {"S", "k", "1\r\n[Evil]"}, {"S", "k", "1\nx=2"}, {"S", "k", VXString("1\0x", 3)}, {"S\r\n", "k", "1"},
      {"S", "k\n", "1"},         {"S", "a=b", "1"},    {"S", "[T]", "1"},
  };
  for (const auto& c : cases) EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value)) << c.value.c_str();
  EXPECT_FALSE(ini.IsModified());
  EXPECT_EQ(ini.GetText(), "");
}

TEST(TIniFileW, SectionNamesReadBackAsWritten) {
  TempDir dir;
  const VXWideStr path = W(dir.str() + "\\QORM.ini");
  const char* names[] = {"Sound", "", "\x83\x41", "ends in a lead byte \x9c", "[x]", "a]"};
  {
    TIniFileW ini(path);
    for (const char* name : names) EXPECT_TRUE(ini.WriteString(name, "k", name[0] == '\0' ? "empty" : name));
  }
  TIniFileW ini(path);
  EXPECT_EQ(ini.GetSectionCount(), 6);
  for (const char* name : names) EXPECT_STREQ(ini.ReadString(name, "k", "").c_str(), name[0] == '\0' ? "empty" : name);
  // A header without its closing bracket loses its last character, a double-byte one whole.
  dir.Write("Open.ini", "[ab\x83\x41\r\nk=1\r\n");
  EXPECT_STREQ(TIniFileW(W(dir.str() + "\\Open.ini")).ReadString("ab", "k", "").c_str(), "1");
}

TEST(TIniFileW, AFailedWriteKeepsTheOldFileAndReportsIt) {
  TempDir dir;
  const std::string original = "[Sound]\r\nVolume=80\r\n";
  const std::string path = dir.Write("QORM.ini", original);
  {
    // A real write failure: the file-size limit makes the kernel refuse the bytes past it.
    ScopedFileSizeLimit limit(4096);
    TIniFileW ini(W(dir.str() + "\\QORM.ini"));
    ini.WriteString("Sound", "Big", std::string(100000, 'x').c_str());
    EXPECT_THROW(ini.UpdateFile(), Classes::EWriteError);
    EXPECT_TRUE(ini.IsModified());
    EXPECT_TRUE(Contents(path) == original);
  }  // the destructor's own attempt fails too, without throwing
  EXPECT_TRUE(Contents(path) == original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  TIniFileW lost(W(dir.str() + "\\no\\folder\\QORM.ini"));
  lost.WriteString("S", "k", "v");
  EXPECT_THROW(lost.UpdateFile(), Classes::EFOpenError);
}

TEST(FileTimes, LocalPackedDateAndTimeInTheZoneOfTheEnvironment) {
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  // Seconds since 1970 as a file time (100 ns ticks since 1601).
  auto at = [](std::int64_t unix) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(unix + 11644473600LL) * 10000000ULL;
    return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
  };
  struct Case {
    const char* zone;
    std::int64_t unix;
    bool ok;
    int year, month, day, hour, minute, second;
  };
  const Case cases[] = {
      {"UTC", 1772528700, true, 2026, 3, 3, 9, 5, 0},    // 2026-03-03 09:05:00
      {"JST-9", 1772528759, true, 2026, 3, 3, 18, 5, 58},  // odd seconds halve down
      {"UTC", 315532800, true, 1980, 1, 1, 0, 0, 0},     // the first time the form holds
      {"UTC", 315532799, false, 0, 0, 0, 0, 0, 0},       // 1979
      {"UTC", 4354819200, false, 0, 0, 0, 0, 0, 0},      // 2108
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unix);
    setenv("TZ", c.zone, 1);
    std::uint16_t date = 0xAAAA, time = 0xAAAA;
    EXPECT_EQ(FileTimeToLocalDosDateTime(at(c.unix), &date, &time), c.ok);
    if (!c.ok) {
      EXPECT_EQ(date, 0xAAAA);
      continue;
    }
    EXPECT_EQ((date >> 9) + 1980, c.year);
    EXPECT_EQ(date >> 5 & 15, c.month);
    EXPECT_EQ(date & 31, c.day);
    EXPECT_EQ(time >> 11, c.hour);
    EXPECT_EQ(time >> 5 & 63, c.minute);
    EXPECT_EQ((time & 31) * 2, c.second);
  }
  if (old != nullptr) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}
