#include "scenario/scripte.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "core/vxcsvread.h"
#include "core/vxfileman.h"
#include "core/vxstd.h"
#include "core/vxstream.h"
#include "core/vxtext.h"
#include "platform/text.h"
#include "scenario/scrdef.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"

using namespace scrdef;

namespace {

bool ReadExactly(VXStream& stream, void* buffer, std::size_t size) {
  return size == 0 || (size <= INT_MAX && stream.Read(buffer, static_cast<int>(size)) == static_cast<int>(size));
}

// The text at an offset of a section, up to its terminator; false when none lies inside the section.
bool SectionText(const std::vector<std::uint8_t>& section, std::uint64_t offset, VXString& text) {
  if (offset >= section.size()) return false;
  const auto* start = section.data() + offset;
  const void* end = std::memchr(start, 0, section.size() - offset);
  if (end == nullptr) return false;
  text = VXString(reinterpret_cast<const char*>(start),
                  static_cast<unsigned int>(static_cast<const std::uint8_t*>(end) - start));
  return true;
}

VXString ScriptFileName(int script) {
  VXString name;
  name.sprintf(kScriptNameFormat, script);
  return name;
}

// Opens a file of a manager and closes it again when done.
class TOpenFile {
public:
  TOpenFile(VXFileMan* files, const VXString& name)
      : files_(files), stream_(files != nullptr && files->FileIsExist(name) ? files->Open(name) : nullptr) {}
  ~TOpenFile() {
    if (stream_ != nullptr) files_->Close(stream_);
  }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;
  VXStream* get() const { return stream_; }

private:
  VXFileMan* files_;
  VXStream* stream_;
};

constexpr const char* kTableOpenFailed = "Scene.tblが開けません。";
constexpr const char* kTableInvalid = "Scene.tblが不正です。";
constexpr const char* kBufferFailed = "バッファ取得に失敗しました。";
constexpr const char* kEntriesFailed = "Scene.tblのシーン読込みに失敗しました。";

}  // namespace

// ---- The instructions ---------------------------------------------------------------------------------------------

struct TScriptOps {
  using Handler = void (*)(TScriptEngine&);

  static TGameState& S() { return GameState; }
  static int Pop() { return S().PopValue(); }
  static void Push(int value) { S().PushValue(value); }
  static void Push(bool value) { S().PushValue(value ? 1 : 0); }
  static void End() { S().SetScriptEnded(true); }
  static std::int32_t Wrap(std::uint32_t value) { return static_cast<std::int32_t>(value); }

  static void Nop(TScriptEngine&) {}
  static void PushOperand(TScriptEngine& e) { Push(Wrap(e.ReadCodeDword(static_cast<int>(e.position_ + 2)))); }
  static void PopOp(TScriptEngine&) { Pop(); }
  static void Jump(TScriptEngine& e) { e.next_ = e.position_ + e.ReadCodeDword(static_cast<int>(e.position_ + 2)); }
  static void JumpIfZero(TScriptEngine& e) {
    if (Pop() == 0) Jump(e);
  }
  static void JumpIfNotZero(TScriptEngine& e) {
    if (Pop() != 0) Jump(e);
  }
  static void Dup(TScriptEngine&) {
    const int a = S().PeekValue();
    Push(a);
  }
  static void Swap(TScriptEngine&) {
    const int b = Pop(), a = Pop();
    Push(b), Push(a);
  }
  static void DupSecond(TScriptEngine&) {
    const int b = Pop(), a = Pop();
    Push(a), Push(a), Push(b);
  }
  static void SwapSecondThird(TScriptEngine&) {
    const int c = Pop(), b = Pop(), a = Pop();
    Push(b), Push(a), Push(c);
  }
  static void EndOp(TScriptEngine&) { End(); }
  static void Not(TScriptEngine&) { Push(Pop() == 0); }

