// Label: threads
#include "core/vxstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Byte view of a narrow string, embedded NULs included.
std::string Bytes(const VXString& s) { return s.GetConstStr(); }

template <class Exception, class F>
void ExpectThrowText(F f, const char* text) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << text;
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), text);
  }
}

TEST(VXString, CopyOnWriteSharesUntilWritten) {
  const int before = _VXDBG_GetStrSizeA();
  VXString a("abc");
  VXString b(a);
  EXPECT_EQ(a.GetData(), b.GetData());
  EXPECT_EQ(_VXDBG_GetStrSizeA(), before + 1);

  b[1] = 'x';
  EXPECT_EQ(Bytes(a), "abc");
  EXPECT_EQ(Bytes(b), "xbc");
  EXPECT_NE(a.GetData(), b.GetData());
  EXPECT_EQ(_VXDBG_GetStrSizeA(), before + 2);

  b.Delete(1, 100);  // emptied: its representation is released
  EXPECT_EQ(b.GetData(), nullptr);
  EXPECT_STREQ(b.c_str(), "");
  EXPECT_EQ(_VXDBG_GetStrSizeA(), before + 1);
}

TEST(VXString, OwnerWritesInPlaceAcrossMovesAndReleasedCopies) {
  VXString a("abc");
  a[1] = 'x';  // a owns its representation now
  auto* rep = a.GetData();
  VXString b(std::move(a));
  b[2] = 'y';  // ownership moved with the representation: no copy
  EXPECT_EQ(b.GetData(), rep);
  { VXString c(b); }
  b[3] = 'z';
  EXPECT_EQ(b.GetData(), rep);
  EXPECT_EQ(Bytes(b), "xyz");

  VXString d;
  d = std::move(b);
  d += "!";
  EXPECT_EQ(d.GetData(), rep);

  d += d;  // appending itself reads the text before it changes
  EXPECT_EQ(Bytes(d), "xyz!xyz!");
  d.Insert(d, 2);
  EXPECT_EQ(Bytes(d), "xxyz!xyz!yz!xyz!");
}

TEST(VXString, ConstructorsAndAssignment) {
  struct Case {
    VXString value;
    std::string bytes;
  } cases[] = {
      {VXString(), ""},
      {VXString(""), ""},
      {VXString("a\0b", 3), std::string("a\0b", 3)},
      {VXString('q'), "q"},
      {VXString('\0'), ""},
      {VXString(static_cast<short>(-5)), "-5"},
      {VXString(static_cast<unsigned short>(65535)), "65535"},
      {VXString(INT_MIN), "-2147483648"},
      {VXString(UINT_MAX), "4294967295"},
      {VXString(LONG_MIN), "-9223372036854775808"},
      {VXString(ULONG_MAX), "18446744073709551615"},
      {VXString(LLONG_MIN), "-9223372036854775808"},
      {VXString(ULLONG_MAX), "18446744073709551615"},
      {VXString(u"\u65E5\u672C"), "\x93\xFA\x96\x7B"},
      {VXString(u"a\uD55Cb"), ""},  // Hangul has no CP932 form
      {VXString(VXWideStr(u"x")), "x"},
      {"ab" + VXString("cd"), "abcd"},
      {VXString("ab") + "cd", "abcd"},
  };
  for (const auto& c : cases) EXPECT_EQ(Bytes(c.value), c.bytes);
  EXPECT_EQ(VXString("").GetData(), nullptr);

  VXString s("keep");
  auto* rep = s.GetData();
  s = s;
  EXPECT_EQ(s.GetData(), rep);
  EXPECT_FALSE(s.SetWideChar(u"\uD55C"));  // unchanged on failure
  EXPECT_FALSE(s.SetWideChar(u""));
  EXPECT_EQ(Bytes(s), "keep");
  s = u"\uD55C";  // a failed conversion clears
  EXPECT_TRUE(s.IsEmpty());
  s = VXWideStr(u"w");
  EXPECT_EQ(Bytes(s), "w");
  s = "";
  EXPECT_EQ(s.GetData(), nullptr);
}

