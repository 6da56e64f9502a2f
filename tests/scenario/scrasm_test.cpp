// The script assembler and disassembler (tools/scrasm), the maker of every script the engine runs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "support/recordbytes.h"
#include "tools/scrasm/assembler.h"
#include "tools/scrasm/disassembler.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using scrasm::TDiagnostic;
using scrasm::TFiles;
using scrasm::TSource;

struct TResult {
  bool ok;
  TFiles files;
  std::vector<std::string> messages;  // as the tool prints them
};

// Assembles sources named a.scs, b.scs, ...
TResult Assemble(const std::vector<std::string>& texts) {
  std::vector<TSource> sources;
  for (std::size_t i = 0; i < texts.size(); ++i) sources.push_back({std::string(1, char('a' + i)) + ".scs", texts[i]});
  TResult result;
  std::vector<TDiagnostic> diagnostics;
  result.ok = scrasm::Assemble(sources, result.files, diagnostics);
  for (const TDiagnostic& d : diagnostics) result.messages.push_back(d.Format());
  return result;
}

std::string Sj(const std::string& utf8) { return platform::text::Utf8ToCp932(utf8).value(); }

// Little-endian fields and zero-terminated texts, as the compiled files hold them.
struct Writer {
  Bytes b;
  Writer& U16(std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
  }
  Writer& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Writer& Str(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
    return *this;
  }
  Writer& Push(std::uint32_t v) { return U16(1).U32(v); }
};

TEST(ScriptAssembler, WritesTheCompiledLayout) {
  const TResult r = Assemble({R"(script 3
scene "始" main start 12/24 18:30 end 12/31 23:59
function main
top:
    Message "あ"          ; each use of a text is a record of its own
    Message "あ"
    Call sub
    Call scr3::sub
    Call sub              ; the same record again
    GoToScene "始"
    Jump top
function sub
    Return
)"});
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.files.size(), 2u);
  Writer code;
  code.U16(69).U16(0).U16(5).U32(0).Str("main");
  code.Push(1).U16(64).Push(2).U16(64);
  code.Push(0).U16(6).Push(8).U16(6).Push(0).U16(6);
  code.Push(22).U16(48);
  code.U16(3).U32(static_cast<std::uint32_t>(15 - 63));  // back to "top", from the jump's own start
  code.U16(16).U16(0).U16(4).U32(0).Str("sub").U16(14);
  Writer data;
  data.U16(0).U16(1).U32(69);                 // kind 1: the function record of sub
  data.U16(0).U16(2).Str("scr3::sub");        // kind 2: a named target
  data.U32(0).Str(Sj("始"));                  // a scene jump
  Writer text;
  text.U16(5).Str(Sj("あ")).U16(5).Str(Sj("あ"));
  const std::uint32_t stamp = scrasm::ScriptStamp(code.b, data.b, text.b);
  Writer file;
  file.b = {'Q', 'M', 'S', 'C', 'R', 'I', 'P', 'T'};
  file.U32(3).U32(stamp).U32(0).U32(0).U32(0);
  file.U32(64).U32(85).U32(2).U32(149).U32(29).U32(0).U32(178).U32(10).U32(2);
  for (const Writer* w : {&code, &data, &text}) file.b.insert(file.b.end(), w->b.begin(), w->b.end());
  EXPECT_EQ(FirstDifference(r.files.at("scr00003.blv"), file.b), -1);

  Writer table;
  table.b = {'Q', 'M', '0', '1'};
  table.U32(25).U32(1);
  table.U16(25).U32(3).U32(0).U32(0).U16(1224).U16(1830).U16(1231).U16(2359).Str(Sj("始"));
  EXPECT_EQ(FirstDifference(r.files.at("Scene.tbl"), table.b), -1);
}