  // Binary operators pop b, then a, and push a op b.
  template <int (*F)(int, int)>
  static void Binary(TScriptEngine&) {
    const int b = Pop(), a = Pop();
    Push(F(a, b));
  }
  static int Mul(int a, int b) { return Wrap(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b)); }
  static int Add(int a, int b) { return Wrap(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b)); }
  static int Sub(int a, int b) { return Wrap(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)); }
  // Division by 0 gives -1 for a >= 0 and 0 below; the one quotient that does not fit wraps to INT_MIN.
  static int Div(int a, int b) {
    if (b == 0) return a >= 0 ? -1 : 0;
    if (b == -1) return Wrap(0u - static_cast<std::uint32_t>(a));
    return a / b;
  }
  static int Mod(int a, int b) { return b == 0 || b == -1 ? 0 : a % b; }
  static int Less(int a, int b) { return a < b; }
  static int LessEqual(int a, int b) { return a <= b; }
  static int Greater(int a, int b) { return a > b; }
  static int GreaterEqual(int a, int b) { return a >= b; }
  static int Equal(int a, int b) { return a == b; }
  static int NotEqual(int a, int b) { return a != b; }
  static int And(int a, int b) { return a != 0 && b != 0; }
  static int Or(int a, int b) { return a != 0 || b != 0; }

  // Setters pop the value, then the index; getters pop the index.
  static void SetFlag(TScriptEngine&) {
    const int v = Pop(), i = Pop();
    S().SetFlag(i, v != 0);
  }
  static void GetFlag(TScriptEngine&) { Push(S().GetFlag(Pop())); }
  static void SetSystemFlag(TScriptEngine&) {
    const int v = Pop(), i = Pop();
    SystemData.SetFlag(i, v != 0);
  }
  static void GetSystemFlag(TScriptEngine&) { Push(SystemData.GetFlag(Pop())); }
  static void SetVar(TScriptEngine&) {
    const int v = Pop(), i = Pop();
    S().SetVar(i, v);
  }
  static void GetVar(TScriptEngine&) { Push(S().GetVar(Pop())); }
  static void SetSystemVar(TScriptEngine&) {
    const int v = Pop(), i = Pop();
    SystemData.SetVar(i, v);
  }
  static void GetSystemVar(TScriptEngine&) { Push(SystemData.GetVar(Pop())); }
  static void SetString(TScriptEngine& e) {
    const int s = Pop(), i = Pop();
    S().SetString(i, e.GetStringOperand(s));
  }
  static void SignBit(TScriptEngine&) { Push(Wrap(static_cast<std::uint32_t>(Pop()) & 0x80000000u)); }
  static void SetResult(TScriptEngine&) { S().SetResult(Pop()); }
  static void PushResult(TScriptEngine&) { Push(S().GetResult()); }
  static void GetSystemFlagCopy(TScriptEngine&) { Push(S().GetSystemFlag(Pop())); }
  static void GetSystemVarCopy(TScriptEngine&) { Push(S().GetSystemVar(Pop())); }
  static void PushResult2(TScriptEngine&) { Push(S().GetResult2()); }

  // The frame keeps the caller's stack as it is after the record offset was popped; the frame base stays, so the
  // callee may take its arguments from the caller's words.
  static void Call(TScriptEngine& e) {
    const auto record = static_cast<std::uint32_t>(Pop());
    const int kind = e.DataWord(record + std::uint64_t{kCallKind});
    if (kind != kCallLocal && kind != kCallNamed) return End();
    std::uint32_t offset = 0;
    VXString target;
    if (kind == kCallLocal)
      offset = e.DataDword(record + std::uint64_t{kCallTarget});
    else
      target = e.DataText(record + std::uint64_t{kCallTarget});
    TGameState& s = S();
    s.PushCallFrame({s.GetScriptNumber(), s.GetScriptStamp(), Wrap(e.next_), s.GetFrameBase(), s.GetValueCount(),
                     s.GetResult(), s.GetResult2()});
    s.SetResult(0);
    s.SetResult2(0);
    int start = -1;
    if (kind == kCallLocal) {
      start = offset <= INT_MAX ? e.FunctionCodeStart(static_cast<int>(offset)) : -1;
    } else {
      int script = 0;
      VXString function;
      if (!e.ParseCallTarget(target, script, function) || !e.LoadScript(script)) return End();
      s.SetScriptNumber(e.loadedScript_);
      s.SetScriptStamp(e.GetLoadedStamp());
      start = e.FunctionCodeStart(e.FindFunction(function));
    }
    if (start < 0) return End();
    e.next_ = static_cast<std::uint32_t>(start);
  }

  // The caller's stack comes back as it was at the call, with the callee's top word (or 0) pushed on it.
  static void Return(TScriptEngine& e) {
    TGameState& s = S();
    if (s.GetCallDepth() == 0) return End();
    TCallFrame frame;
    s.PopCallFrame(frame);
    const int value = s.GetValueCount() > frame.Count ? Pop() : 0;
    s.RestoreValueStack(frame.FrameBase, frame.Count);
    s.SetResult(frame.Result);
    s.SetResult2(frame.Result2);
    const bool loaded = e.LoadScript(frame.Script);
    s.SetScriptNumber(loaded ? e.loadedScript_ : frame.Script);
    s.SetScriptStamp(loaded ? e.GetLoadedStamp() : frame.Stamp);
    e.next_ = static_cast<std::uint32_t>(frame.ReturnPos);
    Push(value);
    if (!loaded) End();
  }

  static void GoToScene(TScriptEngine& e) {
    const auto record = static_cast<std::uint32_t>(Pop());
    const VXString name = e.DataText(record + std::uint64_t{kSceneJumpName});
    if (!e.StartScene(name)) return End();
    if (e.host_ != nullptr) e.host_->SceneJumped();
    e.next_ = static_cast<std::uint32_t>(S().GetScriptPos());
  }

  static void Command(TScriptEngine& e) {
    if (e.host_ == nullptr) throw EGameErr();
    e.host_->RunCommand(e, e.ReadCodeWord(static_cast<int>(e.position_)));
  }

  static constexpr std::array<Handler, kOpcodeCount> MakeTable();
  static const std::array<Handler, kOpcodeCount> kTable;
};

