#include "tools/scrasm/disassembler.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "core/vxstd.h"
#include "platform/text.h"
#include "scenario/scrdef.h"

namespace scrasm {

namespace {

using namespace scrdef;
using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

std::uint32_t Get16(const Bytes& b, std::uint64_t at) {
  if (at + 2 > b.size()) Fail("a record runs past the end of its section");
  return VXGetLE16(b.data() + at);
}
std::uint32_t Get32(const Bytes& b, std::uint64_t at) {
  if (at + 4 > b.size()) Fail("a record runs past the end of its section");
  return VXGetLE32(b.data() + at);
}
std::string GetText(const Bytes& b, std::uint64_t at, std::uint64_t end) {
  end = std::min<std::uint64_t>(end, b.size());
  if (at >= end) Fail("a name or text runs past its record");
  const void* nul = std::memchr(b.data() + at, 0, end - at);
  if (nul == nullptr) Fail("a name or text has no end");
  const auto* start = reinterpret_cast<const char*>(b.data() + at);
  return std::string(start, static_cast<const char*>(nul) - start);
}

std::string Hex(std::uint32_t v) {
  char s[16];
  std::snprintf(s, sizeof s, "0x%x", v);
  return s;
}

// A Shift-JIS text as a source literal.
std::string Quote(const std::string& cp932) {
  std::string out = "\"";
  const std::u16string utf16 = platform::text::Cp932ToUtf16(cp932);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t c = utf16[i];
    if (c < 0x20 && c != '\t') Fail("a text holds a control character");
    if (c == u'\\' && i + 1 < utf16.size() && (utf16[i + 1] == u'n' || utf16[i + 1] == u'p')) {
      out += '\\';
      out += static_cast<char>(utf16[++i]);
    } else if (c == u'\\' || c == u'"') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      out += platform::text::Utf16ToUtf8(std::u16string_view(&utf16[i], 1));  // CP932 lies in the BMP
    }
  }
  return out + "\"";
}

struct TEntry {
  std::uint32_t script;
  std::uint32_t start;
  std::uint32_t fields[4];
  std::string name;
};

std::vector<TEntry> ReadSceneTable(const Bytes& table) {
  if (table.size() < kSceneHeadSize || std::memcmp(table.data(), kSceneMagic, 4) != 0) Fail("no scene table");
  const std::uint32_t area = Get32(table, 4);
  const std::uint32_t count = Get32(table, 8);
  if (std::uint64_t{area} + kSceneHeadSize != table.size()) Fail("the entry area does not fill the file");
  std::vector<TEntry> entries;
  std::uint64_t at = kSceneHeadSize;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t size = Get16(table, at + entry::kSize);
    if (size <= entry::kName || at + size > table.size()) Fail("a broken entry");
    TEntry e{Get32(table, at + entry::kScript), Get32(table, at + entry::kStart), {}, {}};
    for (int f = 0; f < 4; ++f) e.fields[f] = Get16(table, at + entry::kStartDate + 2 * f);
    e.name = GetText(table, at + entry::kName, at + size);
    entries.push_back(e);
    at += size;
  }
  if (at != table.size()) Fail("bytes behind the last entry");
  return entries;
}

struct TInstruction {
  std::uint32_t position;
  int opcode;
  std::uint32_t operand;
};

struct TFunction {
  std::string name;
  std::uint32_t offset;
  std::vector<TInstruction> code;
};

struct TScriptFile {
  int number;
  std::string fileName;
  Bytes code, data;
  std::vector<std::string> texts;
  std::vector<TFunction> functions;
};

Bytes Section(const Bytes& file, int offsetField, int sizeField) {
  const std::uint32_t offset = Get32(file, offsetField);
  const std::uint32_t size = Get32(file, sizeField);
  if (size == 0) return {};
  if (std::uint64_t{offset} + size > file.size()) Fail("a section lies outside the file");
  return Bytes(file.begin() + offset, file.begin() + offset + size);
}