// Panels hold their text in the framework's narrow string; screens pass VXString text to them and read it back.
TEST(VXString, FrameworkNarrowStringBothWaysUpToTheFirstNul) {
  const auto takesNarrow = [](const std::string& text) { return text; };
  const auto takesVX = [](const VXString& text) { return Bytes(text); };
  EXPECT_EQ(takesNarrow(VXString("\x93\xFA\x96\x7B.png")), "\x93\xFA\x96\x7B.png");
  EXPECT_EQ(takesVX(std::string("Title.png")), "Title.png");
  EXPECT_EQ(takesNarrow(VXString("a\0b", 3)), "a");
  EXPECT_EQ(takesVX(std::string("a\0b", 3)), "a");
  EXPECT_EQ(VXString(std::string()).GetData(), nullptr);
  EXPECT_EQ(std::string(VXString()), "");

  VXString s("old");
  s = std::string("new");
  EXPECT_EQ(Bytes(s), "new");
  EXPECT_TRUE(s == std::string("new"));
}

TEST(VXString, RangesClampWithoutThrowing) {
  struct Case {
    int index, count;
    const char* sub;
    const char* afterDelete;
  } cases[] = {
      {0, 3, "ab", "cdef"},  {5, 10, "ef", "abcd"}, {7, 1, "", "abcdef"},
      {-1, 3, "a", "bcdef"}, {2, 0, "", "abcdef"},  {1, 100, "abcdef", ""},
  };
  const VXString s("abcdef");
  for (const auto& c : cases) {
    EXPECT_EQ(Bytes(s.SubString(c.index, c.count)), c.sub) << c.index << "," << c.count;
    VXString d(s);
    d.Delete(c.index, c.count);
    EXPECT_EQ(Bytes(d), c.afterDelete) << c.index << "," << c.count;
  }

  struct InsertCase {
    int index;
    const char* result;
  } inserts[] = {{99, "abcX"}, {-5, "Xabc"}, {1, "Xabc"}, {2, "aXbc"}, {4, "abcX"}};
  for (const auto& c : inserts) {
    VXString t("abc");
    t.Insert("X", c.index);
    EXPECT_EQ(Bytes(t), c.result) << c.index;
  }

  VXString t("ab");
  t.SetLength(4);
  EXPECT_EQ(Bytes(t), std::string("ab\0\0", 4));
  t.SetLength(1);
  EXPECT_EQ(Bytes(t), "a");
  t.SetLength(0);
  EXPECT_EQ(t.GetData(), nullptr);
}

TEST(VXString, IndexErrorsThrowTheirTexts) {
  VXString s("ab");
  const VXString& cs = s;
  for (int bad : {0, 3, -1}) {
    ExpectThrowText<std::out_of_range>([&] { (void)cs[bad]; }, "Index is out of range");
    ExpectThrowText<std::out_of_range>([&] { s[bad] = 'x'; }, "Index is out of range");
    ExpectThrowText<std::out_of_range>([&] { s.ThrowIfOutOfRange(bad); }, "Index is out of range");
  }
  EXPECT_EQ(cs[2], 'b');
  ExpectThrowText<std::out_of_range>([] { VXString().AnsiLastChar(); }, "AnsiLastChar error");
  ExpectThrowText<std::invalid_argument>([] { VXString().ToInt(); }, "ToInt error");
  ExpectThrowText<std::invalid_argument>([] { VXString("1x").ToInt(); }, "ToInt error");
}

TEST(VXString, Numbers) {
  struct Case {
    const char* text;
    int value;  // ToIntDef(7)
  } cases[] = {
      {"", 7},   {"12a", 7},        {" 12", 7},           {"+3", 7},         {"-42", -42},
      {"-", 0},  {"0", 0},          {"1-2", 7},           {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},      {"4294967297", 1},    {"-2147483648", INT_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VXString(c.text).ToIntDef(7), c.value) << c.text;
    EXPECT_EQ(VXWideStr(c.text).ToIntDef(7), c.value) << c.text;
  }
  EXPECT_EQ(VXString("-42").ToInt(), -42);
}

TEST(VXString, ByteClasses) {
  // 'a', a two-byte character, three lead-class bytes in a row (the third pairs with the 0xB1 after it), then a
  // half-width katakana.
  const VXString s("a\x82\xA0\x81\x81\x81\xB1\xB1");
  const int expected[] = {0, 0, 1, 2, 1, 2, 1, 2, 0, 0};  // positions 0 .. Length() + 1
  for (int i = 0; i <= s.Length() + 1; ++i) EXPECT_EQ(s.ByteType(i), expected[i]) << i;
  EXPECT_TRUE(s.IsLeadByte(2));
  EXPECT_TRUE(s.IsTrailByte(3));
  EXPECT_FALSE(s.IsTrailByte(2));
}