constexpr std::array<TScriptOps::Handler, kOpcodeCount> TScriptOps::MakeTable() {
  std::array<Handler, kOpcodeCount> t{};
  t[opNop] = Nop, t[opPush] = PushOperand, t[opPop] = PopOp, t[opJump] = Jump, t[opJumpIfZero] = JumpIfZero;
  t[opJumpIfNotZero] = JumpIfNotZero, t[opCall] = Call, t[opDup] = Dup, t[opSwap] = Swap;
  t[opDupSecond] = DupSecond, t[opSwapSecondThird] = SwapSecondThird, t[opReturn] = Return, t[opEnd] = EndOp;
  t[opNot] = Not, t[opMul] = Binary<Mul>, t[opDiv] = Binary<Div>, t[opMod] = Binary<Mod>, t[opAdd] = Binary<Add>;
  t[opSub] = Binary<Sub>, t[opLess] = Binary<Less>, t[opLessEqual] = Binary<LessEqual>;
  t[opGreater] = Binary<Greater>, t[opGreaterEqual] = Binary<GreaterEqual>, t[opEqual] = Binary<Equal>;
  t[opNotEqual] = Binary<NotEqual>, t[opAnd] = Binary<And>, t[opOr] = Binary<Or>;
  t[opSetFlag] = SetFlag, t[opGetFlag] = GetFlag, t[opSetSystemFlag] = SetSystemFlag;
  t[opGetSystemFlag] = GetSystemFlag, t[opSetVar] = SetVar, t[opGetVar] = GetVar, t[opSetSystemVar] = SetSystemVar;
  t[opGetSystemVar] = GetSystemVar, t[opSetString] = SetString, t[opSignBit] = SignBit, t[opSetResult] = SetResult;
  t[opPushResult] = PushResult, t[opGetSystemFlagCopy] = GetSystemFlagCopy;
  t[opGetSystemVarCopy] = GetSystemVarCopy, t[opPushResult2] = PushResult2, t[opGoToScene] = GoToScene;
  for (int op = opFirstCommand; op <= opLastCommand; ++op) t[op] = Command;
  return t;
}

constexpr std::array<TScriptOps::Handler, kOpcodeCount> TScriptOps::kTable = TScriptOps::MakeTable();

// ---- Engine -------------------------------------------------------------------------------------------------------

TScriptEngine::TScriptEngine(VXFileMan* scriptFiles, VXFileMan* dataFiles, TScriptHost* host)
    : scriptFiles_(scriptFiles), dataFiles_(dataFiles), host_(host), sceneNames_(kMaxScenes) {
  speakers_.fill(-1);
}

TScriptEngine::~TScriptEngine() = default;