TEST(ScriptAssembler, StampsFollowTheCompiledContentOnly) {
  const std::string source = "script 1\nfunction f\n    Message \"一\"\n";
  const auto stamp = [](const TResult& r) { return Bytes(r.files.at("scr00001.blv").begin() + 12,
                                                        r.files.at("scr00001.blv").begin() + 16); };
  const TResult first = Assemble({source});
  EXPECT_EQ(stamp(Assemble({source})), stamp(first));
  EXPECT_EQ(stamp(Assemble({"; a comment\n" + source + "\n\n"})), stamp(first));
  EXPECT_NE(stamp(Assemble({"script 1\nfunction f\n    Message \"二\"\n"})), stamp(first));
  EXPECT_NE(stamp(Assemble({"script 1\nfunction g\n    Message \"一\"\n"})), stamp(first));

  // The sections count as one run of bytes, and a CRC of all bits set is taken one lower.
  const Bytes forced = {'h', 'e', 'l', 'l', 'o', 'y', 'Y', 0xEF, 0xC9};
  ASSERT_EQ(crc32(0, forced.data(), static_cast<uInt>(forced.size())), 0xFFFFFFFFu);
  EXPECT_EQ(scrasm::ScriptStamp({'h', 'e', 'l', 'l', 'o'}, {'y', 'Y'}, {0xEF, 0xC9}), 0xFFFFFFFEu);
  EXPECT_EQ(scrasm::ScriptStamp({0xFF, 0xFF, 0xFF, 0xFF}, {}, {}), 0xFFFFFFFEu);
}

TEST(ScriptAssembler, ArgumentsArePushedInOrderAndMayLeaveTheFirstOnesToTheStack) {
  const TResult r =
      Assemble({"script 0\nfunction f\n    ShowCharacter 3, -1, 0x10\n    Less 3\n    Choice $2, \"\"\n"});
  ASSERT_TRUE(r.ok);
  Writer code;
  code.U16(54).U16(0).U16(2).U32(0).Str("f");
  code.Push(3).Push(0xFFFFFFFF).Push(16).U16(101);
  code.Push(3).U16(24);
  code.Push(0x80000002).Push(0).U16(120);  // the last two of the four texts
  EXPECT_EQ(Bytes(r.files.at("scr00000.blv").begin() + 64, r.files.at("scr00000.blv").end()), code.b);
}