TScriptFile ReadScript(int number, const std::string& fileName, const Bytes& file) {
  if (file.size() < kHeaderSize) Fail("the header is cut short");
  if (Get32(file, header::kScript) != static_cast<std::uint32_t>(number)) Fail("the header names another script");
  TScriptFile script{number, fileName, Section(file, header::kCodeOffset, header::kCodeSize),
                     Section(file, header::kDataOffset, header::kDataSize), {}, {}};
  const Bytes text = Section(file, header::kTextOffset, header::kTextSize);
  for (std::uint64_t at = 0, i = 0; i < Get32(file, header::kTextCount); ++i) {
    const std::uint32_t size = Get16(text, at);
    if (size <= kTextRecordHead || at + size > text.size()) Fail("a broken text record");
    script.texts.push_back(GetText(text, at + kTextRecordHead, at + size));
    at += size;
  }
  const Bytes& code = script.code;
  std::uint64_t at = 0;
  for (std::uint32_t i = 0; i < Get32(file, header::kFunctionCount); ++i) {
    const std::uint32_t size = Get16(code, at + function::kSize);
    const std::uint32_t field = Get16(code, at + function::kNameLength);
    const std::uint64_t start = at + function::kName + field;
    if (start > at + size || at + size > code.size()) Fail("a broken function record");
    TFunction f{GetText(code, at + function::kName, start), static_cast<std::uint32_t>(at), {}};
    if (!IsIdentifier(f.name)) Fail("the function name " + f.name + " is no identifier");
    for (std::uint64_t p = start; p < at + size;) {
      const int opcode = static_cast<int>(Get16(code, p));
      if (GetOpcodeInfo(opcode) == nullptr) Fail("opcode " + std::to_string(opcode) + " at " + Hex(p) + " is unknown");
      const int length = GetOpcodeLength(opcode);
      if (p + length > at + size) Fail("an instruction runs past its function");
      f.code.push_back({static_cast<std::uint32_t>(p), opcode, length > 2 ? Get32(code, p + 2) : 0});
      p += length;
    }
    script.functions.push_back(f);
    at += size;
  }
  if (at != code.size()) Fail("code behind the last function");
  return script;
}

// One source line of a function: an instruction with the pushes written as its arguments (a lone Push has itself),
// or only a label.
struct TLine {
  std::string label;
  const TInstruction* instruction;
  std::vector<const TInstruction*> pushes;
};

// Whether push `index` of a line is written where the instruction takes a string. Written arguments are the last
// ones of the instruction.
bool IsStringArgument(const TLine& line, std::size_t index) {
  const TOpcodeInfo& info = *GetOpcodeInfo(line.instruction->opcode);
  if (line.instruction->opcode == opPush) return false;
  return (info.stringArgs >> (info.args - line.pushes.size() + index) & 1) != 0;
}

struct TLines {
  std::map<std::uint32_t, std::string> labels;  // by code position
  std::vector<TLine> lines;
};

class TWriter {
public:
  TWriter(const TScriptFile& script, const std::vector<TEntry>& scenes) : script_(script), scenes_(scenes) {}
  std::string Source();

private:
  static TLines Lines(const TFunction& f);
  void PlaceTexts(const std::vector<TLines>& functions, bool preferArguments);
  std::string Value(const TLine& line, std::size_t index) const;
  std::string Write(const TFunction& f, const TLines& lines) const;
  std::string FunctionAt(std::uint32_t offset) const;

  const TScriptFile& script_;
  const std::vector<TEntry>& scenes_;
  std::map<const TInstruction*, std::size_t> textAt_;  // the pushes written as texts, with their text index
};

std::string TWriter::FunctionAt(std::uint32_t offset) const {
  for (const TFunction& f : script_.functions)
    if (f.offset == offset) return f.name;
  Fail("offset " + Hex(offset) + " is no function record");
}

bool IsJump(int opcode) { return opcode == opJump || opcode == opJumpIfZero || opcode == opJumpIfNotZero; }