int TScriptEngine::GetSpeaker(int picture) const {
  return picture >= 0 && picture < kSpeakerCount ? speakers_[static_cast<std::size_t>(picture)] : -1;
}

// ---- Scene table ----

bool TScriptEngine::LoadSceneTable() {
  sceneNames_.AllClear();
  loaded_ = false;
  TOpenFile table(scriptFiles_, kSceneTableName);
  if (table.get() == nullptr) SceneTableFailed(kTableOpenFailed);
  TOpenFile speakers(dataFiles_, kSpeakerTableName);
  return LoadSceneTable(*table.get(), speakers.get());
}

void TScriptEngine::SceneTableFailed(const char* message) {
  sceneNames_.AllClear();
  scenes_.clear();
  loaded_ = false;
  loadError_ = message;
  throw EGameErr();
}

bool TScriptEngine::LoadSceneTable(VXStream& table, VXStream* speakers) {
  sceneNames_.AllClear();
  loaded_ = false;
  std::uint8_t head[kSceneHeadSize];
  if (!ReadExactly(table, head, sizeof head) || std::memcmp(head, kSceneMagic, sizeof kSceneMagic) != 0)
    SceneTableFailed(kTableInvalid);
  const std::uint32_t areaSize = VXGetLE32(head + 4);
  const std::int64_t left = table.GetSize() - table.GetPosition();
  if (areaSize > left) SceneTableFailed(kEntriesFailed);
  try {
    scenes_.assign(areaSize, 0);
  } catch (const std::bad_alloc&) {
    SceneTableFailed(kBufferFailed);
  }
  if (!ReadExactly(table, scenes_.data(), areaSize)) SceneTableFailed(kEntriesFailed);
  if (!ReadSceneEntries(VXGetLE32(head + 8))) SceneTableFailed(kTableInvalid);
  ReadSpeakers(speakers);
  loaded_ = true;
  loadError_ = "";
  return true;
}

// Each entry must hold its fixed part and a terminated name inside its own size, and lie inside the area.
bool TScriptEngine::ReadSceneEntries(std::uint32_t count) {
  std::uint64_t at = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + entry::kName > scenes_.size()) return false;
    const std::uint16_t size = VXGetLE16(scenes_.data() + at + entry::kSize);
    if (size <= entry::kName || at + size > scenes_.size()) return false;
    const auto* name = reinterpret_cast<const char*>(scenes_.data() + at + entry::kName);
    if (std::memchr(name, 0, size - entry::kName) == nullptr) return false;
    sceneNames_.AddData(name, static_cast<std::uint32_t>(at));  // refused once the 1,024 slots are taken
    at += size;
  }
  return true;
}

void TScriptEngine::ReadSpeakers(VXStream* speakers) {
  speakers_.fill(-1);
  VXCsvRead csv;
  if (speakers == nullptr || !csv.Read(speakers)) return;
  for (int row = 0; row < csv.GetSizeY(); ++row) {
    const int picture = csv.GetValue(0, row);
    if (picture >= 0 && picture < kSpeakerCount) speakers_[static_cast<std::size_t>(picture)] = csv.GetValue(1, row);
  }
}

// ---- Script files ----

void TScriptEngine::UnloadScript() {
  loadedScript_ = -1;
  header_.fill(0);
  code_.clear(), data_.clear(), text_.clear(), textPositions_.clear();
  code_.shrink_to_fit(), data_.shrink_to_fit(), text_.shrink_to_fit(), textPositions_.shrink_to_fit();
}

std::uint32_t TScriptEngine::GetLoadedStamp() const { return VXGetLE32(header_.data() + header::kStamp); }

std::optional<std::uint32_t> TScriptEngine::ReadScriptStamp(int script) {
  TOpenFile file(scriptFiles_, ScriptFileName(script));
  std::uint8_t head[kHeaderSize];
  if (file.get() == nullptr || !ReadExactly(*file.get(), head, sizeof head)) return std::nullopt;
  if (VXGetLE32(head + header::kScript) != static_cast<std::uint32_t>(script)) return std::nullopt;
  return VXGetLE32(head + header::kStamp);
}

bool TScriptEngine::LoadScript(int script) {
  if (script == loadedScript_ && script >= 0) return true;
  UnloadScript();
  TOpenFile file(scriptFiles_, ScriptFileName(script));
  return file.get() != nullptr && LoadScript(script, *file.get());
}