TEST(ScriptAssembler, RefusesWhatTheFormatsCannotHoldWithFileAndLine) {
  std::string big = "script 1\nfunction big\n";
  for (int i = 0; i < 11000; ++i) big += "    Push 1\n";
  std::string scenes = "script 1\nfunction f\n    End\n";
  for (int i = 0; i <= 1024; ++i) scenes += "scene \"s" + std::to_string(i) + "\" f\n";
  const auto body = [](const std::string& lines) { return "script 1\nfunction f\n" + lines + "\n"; };
  std::string kana128;
  for (int i = 0; i < 128; ++i) kana128 += "あ";
  struct Case {
    std::vector<std::string> sources;
    std::string message;
  };
  const Case cases[] = {
      {{big}, "a.scs:2: function big takes 66014 bytes; a function holds at most 65535"},
      {{scenes}, "a.scs:1028: more than 1024 scenes: the scene table holds no more"},
      {{body("    Message \"" + kana128 + "\"")},
       "a.scs:3: the text has 256 bytes in Shift-JIS; Message shows at most 255"},
      {{body("    Choice \"" + kana128.substr(0, 81) + "\", \"\", \"\", \"\"")},
       "a.scs:3: the text has 54 bytes in Shift-JIS; Choice shows at most 52"},
      {{body("    SetString 0, \"" + std::string(128, 'x') + "\"")},
       "a.scs:3: the text has 128 bytes in Shift-JIS; SetString shows at most 127"},
      {{body("    Push \"" + std::string(65533, 'x') + "\"")},
       "a.scs:3: the text has 65533 bytes in Shift-JIS; a text holds at most 65532"},
      {{body("    Message \"\xF0\x9F\x98\x80\"")}, "a.scs:3: the text has a character without a Shift-JIS form"},
      {{body("    Message \"a\\tb\"")}, "a.scs:3: unknown escape \\t (\\n, \\p, \\\" and \\\\ are known)"},
      {{body("    Message \"a\tb\x01\"")}, "a.scs:3: a control character in a text (write \\n for a new line)"},
      {{body("    Message \"open")}, "a.scs:3: a text must be one string in quotes"},
      {{body("    Frobnicate 1")}, "a.scs:3: unknown instruction Frobnicate"},
      {{body("    Add 1, 2, 3")}, "a.scs:3: Add takes 2 arguments"},
      {{body("    SetVar \"x\", 1")}, "a.scs:3: SetVar argument 1 is a number, not a text"},
      {{body("    GetVar $1")}, "a.scs:3: GetVar argument 1 is a number, not a string slot"},
      {{body("    GetVar x")}, "a.scs:3: unknown value x"},
      {{body("    GetVar 12abc")}, "a.scs:3: bad number 12abc"},
      {{body("    Push 4294967296")}, "a.scs:3: bad number 4294967296"},
      {{body("    Push")}, "a.scs:3: Push takes one value"},
      {{body("    Add 1,")}, "a.scs:3: an argument is missing"},
      {{body("    Jump nowhere")}, "a.scs:3: no label nowhere in f"},
      {{body("    Jump \"x\"")}, "a.scs:3: Jump takes a label"},
      {{body("x:\nx:")}, "a.scs:4: label x is defined twice"},
      {{body("    Call missing")}, "a.scs:3: no function missing"},
      {{body("    Call ::missing")}, "a.scs:3: script 1 has no function missing"},
      {{body("    Call scr2::g"), "script 2\nfunction h\n"}, "a.scs:3: script 2 has no function g"},
      {{body("    Call scrx::g")}, "a.scs:3: bad call target scrx::g (::name or scrN::name)"},
      {{body("    Call")}, "a.scs:3: Call takes a function: name, ::name or scrN::name"},
      {{body("    GoToScene \"nowhere\"")}, "a.scs:3: no scene \"nowhere\""},
      {{body("    GoToScene 1")}, "a.scs:3: GoToScene takes a scene name in quotes"},
      {{"script 1\nscene \"s\" g\nfunction f\n"}, "a.scs:2: no function g"},
      {{"script 1\nscene \"s\" f\nfunction f\n", "script 2\nscene \"s\" g\nfunction g\n"},
       "b.scs:2: scene \"s\" is declared twice"},
      {{"script 1\nscene \"" + std::string(64, 'n') + "\" f\n"},
       "a.scs:2: a scene name has 1-63 bytes in Shift-JIS, this one 64"},
      {{"script 1\nscene \"s\" f start 02/30 10:00\nfunction f\n"}, "a.scs:2: no such date or time: 02/30 10:00"},
      {{"script 1\nscene \"s\" f start 10:00\nfunction f\n"},
       "a.scs:2: expected start MM/DD HH:MM or end MM/DD HH:MM after the function"},
      {{"script 1\nfunction f\nfunction f\n"}, "a.scs:3: function f is defined twice"},
      {{"script 1\nfunction 1f\n"}, "a.scs:2: bad function name 1f"},
      {{"script 1\n    End\n"}, "a.scs:2: instruction outside a function: End"},
      {{"function f\n"}, "a.scs:1: the script number is missing (script N)"},
      {{"script 1\nscript 1\n"}, "a.scs:2: the script number is given twice"},
      {{"script 65536\n"}, "a.scs:1: the script number must be 0-65535"},
      {{"script 1\n", "script 1\n"}, "b.scs:1: script 1 is also a.scs"},
  };
  for (const Case& c : cases) {
    const TResult r = Assemble(c.sources);
    EXPECT_FALSE(r.ok) << c.message;
    EXPECT_TRUE(r.files.empty()) << c.message;
    EXPECT_NE(std::find(r.messages.begin(), r.messages.end(), c.message), r.messages.end())
        << c.message << "\n got: " << (r.messages.empty() ? "nothing" : r.messages[0]);
  }
}