TLines TWriter::Lines(const TFunction& f) {
  TLines result;
  std::map<std::uint32_t, std::string>& labels = result.labels;
  std::vector<TLine>& lines = result.lines;
  std::set<std::uint32_t> starts;
  for (const TInstruction& i : f.code) starts.insert(i.position);
  for (const TInstruction& i : f.code)
    if (const std::uint32_t to = i.position + i.operand; IsJump(i.opcode) && starts.count(to)) labels[to];
  int n = 0;
  for (auto& [position, name] : labels) name = "L" + std::to_string(++n);

  std::vector<const TInstruction*> pending;
  const auto flush = [&](std::size_t keep) {
    for (std::size_t i = 0; i + keep < pending.size(); ++i) lines.push_back({"", pending[i], {pending[i]}});
    pending.erase(pending.begin(), pending.end() - static_cast<long>(keep));
  };
  for (const TInstruction& i : f.code) {
    std::string label;
    if (const auto at = labels.find(i.position); at != labels.end()) {
      flush(0);
      label = at->second;
    }
    if (i.opcode == opPush) {
      if (!label.empty()) lines.push_back({label, nullptr, {}});
      pending.push_back(&i);
      continue;
    }
    const TOpcodeInfo& info = *GetOpcodeInfo(i.opcode);
    const bool target = i.opcode == opCall || i.opcode == opGoToScene;
    const std::size_t args = target ? 1 : info.args;
    if (target && pending.empty()) Fail(std::string(info.name) + " at " + Hex(i.position) + " has no record pushed");
    flush(std::min(pending.size(), args));
    lines.push_back({label, &i, pending});
    pending.clear();
  }
  flush(0);
  return result;
}

// Texts are numbered in the order of the pushes that use them. Each text goes to the first push of its number after
// the previous text's, preferring an argument that takes a string.
void TWriter::PlaceTexts(const std::vector<TLines>& functions, bool preferArguments) {
  struct Site {
    const TInstruction* push;
    bool argument;
  };
  std::vector<Site> sites;
  for (const TLines& function : functions) {
    for (const TLine& line : function.lines) {
      const int op = line.instruction == nullptr ? opNop : line.instruction->opcode;
      if (op == opPush) sites.push_back({line.instruction, false});
      if (op == opPush || op == opCall || op == opGoToScene) continue;  // the last two push data offsets
      for (std::size_t a = 0; a < line.pushes.size(); ++a)
        if (IsStringArgument(line, a)) sites.push_back({line.pushes[a], true});
    }
  }
  std::size_t from = 0;
  for (std::size_t text = 0; text < script_.texts.size(); ++text) {
    std::optional<std::size_t> found;
    for (int pass = preferArguments ? 0 : 1; pass < 2 && !found; ++pass)
      for (std::size_t s = from; s < sites.size() && !found; ++s)
        if (sites[s].push->operand == text + 1 && (pass == 1 || sites[s].argument)) found = s;
    if (!found) Fail("text " + std::to_string(text + 1) + " is not pushed in order");
    textAt_[sites[*found].push] = text;
    from = *found + 1;
  }
}

std::string TWriter::Value(const TLine& line, std::size_t index) const {
  const TInstruction* push = line.pushes[index];
  const bool stringArg = IsStringArgument(line, index);
  if (const auto text = textAt_.find(push); text != textAt_.end()) return Quote(script_.texts[text->second]);
  if (stringArg && push->operand == 0) return "\"\"";
  if (stringArg && (push->operand & 0x80000000u)) return "$" + std::to_string(push->operand & 0x7FFFFFFF);
  return std::to_string(static_cast<std::int32_t>(push->operand));
}