TEST(VXString, SearchSkipsTrailBytes) {
  // 0x83 0x5C is a character whose trail byte is a backslash.
  const VXString path("dir\\\x83\x5C.txt");
  EXPECT_EQ(path.LastDelimiter("\\"), 4);
  EXPECT_EQ(VXLastDelimiterA("\\", path), 4);
  EXPECT_EQ(path.LastDelimiter("\\."), 7);
  EXPECT_EQ(path.LastDelimiter("/"), 0);
  EXPECT_TRUE(path.IsPathDelimiter(4));
  EXPECT_FALSE(path.IsPathDelimiter(6));
  EXPECT_FALSE(path.IsDelimiter("\\", 6));
  EXPECT_TRUE(path.IsDelimiter("x.", 7));
  EXPECT_FALSE(path.IsDelimiter("\\", 99));

  const VXString text("\x83\x5C\\ab");
  EXPECT_EQ(text.Pos("\\"), 2);
  EXPECT_EQ(text.AnsiPos("\\"), 3);
  EXPECT_EQ(text.AnsiPos("ab"), 4);
  EXPECT_EQ(text.AnsiPos(""), 0);
  EXPECT_EQ(text.Pos(""), 1);
  EXPECT_EQ(VXString().Pos(""), 0);
  EXPECT_EQ(text.Pos("abc"), 0);

  const VXString tail("ab\x82\xA0");
  EXPECT_EQ(tail.AnsiLastChar(), tail.c_str() + 2);
  const VXString ab("ab");
  EXPECT_EQ(ab.AnsiLastChar(), ab.c_str() + 1);
}

TEST(VXString, CaseAndBlanks) {
  // The trail byte 0x61 of a double-byte character looks like 'a' and must stay.
  EXPECT_EQ(Bytes(VXString("a\x82\x61z").UpperCase()), "A\x82\x61Z");
  EXPECT_EQ(Bytes(VXString("A\x82\x41Z").LowerCase()), "a\x82\x41z");

  struct Case {
    const char* text;
    const char *both, *left, *right;
  } cases[] = {
      {" \t\nab \r", "ab", "ab \r", " \t\nab"},
      {" \r\n\t", "", "", ""},
      {"\fab\v", "\fab\v", "\fab\v", "\fab\v"},  // only the four blanks go
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    VXString s(c.text);
    EXPECT_EQ(Bytes(s.Trim()), c.both) << c.text;
    EXPECT_EQ(Bytes(s.TrimLeft()), c.left) << c.text;
    EXPECT_EQ(Bytes(s.TrimRight()), c.right) << c.text;
  }
  EXPECT_EQ(Bytes(VXString::StringOfChar('-', 3)), "---");
  EXPECT_TRUE(VXString::StringOfChar('-', 0).IsEmpty());
}

TEST(VXString, Comparisons) {
  struct Case {
    VXString a, b;
    int order;  // sign of a compared with b
  } cases[] = {
      {"abc", "abc", 0},
      {"ab", "abc", -1},
      {"\xFF", "a", 1},  // bytes compare unsigned
      {VXString("a\0b", 3), "a", 1},
      {"", "", 0},
      {"b", "abc", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a == c.b, c.order == 0);
    EXPECT_EQ(c.a != c.b, c.order != 0);
    EXPECT_EQ(c.a < c.b, c.order < 0);
    EXPECT_EQ(c.a > c.b, c.order > 0);
    EXPECT_EQ(c.a <= c.b, c.order <= 0);
    EXPECT_EQ(c.a >= c.b, c.order >= 0);
  }
}

TEST(VXString, FormattingKeepsAtMost1023Bytes) {
  const std::string long_text(2000, 'q');
  VXString s;
  EXPECT_EQ(Bytes(s.sprintf("%s", long_text.c_str())), long_text.substr(0, 1023));
  EXPECT_EQ(s.printf("%d-%s", 42, "x"), 5);
  EXPECT_EQ(Bytes(s), "42-x");

  s.sprintf("%s|%s", s.c_str(), s.c_str());  // arguments inside the string itself
  EXPECT_EQ(Bytes(s), "42-x|42-x");

  VXString shared(s);
  EXPECT_EQ(s.printf("%s", ""), 1);  // no output empties the string
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(Bytes(shared), "42-x|42-x");
}