bool TScriptEngine::LoadScript(int script, VXStream& file) {
  UnloadScript();
  std::uint8_t head[kHeaderSize];
  if (script < 0 || !ReadExactly(file, head, sizeof head) || !ReadSections(file, head)) {
    UnloadScript();
    return false;
  }
  std::memcpy(header_.data(), head, sizeof head);
  loadedScript_ = script;
  ReadMesTable.SetScriptStamp(static_cast<int>(VXGetLE32(head + header::kScript)), GetLoadedStamp());
  return true;
}

// Every section must lie inside the file; the code section is read whole, the data and text sections when they
// have a size.
bool TScriptEngine::ReadSections(VXStream& file, const std::uint8_t* head) {
  const std::int64_t fileSize = file.GetSize();
  struct Section {
    std::vector<std::uint8_t>& bytes;
    int offsetField;
    int sizeField;
  };
  const Section sections[] = {{code_, header::kCodeOffset, header::kCodeSize},
                              {data_, header::kDataOffset, header::kDataSize},
                              {text_, header::kTextOffset, header::kTextSize}};
  for (const Section& section : sections) {
    const std::uint32_t offset = VXGetLE32(head + section.offsetField);
    const std::uint32_t size = VXGetLE32(head + section.sizeField);
    if (size == 0) continue;
    if (size > INT_MAX || std::int64_t{offset} + size > fileSize) return false;
    try {
      section.bytes.assign(size, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (file.Seek(offset, VXSeekBegin) != offset || !ReadExactly(file, section.bytes.data(), size)) return false;
  }
  return IndexTexts(VXGetLE32(head + header::kTextCount));
}

// Record i (from 1) holds its text at textPositions_[i - 1]; each record holds at least its terminator.
bool TScriptEngine::IndexTexts(std::uint32_t count) {
  if (count > text_.size() / (kTextRecordHead + 1)) return false;
  textPositions_.resize(count);
  std::uint64_t at = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + kTextRecordHead > text_.size()) return false;
    const std::uint16_t size = VXGetLE16(text_.data() + at);
    if (size <= kTextRecordHead || at + size > text_.size()) return false;
    if (std::memchr(text_.data() + at + kTextRecordHead, 0, size - kTextRecordHead) == nullptr) return false;
    textPositions_[i] = static_cast<std::uint32_t>(at + kTextRecordHead);
    at += size;
  }
  return true;
}

bool TScriptEngine::EnsureScriptLoaded() {
  if (!loaded_ || GameState.IsScriptEnded()) return false;
  return LoadScript(GameState.GetScriptNumber());
}

int TScriptEngine::FindFunction(const VXString& name) const {
  const std::uint32_t count = VXGetLE32(header_.data() + header::kFunctionCount);
  std::uint64_t at = 0;
  for (std::uint32_t i = 0; i < count && at + function::kName <= code_.size(); ++i) {
    const std::uint16_t size = VXGetLE16(code_.data() + at + function::kSize);
    const std::uint16_t field = VXGetLE16(code_.data() + at + function::kNameLength);
    if (size < function::kName + field || at + function::kName + field > code_.size()) break;
    // The name field holds the name and its terminator.
    const auto length = static_cast<std::size_t>(name.Length());
    const auto* text = reinterpret_cast<const char*>(code_.data() + at + function::kName);
    if (length < field && text[length] == 0 && std::memcmp(text, name.c_str(), length) == 0)
      return static_cast<int>(at);
    at += size;
  }
  return -1;
}

int TScriptEngine::FunctionCodeStart(int offset) const {
  if (offset < 0 || std::uint64_t(offset) + function::kName > code_.size()) return -1;
  const std::uint64_t start =
      std::uint64_t(offset) + function::kName + VXGetLE16(code_.data() + offset + function::kNameLength);
  return start <= INT_MAX ? static_cast<int>(start) : -1;
}

bool TScriptEngine::ParseCallTarget(const VXString& target, int& script, VXString& function) const {
  if (!scrdef::ParseCallTarget(target, script, function)) return false;
  if (script < 0) script = GameState.GetScriptNumber();
  return true;
}

// ---- Scenes ----

