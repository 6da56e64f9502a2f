// Random compiled code run on the script machine for a bounded number of steps. The input holds the code, data and
// text sections (two u16 lengths first, then the three sections); the harness puts a valid header and a scene table
// around them. Whatever the code does, the machine stays inside its script and its record: the only error is the
// game's own (overflow, underflow, a bad opcode, text number or record), and the stacks never leave their bounds.
// Links: scenario
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <vector>

#include "core/vxstd.h"
#include "core/vxstream.h"
#include "scenario/scrdef.h"
#include "scenario/scripte.h"
#include "shell/gamestate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Game commands as the adventure runs them, as far as the machine sees: arguments popped, results pushed, messages
// and choices read, waits set.
class THost : public TScriptHost {
 public:
  void RunCommand(TScriptEngine& engine, int opcode) override {
    const scrdef::TOpcodeInfo& info = *scrdef::GetOpcodeInfo(opcode);
    int args[4] = {};
    for (int i = info.args - 1; i >= 0; --i) args[i] = GameState.PopValue();
    if (opcode == scrdef::opMessage)
      GameState.SetMessage(args[0], engine.ExpandTextMacros(engine.GetStringOperand(args[0])));
    if (opcode == scrdef::opChoice)
      for (int i = 0; i < 4; ++i) GameState.SetChoiceText(i, engine.ExpandTextMacros(engine.GetStringOperand(args[i])));
    if (opcode == 69) GameState.SetTextSpeed(args[0]);
    if (opcode == scrdef::opEndScript) GameState.SetScriptEnded(true);
    if (info.waits)
      GameState.SetScriptWaiting(true);
    else
      for (int i = 0; i < info.results; ++i) GameState.PushValue(args[0]);
    if (opcode % 3 == 0) engine.Yield();
  }
  void ShowText(const VXString&, int) override {}
  void LineFeed() override {}
  void ClearPage() override {}
  void SceneJumped() override {}
};

bool Sound() {
  const TGameState& s = GameState;
  return s.GetFrameBase() >= 0 && s.GetFrameBase() <= s.GetValueCount() && s.GetValueCount() <= 256 &&
         s.GetCallDepth() >= 0 && s.GetCallDepth() <= 64 && s.GetMessageText().Length() <= 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > (1 << 16)) return 0;
  const std::size_t codeSize = std::min<std::size_t>(data[0] | data[1] << 8, size - 4);
  const std::size_t dataSize = std::min<std::size_t>(data[2] | data[3] << 8, size - 4 - codeSize);
  const std::size_t textSize = size - 4 - codeSize - dataSize;
  const std::uint8_t* sections = data + 4;

  // The text records that can be walked are the ones the header counts.
  std::uint32_t texts = 0;
  for (std::size_t at = 0; at + 3 <= textSize; ++texts) {
    const std::size_t record = sections[codeSize + dataSize + at] | sections[codeSize + dataSize + at + 1] << 8;
    if (record < 3 || at + record > textSize) break;
    at += record;
  }
  Bytes file(64, 0);
  file.insert(file.end(), sections, sections + size - 4);
  VXPutLE32(file.data() + 8, 1);
  VXPutLE32(file.data() + 12, 0x12345678);
  VXPutLE32(file.data() + 28, 64);
  VXPutLE32(file.data() + 32, static_cast<std::uint32_t>(codeSize));
  VXPutLE32(file.data() + 36, 4);
  VXPutLE32(file.data() + 40, static_cast<std::uint32_t>(64 + codeSize));
  VXPutLE32(file.data() + 44, static_cast<std::uint32_t>(dataSize));
  VXPutLE32(file.data() + 52, static_cast<std::uint32_t>(64 + codeSize + dataSize));
  VXPutLE32(file.data() + 56, static_cast<std::uint32_t>(textSize));
  VXPutLE32(file.data() + 60, texts);

  // Scenes "a" and "b", both in script 1, at the first two offsets a function record may have.
  static const std::uint8_t kTable[] = {
      'Q', 'M', '0',  '1',  48,   0,    0, 0, 2, 0, 0,   0, 24, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0,   0,
      0,   0,   0x91, 0x01, 0x20, 0x03, 0, 0, 0, 0, 'a', 0,  // 04/01 08:00
      24,  0,   1,    0,    0,    0,    0, 0, 0, 0, 16,  0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 'b', 0};
  VXMemoryStream table(kTable, sizeof kTable);
  VXMemoryStream stream(file.data(), static_cast<int>(file.size()));
  THost host;
  TScriptEngine engine(nullptr, nullptr, &host);
  GameState = TGameState();
  if (!engine.LoadSceneTable(table, nullptr) || !engine.LoadScript(1, stream)) return 0;
  if (!engine.StartScene("a")) {
    GameState.SetScriptNumber(1);
    GameState.SetScriptPos(0);
    GameState.SetScriptEnded(false);
  }
  int answer = 0;
  try {
    for (int step = 0; step < 20000 && !GameState.IsScriptEnded(); ++step) {
      if (GameState.IsScriptWaiting())
        engine.ResumeWithValue(answer++ % 5 - 1);
      else if (GameState.IsMessageEmpty())
        engine.StepInstruction();
      else
        engine.StepMessageText();
      if (!Sound()) std::abort();
    }
  } catch (const EGameErr&) {
    if (!Sound()) std::abort();
  }
  return 0;
}
