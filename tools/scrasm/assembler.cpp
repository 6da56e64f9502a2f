#include "tools/scrasm/assembler.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

#include "core/vxstd.h"
#include "platform/text.h"
#include "scenario/scrdef.h"
#include "shell/gamestate.h"

namespace scrasm {

using namespace scrdef;
using Bytes = std::vector<std::uint8_t>;

std::string TDiagnostic::Format() const {
  return file + ":" + std::to_string(line) + ": " + (warning ? "warning: " : "") + message;
}

std::uint32_t ScriptStamp(const Bytes& code, const Bytes& data, const Bytes& text) {
  uLong crc = crc32(0, Z_NULL, 0);
  for (const Bytes* section : {&code, &data, &text})
    if (!section->empty()) crc = crc32(crc, section->data(), static_cast<uInt>(section->size()));  // null restarts
  const auto stamp = static_cast<std::uint32_t>(crc);
  return stamp == 0xFFFFFFFFu ? 0xFFFFFFFEu : stamp;
}

bool IsIdentifier(std::string_view name) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !letter(name[0])) return false;
  return std::all_of(name.begin(), name.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

namespace {

void Put16(Bytes& b, std::size_t at, std::uint32_t v) { VXPutLE16(b.data() + at, static_cast<std::uint16_t>(v)); }
void Put32(Bytes& b, std::size_t at, std::uint32_t v) { VXPutLE32(b.data() + at, v); }
void Append16(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 2);
  Put16(b, b.size() - 2, v);
}
void Append32(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}
void AppendText(Bytes& b, const std::string& text) {
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
}

std::string Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// The end of the string literal that starts at `at` (the index after its closing quote), or npos.
std::size_t LiteralEnd(std::string_view line, std::size_t at) {
  for (std::size_t i = at + 1; i < line.size(); ++i) {
    if (line[i] == '\\') ++i;
    else if (line[i] == '"') return i + 1;
  }
  return std::string_view::npos;
}

// The first `stop` character from `from` on that lies outside string literals (npos when there is none or a literal is
// left open): where a comment or the next argument starts.
std::size_t UnquotedFind(std::string_view line, char stop, std::size_t from = 0) {
  for (std::size_t i = from; i < line.size(); ++i) {
    if (line[i] == stop) return i;
    if (line[i] == '"') {
      const std::size_t end = LiteralEnd(line, i);
      if (end == std::string_view::npos) return std::string_view::npos;
      i = end - 1;
    }
  }
  return std::string_view::npos;
}

std::string_view Uncommented(std::string_view line) { return line.substr(0, UnquotedFind(line, ';')); }

// The arguments, split at commas outside string literals; none for a blank text.
std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> parts;
  if (Trim(text).empty()) return parts;
  for (std::size_t start = 0;;) {
    const std::size_t comma = UnquotedFind(text, ',', start);
    parts.push_back(Trim(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

// One written argument.
struct TArg {
  enum Kind { Number, Text, Slot, Name } kind = Number;
  std::int64_t number = 0;
  std::string text;  // Text: CP932 bytes; Name: as written
};

struct TFixup {
  std::size_t at;  // the jump instruction's position
  std::string label;
  int line;
};

struct TFunction {
  std::string name;
  int line = 0;
  std::size_t offset = 0;  // of its record in the code section
  std::map<std::string, std::size_t> labels;
  std::vector<TFixup> fixups;
};

struct TScene {
  std::string name;  // CP932
  std::string function;
  int line = 0;
  std::uint16_t fields[4] = {};  // start date, start time, end date, end time
};

struct TUse {  // a name used on a line, checked once every source is read
  std::string name;
  int line;
  int script;  // for calls: the script that must define the function (-1: the calling one)
};

struct TScript {
  const TSource* source = nullptr;
  int number = -1;
  int numberLine = 0;
  Bytes code, data, text;
  std::uint32_t textCount = 0;
  std::vector<TFunction> functions;
  std::vector<TScene> scenes;
  std::map<std::string, std::uint32_t> records;  // data records by kind and target
  std::vector<std::pair<std::uint32_t, TUse>> localCalls;  // record offset, function
  std::vector<TUse> namedCalls;
  std::vector<TUse> sceneJumps;

  const TFunction* Find(const std::string& name) const {
    for (const TFunction& f : functions)
      if (f.name == name) return &f;
    return nullptr;
  }
};

class TAssembler {
public:
  explicit TAssembler(std::vector<TDiagnostic>& diagnostics) : diagnostics_(diagnostics) {}

  void Read(const TSource& source);
  void Check();
  void Write(TFiles& files) const;
  bool Failed() const { return errors_ > 0; }

private:
  void Error(int line, const std::string& message) { Report(*script_, line, false, message); }
  void Warning(int line, const std::string& message) { Report(*script_, line, true, message); }
  void Report(const TScript& script, int line, bool warning, const std::string& message) {
    diagnostics_.push_back({script.source->name, line, warning, message});
    if (!warning) ++errors_;
  }

  void ReadLine(std::string_view text, int line);
  void ReadScriptNumber(const std::string& rest, int line);
  void ReadScene(const std::string& rest, int line);
  void BeginFunction(const std::string& rest, int line);
  void EndFunction();
  void ReadInstruction(const std::string& mnemonic, const std::string& rest, int line);
  void ReadJump(int opcode, const std::vector<TArg>& args, int line);
  void ReadCall(const std::vector<TArg>& args, int line);
  void ReadSceneJump(const std::vector<TArg>& args, int line);
  void PushArgument(int opcode, const TArg& arg, int index, int line);

  std::optional<TArg> ParseArgument(const std::string& text, int line);
  std::optional<std::string> ParseLiteral(std::string_view text, int line);
  std::uint32_t AddText(const std::string& text, int limit, const char* what, int line);
  std::uint32_t Record(const std::string& key, const Bytes& bytes);
  void EmitOp(int opcode) { Append16(script_->code, static_cast<std::uint32_t>(opcode)); }
  void EmitWithOperand(int opcode, std::uint32_t operand) {
    EmitOp(opcode);
    Append32(script_->code, operand);
  }

  std::vector<TDiagnostic>& diagnostics_;
  int errors_ = 0;
  std::vector<TScript> scripts_;
  TScript* script_ = nullptr;
  TFunction* function_ = nullptr;
};

// ---- Lines ----

void TAssembler::Read(const TSource& source) {
  scripts_.emplace_back();
  script_ = &scripts_.back();
  script_->source = &source;
  function_ = nullptr;
  std::size_t start = 0;
  for (int line = 1; start <= source.text.size(); ++line) {
    std::size_t end = source.text.find('\n', start);
    if (end == std::string::npos) end = source.text.size();
    ReadLine(std::string_view(source.text).substr(start, end - start), line);
    start = end + 1;
  }
  EndFunction();
  if (script_->number < 0) Error(1, "the script number is missing (script N)");
  for (const TScene& scene : script_->scenes)
    if (script_->Find(scene.function) == nullptr) Error(scene.line, "no function " + scene.function);
  for (const auto& [record, use] : script_->localCalls) {
    const TFunction* f = script_->Find(use.name);
    if (f == nullptr) Error(use.line, "no function " + use.name);
    else Put32(script_->data, record + kCallTarget, static_cast<std::uint32_t>(f->offset));
  }
}

void TAssembler::ReadLine(std::string_view text, int line) {
  const std::string content = Trim(Uncommented(text));
  if (content.empty()) return;
  const std::size_t space = content.find_first_of(" \t");
  const std::string word = content.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : Trim(std::string_view(content).substr(space));
  if (rest.empty() && word.size() > 1 && word.back() == ':' && word.find("::") == std::string::npos) {
    const std::string label = word.substr(0, word.size() - 1);
    if (function_ == nullptr) return Error(line, "label " + label + " outside a function");
    if (!IsIdentifier(label)) return Error(line, "bad label name " + label);
    if (!function_->labels.emplace(label, script_->code.size()).second)
      return Error(line, "label " + label + " is defined twice");
    return;
  }
  if (word == "script") return ReadScriptNumber(rest, line);
  if (word == "scene") return ReadScene(rest, line);
  if (word == "function") return BeginFunction(rest, line);
  if (function_ == nullptr) return Error(line, "instruction outside a function: " + word);
  ReadInstruction(word, rest, line);
}

void TAssembler::ReadScriptNumber(const std::string& rest, int line) {
  if (script_->number >= 0) return Error(line, "the script number is given twice");
  const std::optional<TArg> arg = ParseArgument(rest, line);
  if (!arg) return;
  if (arg->kind != TArg::Number || arg->number < 0 || arg->number > 65535)
    return Error(line, "the script number must be 0-65535");
  script_->number = static_cast<int>(arg->number);
  script_->numberLine = line;
}

void TAssembler::ReadScene(const std::string& rest, int line) {
  TScene scene;
  scene.line = line;
  const std::size_t end = rest.empty() || rest[0] != '"' ? std::string::npos : LiteralEnd(rest, 0);
  if (end == std::string::npos) return Error(line, "scene needs a name in quotes");
  const std::optional<std::string> name = ParseLiteral(rest.substr(0, end), line);
  if (!name) return;
  if (name->empty() || name->size() > static_cast<std::size_t>(TGameState::kSceneNameLength))
    return Error(line, "a scene name has 1-63 bytes in Shift-JIS, this one " + std::to_string(name->size()));
  scene.name = *name;
  std::vector<std::string> words;
  for (std::size_t at = end; at < rest.size();) {
    const std::size_t from = rest.find_first_not_of(" \t", at);
    if (from == std::string::npos) break;
    at = rest.find_first_of(" \t", from);
    words.push_back(rest.substr(from, at == std::string::npos ? std::string::npos : at - from));
  }
  if (words.empty() || !IsIdentifier(words[0])) return Error(line, "scene needs the name of its function");
  scene.function = words[0];
  for (std::size_t i = 1; i < words.size(); i += 3) {
    const int which = words[i] == "start" ? 0 : words[i] == "end" ? 2 : -1;
    int month = 0, day = 0, hour = 0, minute = 0;
    char tail = 0;
    if (which < 0 || i + 2 >= words.size() ||
        std::sscanf(words[i + 1].c_str(), "%d/%d%c", &month, &day, &tail) != 2 ||
        std::sscanf(words[i + 2].c_str(), "%d:%d%c", &hour, &minute, &tail) != 2)
      return Error(line, "expected start MM/DD HH:MM or end MM/DD HH:MM after the function");
    if (day < 1 || day > DaysInMonth(month) || hour < 0 || hour > 23 || minute < 0 || minute > 59)
      return Error(line, "no such date or time: " + words[i + 1] + " " + words[i + 2]);
    scene.fields[which] = static_cast<std::uint16_t>(month * 100 + day);
    scene.fields[which + 1] = static_cast<std::uint16_t>(hour * 100 + minute);
  }
  script_->scenes.push_back(scene);
}

void TAssembler::BeginFunction(const std::string& rest, int line) {
  EndFunction();
  if (!IsIdentifier(rest)) return Error(line, "bad function name " + rest);
  if (script_->Find(rest) != nullptr) Error(line, "function " + rest + " is defined twice");
  script_->functions.push_back({rest, line, script_->code.size(), {}, {}});
  function_ = &script_->functions.back();
  Bytes& code = script_->code;
  Append16(code, 0);  // the record size, once known
  Append16(code, 0);
  Append16(code, static_cast<std::uint32_t>(rest.size() + 1));
  Append32(code, 0);
  AppendText(code, rest);
}

void TAssembler::EndFunction() {
  if (function_ == nullptr) return;
  Bytes& code = script_->code;
  for (const TFixup& fixup : function_->fixups) {
    const auto label = function_->labels.find(fixup.label);
    if (label == function_->labels.end()) Error(fixup.line, "no label " + fixup.label + " in " + function_->name);
    else Put32(code, fixup.at + 2, static_cast<std::uint32_t>(label->second - fixup.at));
  }
  const std::size_t size = code.size() - function_->offset;
  if (size > static_cast<std::size_t>(function::kMaxSize))
    Error(function_->line, "function " + function_->name + " takes " + std::to_string(size) +
                               " bytes; a function holds at most 65535");
  else
    Put16(code, function_->offset + function::kSize, static_cast<std::uint32_t>(size));
  function_ = nullptr;
}

// ---- Instructions ----

void TAssembler::ReadInstruction(const std::string& mnemonic, const std::string& rest, int line) {
  const int opcode = FindOpcode(mnemonic.c_str());
  if (opcode < 0) return Error(line, "unknown instruction " + mnemonic);
  std::vector<TArg> args;
  for (const std::string& text : SplitArguments(rest)) {
    std::optional<TArg> arg = ParseArgument(text, line);
    if (!arg) return;
    args.push_back(*arg);
  }
  const TOpcodeInfo& info = *GetOpcodeInfo(opcode);
  switch (opcode) {
    case opJump:
    case opJumpIfZero:
    case opJumpIfNotZero:
      return ReadJump(opcode, args, line);
    case opCall:
      return ReadCall(args, line);
    case opGoToScene:
      return ReadSceneJump(args, line);
    case opPush:
      if (args.size() != 1) return Error(line, "Push takes one value");
      return PushArgument(opcode, args[0], -1, line);
    default:
      break;
  }
  if (args.size() > info.args)
    return Error(line, std::string(info.name) + " takes " + std::to_string(info.args) + " arguments");
  // Written arguments are the last ones; the others are already on the stack.
  const std::size_t first = info.args - args.size();
  for (std::size_t i = 0; i < args.size(); ++i) PushArgument(opcode, args[i], static_cast<int>(first + i), line);
  EmitOp(opcode);
}

// A value pushed for an argument (index -1: the operand of Push).
void TAssembler::PushArgument(int opcode, const TArg& arg, int index, int line) {
  const TOpcodeInfo& info = *GetOpcodeInfo(opcode);
  const bool isString = index < 0 || (info.stringArgs >> index & 1) != 0;
  const std::string place = index < 0 ? "Push" : std::string(info.name) + " argument " + std::to_string(index + 1);
  switch (arg.kind) {
    case TArg::Name:
      return Error(line, "unknown value " + arg.text);
    case TArg::Number:
      return EmitWithOperand(opPush, static_cast<std::uint32_t>(arg.number));
    case TArg::Slot:
      if (!isString) return Error(line, place + " is a number, not a string slot");
      return EmitWithOperand(opPush, 0x80000000u | static_cast<std::uint32_t>(arg.number));
    case TArg::Text:
      if (!isString) return Error(line, place + " is a number, not a text");
      if (opcode == opMessage || opcode == opChoice) {
        // The windows skip single-byte characters; the text macros and the line and page escapes are not shown.
        const std::string& t = arg.text;
        for (std::size_t i = 0; i < t.size();) {
          const auto c = static_cast<unsigned char>(t[i]);
          if (platform::text::IsCp932LeadByte(c)) {
            i += 2;
          } else if (c == '%' && i + 1 < t.size() && (t[i + 1] == 'r' || t[i + 1] == 'v' || t[i + 1] == 's')) {
            const bool numbered = t[i + 1] != 'r';
            for (i += 2; numbered && i < t.size() && t[i] >= '0' && t[i] <= '9';) ++i;
          } else if (c == '\\' && i + 1 < t.size() && (t[i + 1] == 'n' || t[i + 1] == 'p')) {
            i += 2;
          } else {
            Warning(line, "half-width character '" + platform::text::Cp932ToUtf8(t.substr(i, 1)) + "' in " +
                              info.name + " text is not shown");
            break;
          }
        }
      }
      if (arg.text.empty()) return EmitWithOperand(opPush, 0);
      return EmitWithOperand(opPush, AddText(arg.text, index < 0 ? 0 : info.textLimit, info.name, line));
  }
}

void TAssembler::ReadJump(int opcode, const std::vector<TArg>& args, int line) {
  const char* name = GetOpcodeInfo(opcode)->name;
  if (args.size() != 1 || (args[0].kind != TArg::Name && args[0].kind != TArg::Number))
    return Error(line, std::string(name) + " takes a label");
  if (args[0].kind == TArg::Number) return EmitWithOperand(opcode, static_cast<std::uint32_t>(args[0].number));
  if (!IsIdentifier(args[0].text)) return Error(line, "bad label name " + args[0].text);
  function_->fixups.push_back({script_->code.size(), args[0].text, line});
  EmitWithOperand(opcode, 0);
}

void TAssembler::ReadCall(const std::vector<TArg>& args, int line) {
  if (args.size() != 1 || args[0].kind != TArg::Name)
    return Error(line, "Call takes a function: name, ::name or scrN::name");
  const std::string& target = args[0].text;
  std::uint32_t record;
  if (target.find("::") == std::string::npos) {
    if (!IsIdentifier(target)) return Error(line, "bad function name " + target);
    Bytes bytes(8, 0);
    Put16(bytes, kCallKind, kCallLocal);
    const bool added = !script_->records.count("1:" + target);
    record = Record("1:" + target, bytes);
    if (added) script_->localCalls.push_back({record, {target, line, -1}});
  } else {
    int script = 0;
    VXString function;
    if (!ParseCallTarget(VXString(target.c_str()), script, function) || !IsIdentifier(function.c_str()))
      return Error(line, "bad call target " + target + " (::name or scrN::name)");
    Bytes bytes(4, 0);
    Put16(bytes, kCallKind, kCallNamed);
    AppendText(bytes, target);
    record = Record("2:" + target, bytes);
    script_->namedCalls.push_back({function.c_str(), line, script});
  }
  EmitWithOperand(opPush, record);
  EmitOp(opCall);
}

void TAssembler::ReadSceneJump(const std::vector<TArg>& args, int line) {
  if (args.size() != 1 || args[0].kind != TArg::Text || args[0].text.empty())
    return Error(line, "GoToScene takes a scene name in quotes");
  Bytes bytes(4, 0);
  AppendText(bytes, args[0].text);
  script_->sceneJumps.push_back({args[0].text, line, -1});
  EmitWithOperand(opPush, Record("S:" + args[0].text, bytes));
  EmitOp(opGoToScene);
}

// ---- Arguments and texts ----

std::optional<TArg> TAssembler::ParseArgument(const std::string& text, int line) {
  TArg arg;
  if (text.empty()) {
    Error(line, "an argument is missing");
    return std::nullopt;
  }
  if (text[0] == '"') {
    std::optional<std::string> literal = ParseLiteral(text, line);
    if (!literal) return std::nullopt;
    arg.kind = TArg::Text;
    arg.text = *literal;
    return arg;
  }
  const bool slot = text[0] == '$';
  const std::string digits = slot ? text.substr(1) : text;
  if (slot || digits[0] == '-' || (digits[0] >= '0' && digits[0] <= '9')) {
    const bool negative = !digits.empty() && digits[0] == '-';
    const std::string body = negative ? digits.substr(1) : digits;
    const bool hex = body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
    const std::string number = hex ? body.substr(2) : body;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    std::int64_t value = 0;
    bool ok = !number.empty() && number.size() <= 10 && number.find_first_not_of(allowed) == std::string::npos;
    if (ok) value = std::stoll(number, nullptr, hex ? 16 : 10) * (negative ? -1 : 1);
    ok = ok && value >= -2147483648LL && value <= 0xFFFFFFFFLL && !(slot && (negative || value > 0x7FFFFFFF));
    if (!ok) {
      Error(line, slot ? "a string slot is $ and a number 0-2147483647" : "bad number " + text);
      return std::nullopt;
    }
    arg.kind = slot ? TArg::Slot : TArg::Number;
    arg.number = value;
    return arg;
  }
  arg.kind = TArg::Name;
  arg.text = text;
  return arg;
}

// A quoted text, its escapes taken out, in Shift-JIS. \n and \p stay in the text as the line and page escapes.
std::optional<std::string> TAssembler::ParseLiteral(std::string_view text, int line) {
  if (text.size() < 2 || text.front() != '"' || LiteralEnd(text, 0) != text.size()) {
    Error(line, "a text must be one string in quotes");
    return std::nullopt;
  }
  std::string utf8;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
      Error(line, "a control character in a text (write \\n for a new line)");
      return std::nullopt;
    }
    if (c != '\\') {
      utf8 += c;
      continue;
    }
    const char next = text[++i];
    if (next == 'n' || next == 'p') {
      utf8 += '\\';
      utf8 += next;
    } else if (next == '"' || next == '\\') {
      utf8 += next;
    } else {
      Error(line, std::string("unknown escape \\") + next + " (\\n, \\p, \\\" and \\\\ are known)");
      return std::nullopt;
    }
  }
  std::optional<std::string> cp932 = platform::text::Utf8ToCp932(utf8);
  if (!cp932) Error(line, "the text has a character without a Shift-JIS form");
  return cp932;
}

std::uint32_t TAssembler::AddText(const std::string& text, int limit, const char* what, int line) {
  const int recordLimit = kMaxTextRecord - kTextRecordHead - 1;
  const int most = limit > 0 ? limit : recordLimit;
  if (text.size() > static_cast<std::size_t>(most)) {
    Error(line, std::string("the text has ") + std::to_string(text.size()) + " bytes in Shift-JIS; " +
                    (limit > 0 ? std::string(what) + " shows at most " : "a text holds at most ") +
                    std::to_string(most));
    return 0;
  }
  Append16(script_->text, static_cast<std::uint32_t>(text.size() + kTextRecordHead + 1));
  AppendText(script_->text, text);
  return ++script_->textCount;
}

std::uint32_t TAssembler::Record(const std::string& key, const Bytes& bytes) {
  const auto [at, added] = script_->records.emplace(key, static_cast<std::uint32_t>(script_->data.size()));
  if (added) script_->data.insert(script_->data.end(), bytes.begin(), bytes.end());
  return at->second;
}

// ---- Across the sources ----

void TAssembler::Check() {
  std::map<int, const TScript*> numbers;
  std::set<std::string> scenes;
  int sceneCount = 0;
  for (const TScript& script : scripts_) {
    if (script.number >= 0 && !numbers.emplace(script.number, &script).second)
      Report(script, script.numberLine, false, "script " + std::to_string(script.number) + " is also " +
                                                   numbers[script.number]->source->name);
    for (const TScene& scene : script.scenes) {
      if (!scenes.insert(scene.name).second)
        Report(script, scene.line, false,
               "scene \"" + platform::text::Cp932ToUtf8(scene.name) + "\" is declared twice");
      else if (++sceneCount > kMaxScenes)
        Report(script, scene.line, false, "more than 1024 scenes: the scene table holds no more");
    }
  }
  for (const TScript& script : scripts_) {
    for (const TUse& jump : script.sceneJumps)
      if (!scenes.count(jump.name))
        Report(script, jump.line, false, "no scene \"" + platform::text::Cp932ToUtf8(jump.name) + "\"");
    for (const TUse& call : script.namedCalls) {
      const auto target = numbers.find(call.script < 0 ? script.number : call.script);
      if (target != numbers.end() && target->second->Find(call.name) == nullptr)
        Report(script, call.line, false, "script " + std::to_string(target->first) + " has no function " + call.name);
    }
  }
}

void TAssembler::Write(TFiles& files) const {
  std::vector<const TScript*> ordered;
  for (const TScript& script : scripts_) ordered.push_back(&script);
  std::stable_sort(ordered.begin(), ordered.end(), [](auto* a, auto* b) { return a->number < b->number; });

  Bytes table(kSceneHeadSize, 0);
  std::memcpy(table.data(), kSceneMagic, sizeof kSceneMagic);
  std::uint32_t count = 0;
  for (const TScript* script : ordered) {
    for (const TScene& scene : script->scenes) {
      const std::size_t at = table.size();
      table.resize(at + entry::kName);
      Put16(table, at + entry::kSize, static_cast<std::uint32_t>(entry::kName + scene.name.size() + 1));
      Put32(table, at + entry::kScript, static_cast<std::uint32_t>(script->number));
      Put32(table, at + entry::kStart, static_cast<std::uint32_t>(script->Find(scene.function)->offset));
      for (int i = 0; i < 4; ++i) Put16(table, at + entry::kStartDate + 2 * i, scene.fields[i]);
      AppendText(table, scene.name);
      ++count;
    }
    Bytes file(kHeaderSize, 0);
    std::memcpy(file.data(), "QMSCRIPT", 8);
    const auto codeAt = static_cast<std::uint32_t>(kHeaderSize);
    const auto dataAt = static_cast<std::uint32_t>(codeAt + script->code.size());
    const auto textAt = static_cast<std::uint32_t>(dataAt + script->data.size());
    Put32(file, header::kScript, static_cast<std::uint32_t>(script->number));
    Put32(file, header::kStamp, ScriptStamp(script->code, script->data, script->text));
    Put32(file, header::kCodeOffset, codeAt);
    Put32(file, header::kCodeSize, static_cast<std::uint32_t>(script->code.size()));
    Put32(file, header::kFunctionCount, static_cast<std::uint32_t>(script->functions.size()));
    Put32(file, header::kDataOffset, dataAt);
    Put32(file, header::kDataSize, static_cast<std::uint32_t>(script->data.size()));
    Put32(file, header::kTextOffset, textAt);
    Put32(file, header::kTextSize, static_cast<std::uint32_t>(script->text.size()));
    Put32(file, header::kTextCount, script->textCount);
    for (const Bytes* section : {&script->code, &script->data, &script->text})
      file.insert(file.end(), section->begin(), section->end());
    char name[32];
    std::snprintf(name, sizeof name, kScriptNameFormat, script->number);
    files[name] = std::move(file);
  }
  Put32(table, 4, static_cast<std::uint32_t>(table.size() - kSceneHeadSize));
  Put32(table, 8, count);
  files[kSceneTableName] = std::move(table);
}

}  // namespace

bool Assemble(const std::vector<TSource>& sources, TFiles& files, std::vector<TDiagnostic>& diagnostics) {
  TAssembler assembler(diagnostics);
  for (const TSource& source : sources) assembler.Read(source);
  assembler.Check();
  if (assembler.Failed()) return false;
  assembler.Write(files);
  return true;
}

}  // namespace scrasm