bool TScriptEngine::StartScene(const VXString& name) {
  if (!loaded_) return false;
  const int slot = sceneNames_.Search(name.c_str());
  if (slot < 0) return false;
  TGameState& s = GameState;
  SceneStartState = s;
  const std::uint8_t* e = scenes_.data() + sceneNames_.GetParam(slot);
  const std::uint32_t script = VXGetLE32(e + entry::kScript);
  if (script > INT_MAX || !LoadScript(static_cast<int>(script))) return false;
  const std::uint32_t offset = VXGetLE32(e + entry::kStart);
  const int start = offset <= INT_MAX ? FunctionCodeStart(static_cast<int>(offset)) : -1;
  if (start < 0) return false;
  if (name.Length() > TGameState::kSceneNameLength) throw EGameErr();

  s.NewPage();
  if (!s.GetBacklogLine(s.GetBacklogCount() - 1).IsEmpty()) s.NewBacklogLine();
  s.ClearSceneView();
  s.SetSceneName(name);
  s.SetScriptNumber(loadedScript_);
  s.SetScriptStamp(GetLoadedStamp());
  s.SetScriptPos(start);
  s.SetScriptEnded(false);
  s.SetScriptWaiting(false);
  if (const int date = VXGetLE16(e + entry::kStartDate); date != 0) {
    s.SetDate(date);
    s.SetTime(VXGetLE16(e + entry::kStartTime));
  }
  if (const int date = VXGetLE16(e + entry::kEndDate); date != 0) {
    s.SetEndDate(date);
    s.SetEndTime(VXGetLE16(e + entry::kEndTime));
  } else {
    s.ClearEndTime();
  }
  s.ClearValueStack();
  s.ClearCallStack();
  s.SetResult(0);
  s.SetResult2(0);
  s.SetSceneMode(0);
  return true;
}

bool TScriptEngine::ResumeScene() {
  TGameState& s = GameState;
  const auto unchanged = [this](int script, std::uint32_t stamp) { return ReadScriptStamp(script) == stamp; };
  bool same = unchanged(s.GetScriptNumber(), s.GetScriptStamp());
  for (int i = 0; i < s.GetCallDepth(); ++i) {
    const TCallFrame frame = s.GetCallFrame(i);
    same = unchanged(frame.Script, frame.Stamp) && same;
  }
  if (same) return EnsureScriptLoaded();
  const VXString name = s.GetSceneName();
  s = SceneStartState;
  return StartScene(name);
}

// ---- The machine --------------------------------------------------------------------------------------------------

std::uint16_t TScriptEngine::ReadCodeWord(int position) const {
  if (loadedScript_ < 0 || position < 0 || std::uint64_t(position) + 2 > code_.size()) throw EGameErr();
  return VXGetLE16(code_.data() + position);
}

std::uint32_t TScriptEngine::ReadCodeDword(int position) const {
  if (loadedScript_ < 0 || position < 0 || std::uint64_t(position) + 4 > code_.size()) throw EGameErr();
  return VXGetLE32(code_.data() + position);
}

std::uint16_t TScriptEngine::DataWord(std::uint64_t offset) const {
  if (offset + 2 > data_.size()) throw EGameErr();
  return VXGetLE16(data_.data() + offset);
}

std::uint32_t TScriptEngine::DataDword(std::uint64_t offset) const {
  if (offset + 4 > data_.size()) throw EGameErr();
  return VXGetLE32(data_.data() + offset);
}

VXString TScriptEngine::DataText(std::uint64_t offset) const {
  VXString text;
  if (!SectionText(data_, offset, text)) throw EGameErr();
  return text;
}

bool TScriptEngine::RunScript() {
  TGameState& s = GameState;
  if (s.IsScriptWaiting()) return false;
  s.SetSceneMode(0);
  yield_ = false;
  try {
    while (!s.IsScriptEnded() && !s.IsScriptWaiting() && !yield_) {
      if (s.IsMessageEmpty()) {
        StepInstruction();
        if (s.IsScriptEnded()) s.MarkMessageRead();
      } else {
        StepMessageText();
        if (s.IsMessageEmpty()) s.MarkMessageRead();
      }
    }
  } catch (const EGameErr&) {
    throw;
  } catch (const std::exception&) {
    throw EGameErr();
  }
  return s.IsScriptEnded();
}