TEST(VXString, DiagnosticsListLiveRepresentationsInAddressOrder) {
  VXString a("one"), b("two"), c("three");
  VXString shared(b);
  const int n = _VXDBG_GetStrSizeA();
  ASSERT_GE(n, 3);
  std::vector<std::string*> list(n + 1);
  ASSERT_EQ(_VXDBG_GetStrListA(list.data(), n + 1), n);
  EXPECT_TRUE(std::is_sorted(list.begin(), list.begin() + n, std::less<>()));
  for (const VXString* s : {&a, &b, &c})
    EXPECT_NE(std::find(list.begin(), list.begin() + n, &s->GetData()->text), list.begin() + n);
  EXPECT_EQ(_VXDBG_GetStrListA(list.data(), 2), 2);

  const int wide = _VXDBG_GetStrSizeW();
  VXWideStr w(u"w");
  EXPECT_EQ(_VXDBG_GetStrSizeW(), wide + 1);
  std::vector<std::u16string*> wlist(wide + 1);
  ASSERT_EQ(_VXDBG_GetStrListW(wlist.data(), wide + 1), wide + 1);
}

TEST(VXString, SharedAcrossThreads) {
  const int before = _VXDBG_GetStrSizeA();
  {
    const VXString shared("shared text");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&shared, t] {
        for (int i = 0; i < 2000; ++i) {
          VXString copy(shared);
          copy += VXString(t);
          VXString line;
          line.sprintf("%s:%d", copy.c_str(), i);
          ASSERT_EQ(line.Pos("shared text"), 1);
        }
      });
    for (auto& th : threads) th.join();
    EXPECT_EQ(Bytes(shared), "shared text");
  }
  EXPECT_EQ(_VXDBG_GetStrSizeA(), before);
}

TEST(VXIntToText, DecimalAndHex) {
  struct Case {
    VXString value;
    const char* text;
  } cases[] = {
      {VXIntToHexA(255, 4), "00FF"},
      {VXIntToHexA(-1, 2), "FFFFFFFF"},
      {VXIntToHexA(0x1234, 2), "1234"},  // never cut
      {VXIntToHexA(std::int64_t{-1}, 0), "FFFFFFFFFFFFFFFF"},
      {VXIntToHexA(std::int64_t{0xABCDEF0123}, 12), "00ABCDEF0123"},
      {VXIntToStrA(-17), "-17"},
      {VXIntToStrA(std::int64_t{-9000000000}), "-9000000000"},
      {VXString(VXIntToHexW(255, 4)), "00FF"},
      {VXString(VXIntToStrW(std::int64_t{1} << 40)), "1099511627776"},
  };
  for (const auto& c : cases) EXPECT_EQ(Bytes(c.value), c.text);
}

// ---- Wide strings ----------------------------------------------------------------------------------------------

std::u16string Units(const VXWideStr& s) { return s.GetConstStr(); }

TEST(VXWideStr, SurrogateClasses) {
  const VXWideStr s(u"ab\U0001F600");  // the pair sits at positions 3 and 4
  const int expected[] = {0, 0, 0, 1, 2, 0};
  for (int i = 0; i <= s.Length() + 1; ++i) EXPECT_EQ(s.CodeType(i), expected[i]) << i;
  EXPECT_TRUE(s.IsHighCode(3));
  EXPECT_TRUE(s.IsLowCode(4));
  EXPECT_EQ(s.SrgtLastChar(), s.c_wstr() + 2);
  const VXWideStr ab(u"ab");
  EXPECT_EQ(ab.SrgtLastChar(), ab.c_wstr() + 1);
  const char16_t lone_low[] = {0xDC00, 0};
  const VXWideStr low(lone_low);
  EXPECT_EQ(low.SrgtLastChar(), low.c_wstr());  // nothing before it to step back to
  ExpectThrowText<std::out_of_range>([] { VXWideStr().SrgtLastChar(); }, "SrgtLastChar error");

  const VXWideStr low_unit(s.c_wstr() + 3, 1);
  EXPECT_EQ(s.Pos(low_unit), 4);
  EXPECT_EQ(s.SrgtPos(low_unit), 0);  // never inside a pair
  EXPECT_EQ(s.SrgtPos(u"b"), 2);
  EXPECT_EQ(s.SrgtPos(u""), 0);

  const VXWideStr path(u"a\\\U0001F600\\b");
  EXPECT_EQ(path.LastDelimiter(u"\\"), 5);
  EXPECT_EQ(VXLastDelimiterW(u"\\", path), 5);
  EXPECT_TRUE(path.IsPathDelimiter(2));
  EXPECT_FALSE(path.IsDelimiter(VXWideStr(path.c_wstr() + 2, 1), 3));  // a surrogate is never a delimiter
}