TEST(ScriptAssembler, WarnsOfHalfWidthCharactersInShownTexts) {
  struct Case {
    std::string line;
    std::string warning;  // empty: none
  };
  const Case cases[] = {
      {"Message \"Hello\"", "a.scs:3: warning: half-width character 'H' in Message text is not shown"},
      {"Message \"全角　空白 ok\"", "a.scs:3: warning: half-width character ' ' in Message text is not shown"},
      {"Message \"ｱ\"", "a.scs:3: warning: half-width character 'ｱ' in Message text is not shown"},
      {"Message \"100%\"", "a.scs:3: warning: half-width character '1' in Message text is not shown"},
      {"Choice \"はい\", \"No\", \"\", \"\"",
       "a.scs:3: warning: half-width character 'N' in Choice text is not shown"},
      {"Message \"%v12と%s3と%rです\\n次\\p\"", ""},
      {"SetString 0, \"abc\"", ""},
      {"Push \"abc\"", ""},
  };
  for (const Case& c : cases) {
    const TResult r = Assemble({"script 1\nfunction f\n    " + c.line + "\n"});
    EXPECT_TRUE(r.ok) << c.line;
    EXPECT_EQ(r.messages, c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning})
        << c.line;
  }
}

// Everything the source form says, the tricky placements of texts included.
const char* const kEverything = R"(; a comment
script 7

scene "開始" main start 01/02 03:04
scene "次" second end 12/31 23:59

function main
    Push 1                      ; the number 1 before text 1 is used
    Message "「引用」と\"記号\"と\\と\n改行\p"
back:
    SetString 3, $1
    Choice "一", "", $2, "四"
    JumpIfZero back
    Jump 8                      ; into the middle of the next instruction
    ShowCharacter 1, 2, 3
    Add 5
    Call second
    Call ::second
    Call scr7::second
    Return 0
    GoToScene "次"

function second
    Push "押す"                 ; texts pushed before the instruction that uses them
    Push "押す2"
    Message 2
    Message
    SetString 0, -2147483648
    Dup
    End
)";

TEST(ScriptDisassembler, GivesSourcesThatAssembleToTheSameBytes) {
  const TResult first = Assemble({kEverything});
  ASSERT_TRUE(first.ok);
  std::vector<TSource> sources;
  std::string error;
  ASSERT_TRUE(scrasm::Disassemble(first.files, sources, error)) << error;
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0].name, "scr00007.scs");
  const std::string& text = sources[0].text;
  for (const char* line : {"scene \"開始\" main start 01/02 03:04\n", "scene \"次\" second end 12/31 23:59\n",
                           "    Push 1\n    Message \"「引用」と\\\"記号\\\"と\\\\と\\n改行\\p\"\n", "L1:\n",
                           "    SetString 3, $1\n", "    Choice \"一\", \"\", $2, \"四\"\n", "    JumpIfZero L1\n",
                           "    Jump 8\n", "    Add 5\n", "    Call ::second\n", "    Call second\n",
                           "    Push \"押す\"\n    Push \"押す2\"\n", "    SetString 0, $0\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
  const TResult again = Assemble({text});
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(again.files, first.files);
}

TEST(ScriptDisassembler, RefusesFilesItCannotWriteAsSource) {
  const TFiles good = Assemble({"script 1\nscene \"s\" f\nfunction f\n    Message \"一\"\n    End\n"}).files;
  struct Case {
    const char* what;
    void (*damage)(TFiles&);
    std::string error;
  };
  const Case cases[] = {
      {"no scene table", [](TFiles& f) { f.erase("Scene.tbl"); }, "Scene.tbl: missing"},
      {"no script", [](TFiles& f) { f.erase("scr00001.blv"); },
       "Scene.tbl: scene \"s\" starts in script 1, which is missing"},
      {"unknown opcode", [](TFiles& f) { f["scr00001.blv"][64 + 12 + 8] = 7; },
       "scr00001.blv: opcode 7 at 0x14 is unknown"},
      {"unused header bytes", [](TFiles& f) { f["scr00001.blv"][0] = 'X'; },
       "scr00001.blv: its source would not assemble to the same bytes"},
      {"text never pushed", [](TFiles& f) { Poke32(f["scr00001.blv"].data(), 64 + 12 + 2, 5); },
       "scr00001.blv: text 1 is not pushed in order"},
  };
  for (const Case& c : cases) {
    TFiles files = good;
    c.damage(files);
    std::vector<TSource> sources;
    std::string error;
    EXPECT_FALSE(scrasm::Disassemble(files, sources, error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_TRUE(sources.empty()) << c.what;
  }
}

}  // namespace