void TScriptEngine::ResumeWithValue(int value) {
  if (!GameState.IsScriptWaiting()) return;
  GameState.PushValue(value);
  GameState.SetScriptWaiting(false);
}

void TScriptEngine::StepInstruction() {
  TGameState& s = GameState;
  if (s.IsScriptEnded() || s.IsScriptWaiting()) return;
  position_ = static_cast<std::uint32_t>(s.GetScriptPos());
  if (loadedScript_ < 0 || position_ >= code_.size()) return s.SetScriptEnded(true);
  const std::uint16_t opcode = ReadCodeWord(static_cast<int>(position_));
  const TScriptOps::Handler handler = opcode < kOpcodeCount ? TScriptOps::kTable[opcode] : nullptr;
  if (handler == nullptr) throw EGameErr();
  next_ = position_ + static_cast<std::uint32_t>(GetOpcodeLength(opcode));
  try {
    handler(*this);
  } catch (...) {
    s.SetScriptPos(static_cast<int>(next_));
    throw;
  }
  s.SetScriptPos(static_cast<int>(next_));
}

VXString TScriptEngine::GetStringOperand(int word) const {
  if (word == 0) return VXString();
  if (word < 0) return GameState.GetString(word & 0x7FFFFFFF);
  if (loadedScript_ < 0 || static_cast<std::uint32_t>(word) > textPositions_.size()) throw EGameErr();
  return VXString(reinterpret_cast<const char*>(text_.data() + textPositions_[static_cast<std::size_t>(word) - 1]));
}

namespace {

const VXString kLineEscape("\\n");
const VXString kPageEscape("\\p");
constexpr char kPromptOpen[] = "\x81\x79";  // 【: a speaker's name, shown at once

}  // namespace

// The pending message up to the next line or page escape, or that escape itself. The escapes are found on
// character boundaries, so a double-byte character whose second byte is a backslash is never one.
void TScriptEngine::StepMessageText() {
  TGameState& s = GameState;
  VXString text = s.GetMessageText();
  const int line = text.AnsiPos(kLineEscape);
  const int page = text.AnsiPos(kPageEscape);
  if (line == 1) {
    text.Delete(1, 2);
    s.NewPageLine();
    if (host_ != nullptr) host_->LineFeed();
  } else if (page == 1) {
    text.Delete(1, 2);
    s.NewPage();
    if (host_ != nullptr) host_->ClearPage();
  } else {
    const int end = line == 0 ? page : page == 0 ? line : std::min(line, page);
    const VXString chunk = end == 0 ? text : text.SubString(1, end - 1);
    text.Delete(1, chunk.Length());
    s.AddPageText(chunk);
    const int speed = s.GetTextSpeed();
    const bool atOnce = speed <= 0 || std::strncmp(chunk.c_str(), kPromptOpen, 2) == 0;
    if (host_ != nullptr) host_->ShowText(chunk, atOnce ? 0 : 30000 / speed);
    if (!s.IsMessageWindowShown()) s.SetMessageWindowShown(true);
    yield_ = true;
  }
  s.SetMessageText(text);
}

VXString TScriptEngine::ExpandTextMacros(const VXString& text) const {
  const char* p = text.c_str();
  const int n = text.Length();
  std::string out;
  const auto number = [&](int& i) {  // the digits at i, clamped; -1 when there are none
    if (i >= n || p[i] < '0' || p[i] > '9') return -1;
    long long value = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) value = std::min<long long>(value * 10 + (p[i] - '0'), INT_MAX);
    return static_cast<int>(value);
  };
  for (int i = 0; i < n;) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c == '%') {
      const char what = i + 1 < n ? p[i + 1] : 0;
      if (what == 'r') {
        out += VXIntToWideStr(GameState.GetResult(), 1).c_str();
        i += 2;
      } else if (what == 'v' || what == 's') {
        i += 2;
        if (const int index = number(i); index >= 0)
          out += (what == 'v' ? VXIntToWideStr(GameState.GetVar(index), 1) : GameState.GetString(index)).c_str();
      } else {
        ++i;  // only the '%' goes
      }
    } else if (platform::text::IsCp932LeadByte(c)) {
      if (i + 1 < n) out.append(p + i, 2);
      i += 2;
    } else {
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') out += p[i];
      ++i;
    }
  }
  return VXString(out.data(), static_cast<unsigned int>(out.size()));
}