std::string TWriter::Write(const TFunction& f, const TLines& lines) const {
  std::string out = "\nfunction " + f.name + "\n";
  for (const TLine& line : lines.lines) {
    if (!line.label.empty()) out += line.label + ":\n";
    if (line.instruction == nullptr) continue;
    const TInstruction& i = *line.instruction;
    out += std::string("    ") + GetOpcodeInfo(i.opcode)->name;
    if (IsJump(i.opcode)) {
      const auto label = lines.labels.find(i.position + i.operand);
      out += " " + (label != lines.labels.end() ? label->second : std::to_string(static_cast<std::int32_t>(i.operand)));
    } else if (i.opcode == opCall || i.opcode == opGoToScene) {
      const std::uint64_t record = line.pushes[0]->operand;
      const Bytes& data = script_.data;
      if (i.opcode == opGoToScene) {
        out += " " + Quote(GetText(data, record + kSceneJumpName, data.size()));
      } else if (const std::uint32_t kind = Get16(data, record + kCallKind); kind == kCallLocal) {
        out += " " + FunctionAt(Get32(data, record + kCallTarget));
      } else if (kind == kCallNamed) {
        out += " " + GetText(data, record + kCallTarget, data.size());
      } else {
        Fail("the call record at " + Hex(static_cast<std::uint32_t>(record)) + " has kind " + std::to_string(kind));
      }
    } else {
      for (std::size_t a = 0; a < line.pushes.size(); ++a) out += (a == 0 ? " " : ", ") + Value(line, a);
    }
    out += "\n";
  }
  return out;
}

std::string TWriter::Source() {
  std::string out = "; " + script_.fileName + ", disassembled by scrasm\n";
  out += "script " + std::to_string(script_.number) + "\n";
  bool any = false;
  for (const TEntry& e : scenes_) {
    if (e.script != static_cast<std::uint32_t>(script_.number)) continue;
    if (!any) out += "\n";
    any = true;
    out += "scene " + Quote(e.name) + " " + FunctionAt(e.start);
    const char* words[2] = {"start", "end"};
    for (int w = 0; w < 2; ++w) {
      const std::uint32_t date = e.fields[2 * w], time = e.fields[2 * w + 1];
      if (date == 0) continue;
      char when[48];
      std::snprintf(when, sizeof when, " %s %02u/%02u %02u:%02u", words[w], date / 100, date % 100, time / 100,
                    time % 100);
      out += when;
    }
    out += "\n";
  }
  std::vector<TLines> functions;
  for (const TFunction& f : script_.functions) functions.push_back(Lines(f));
  try {
    PlaceTexts(functions, true);
  } catch (const std::runtime_error&) {
    textAt_.clear();
    PlaceTexts(functions, false);
  }
  for (std::size_t f = 0; f < functions.size(); ++f) out += Write(script_.functions[f], functions[f]);
  return out;
}

}  // namespace

bool Disassemble(const TFiles& files, std::vector<TSource>& sources, std::string& error) {
  std::string current = kSceneTableName;
  try {
    const auto table = files.find(kSceneTableName);
    if (table == files.end()) Fail("missing");
    const std::vector<TEntry> scenes = ReadSceneTable(table->second);
    std::set<std::uint32_t> numbers;
    TFiles compiled{*table};
    std::vector<TSource> result;
    for (const auto& [name, bytes] : files) {
      int number = -1;
      char check[32];
      if (std::sscanf(name.c_str(), "scr%d.blv", &number) != 1 || number < 0 || number > 65535) continue;
      std::snprintf(check, sizeof check, kScriptNameFormat, number);
      if (name != check) continue;
      current = name;
      const TScriptFile script = ReadScript(number, name, bytes);
      char source[32];
      std::snprintf(source, sizeof source, "scr%05d%s", number, kSourceSuffix);
      result.push_back({source, TWriter(script, scenes).Source()});
      numbers.insert(static_cast<std::uint32_t>(number));
      compiled.insert({name, bytes});
    }
    current = kSceneTableName;
    for (const TEntry& e : scenes)
      if (!numbers.count(e.script)) Fail("scene " + Quote(e.name) + " starts in script " + std::to_string(e.script) +
                                         ", which is missing");
    current = "the sources";
    TFiles again;
    std::vector<TDiagnostic> diagnostics;
    if (!Assemble(result, again, diagnostics)) {
      for (const TDiagnostic& d : diagnostics)
        if (!d.warning) Fail("they do not assemble: " + d.Format());
    }
    for (const auto& [name, bytes] : compiled)
      if (again[name] != bytes) {
        current = name;
        Fail("its source would not assemble to the same bytes");
      }
    sources = std::move(result);
    return true;
  } catch (const std::runtime_error& e) {
    error = current + ": " + e.what();
    return false;
  }
}

}  // namespace scrasm