TEST(VXWideStr, ConversionsWithTheNarrowText) {
  const char* name = "\x83\x5C\x83\x74\x83\x67\\save01.dat";  // a Shift-JIS file name with a 0x5C trail byte
  const VXWideStr wide(name);
  EXPECT_EQ(Units(wide), u"\u30bd\u30d5\u30c8\\save01.dat");
  EXPECT_EQ(Bytes(VXString(wide)), name);
  EXPECT_TRUE(VXString(VXWideStr(u"file\U0001F600")).IsEmpty());

  VXWideStr w(u"keep");
  EXPECT_FALSE(w.SetMultiByte(""));
  EXPECT_EQ(Units(w), u"keep");
  EXPECT_TRUE(w.SetMultiByte("\x82"));  // a cut character still converts
  EXPECT_EQ(Units(w), std::u16string(1, u'\u30FB'));
  w = VXString("n");
  EXPECT_EQ(Units(w), u"n");
  w = "";
  EXPECT_TRUE(w.IsEmpty());

  struct Case {
    VXWideStr value;
    std::u16string units;
  } cases[] = {
      {VXWideStr(u'z'), u"z"},
      {VXWideStr(-12), u"-12"},
      {VXWideStr(ULLONG_MAX), u"18446744073709551615"},
      {VXWideStr(u"a\0b", 3), std::u16string(u"a\0b", 3)},
      {VXWideStr(u"Ab\uFF21\uFF41").UpperCase(), u"AB\uFF21\uFF41"},  // full-width letters stay
      {VXWideStr(u"Ab\uFF21").LowerCase(), u"ab\uFF21"},
      {VXWideStr(u" \tx\r\n").Trim(), u"x"},
      {VXWideStr(u"abcdef").SubString(0, 3), u"ab"},
      {VXWideStr::StringOfChar(u'\u3042', 2), u"\u3042\u3042"},
  };
  for (const auto& c : cases) EXPECT_EQ(Units(c.value), c.units);
}

TEST(VXWideStr, CopyOnWrite) {
  VXWideStr a(u"abc");
  VXWideStr b(a);
  b[1] = u'x';
  EXPECT_EQ(Units(a), u"abc");
  EXPECT_EQ(Units(b), u"xbc");
  ExpectThrowText<std::out_of_range>([&] { b[4] = u'x'; }, "Index is out of range");
  ExpectThrowText<std::invalid_argument>([&] { b.ToInt(); }, "ToInt error");
}

VXWideStr Format(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  VXWideStr s;
  s.vwprintf(format, args);
  va_end(args);
  return s;
}

TEST(VXWideStr, Formatting) {
  struct Case {
    VXWideStr value;
    std::u16string units;
  } cases[] = {
      {Format(u"[%4d|%-4d|%04d]", 42, -5, 7), u"[  42|-5  |0007]"},
      {Format(u"%+d %x %X %#o %u", 3, 255, 255, 8, 4000000000u), u"+3 ff FF 010 4000000000"},
      {Format(u"%lld %llu", LLONG_MIN, ULLONG_MAX), u"-9223372036854775808 18446744073709551615"},
      {Format(u"%hhd %hu %zu %ld", 300, 70000, std::size_t{9}, -1L), u"44 4464 9 -1"},
      {Format(u"%*d|%-*d|%.*f", 4, 1, -3, 2, 2, 3.14159), u"   1|2  |3.14"},
      {Format(u"%.2f %e %g", 2.5, 1500.0, 0.0001), u"2.50 1.500000e+03 0.0001"},
      {Format(u"%s|%ls|%5s|%-4s|%.2s", u"\u3042", u"b", u"c", u"d", u"efg"), u"\u3042|b|    c|d   |ef"},
      {Format(u"%hs", "\x93\xFA\x96\x7B"), u"\u65E5\u672C"},
      {Format(u"%c%c%%", u'\u00E9', u'x'), u"\u00E9x%"},
      {Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)"},
      {Format(u"100%y"), u"100%y"},  // an unknown conversion stays text
      {Format(u"\U0001F600"), u"\U0001F600"},
  };
  for (const auto& c : cases) EXPECT_EQ(Units(c.value), c.units);

  const std::u16string long_text(2000, u'w');
  VXWideStr s(u"old");
  EXPECT_EQ(Units(s.swprintf(u"%s", long_text.c_str())), long_text.substr(0, 1023));
  EXPECT_EQ(Units(s.swprintf(u"%s", std::u16string(3000, u'v').c_str()).SubString(1023, 1)), u"v");
  EXPECT_EQ(s.wprintf(u"%d", 12), 3);
  s.swprintf(u"%s+%s", s.c_wstr(), s.c_wstr());
  EXPECT_EQ(Units(s), u"12+12");
  EXPECT_EQ(s.wprintf(u""), 1);
  EXPECT_TRUE(s.IsEmpty());
}

}  // namespace
