// A game-state record as a crafted slot save could hold it, worked on by the accessors the script machine and the
// adventure use. The input first writes bytes into the record (anywhere, or a whole counter, cursor or text field
// at once), then runs operations with arguments from the input. Nothing may reach outside the record, every
// getter must give a value inside its range, and an operation that throws must leave the record as it was.
// Links: shell
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "core/vxstd.h"
#include "fuzz/gamestate_check.h"
#include "shell/gamestate.h"

namespace {

// The counters, cursors and texts a crafted save would aim at: offset and size.
constexpr std::pair<std::uint32_t, std::uint32_t> kFields[] = {
    {364, 128},   {2424, 4},   {2436, 4},  {2440, 4},    {2444, 64},   {3532, 4},    {3536, 4},    {5348, 4},
    {5412, 256},  {5668, 4},   {5673, 53}, {6468, 53},   {6524, 4},    {6532, 53},   {59479, 53},  {59532, 4},
    {59536, 4},   {59540, 53}, {2428, 4},  {2432, 4},    {5364, 4},    {6528, 4},    {3540, 4},
};

std::int32_t Arg(const std::uint8_t* p) {
  // Mostly small values near the edges, sometimes any 32-bit value.
  const std::uint32_t raw = VXGetLE32(p);
  return (raw & 0x80) ? static_cast<std::int32_t>(raw) : static_cast<std::int32_t>(raw >> 8) % 2100 - 50;
}

VXString TextArg(const std::uint8_t* data, std::size_t size, std::int32_t length) {
  const std::size_t n = static_cast<std::size_t>(length < 0 ? -static_cast<std::int64_t>(length) : length) % 300;
  std::vector<char> text(n);
  for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>(size ? data[i % size] | 0x01 : 'a');
  return VXString(text.data(), static_cast<unsigned int>(n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1 << 16)) return 0;
  static TGameState state;
  state = TGameState();
  auto* bytes = reinterpret_cast<std::uint8_t*>(&state);

  // Writes: a count, then 6 bytes each (a field number or an offset, and a value).
  std::size_t at = 1;
  for (int i = 0; i < data[0] % 16 && at + 6 <= size; ++i, at += 6) {
    const std::uint8_t* w = data + at;
    const std::uint32_t value = VXGetLE32(w + 2);
    const std::size_t field = w[0] % (std::size(kFields) + 1);
    if (field < std::size(kFields)) {
      const auto [offset, length] = kFields[field];
      if (length == 4) VXPutLE32(bytes + offset, value);
      else std::memset(bytes + offset, static_cast<int>(value | 1), length);  // a text without a terminator
    } else {
      VXPutLE32(bytes + VXGetLE16(w) % (sizeof(TGameState) - 3), value);
    }
  }
  CheckGameState(state);

  // Operations: 5 bytes each.
  std::vector<std::uint8_t> before(sizeof(TGameState));
  for (; at + 5 <= size; at += 5) {
    const std::uint8_t op = data[at];
    const std::int32_t a = Arg(data + at + 1);
    const VXString text = TextArg(data + at, size - at, a);
    std::memcpy(before.data(), bytes, before.size());
    try {
      switch (op % 32) {
        case 0: state.PushValue(a); break;
        case 1: state.PopValue(); break;
        case 2: state.PeekValue(); break;
        case 3: state.RestoreValueStack(a % 300, a / 300 % 300); break;
        case 4: state.PushCallFrame({a, 1, 2, a % 300, a / 7 % 300, 3, 4}); break;
        case 5: {
          TCallFrame frame{};
          state.PopCallFrame(frame);
          break;
        }
        case 6: state.GetCallFrame(a % 70); break;
        case 7: state.AddDays(a); break;
        case 8: state.AddHours(a); break;
        case 9: state.AddMinutes(a); break;
        case 10: state.SetDate(a); break;
        case 11: state.SetTime(a); break;
        case 12: state.SetEndDate(a); break;
        case 13: state.SetEndTime(a); break;
        case 14: state.NextDay(), state.PrevDay(), state.PrevDay(); break;
        case 15: state.AddPageText(text); break;
        case 16: state.NewPageLine(); break;
        case 17: state.NewPage(); break;
        case 18: state.SetPageCursor(a % 30, a / 30 % 20); break;
        case 19: state.NewBacklogLine(); break;
        case 20: state.AddBacklogText(text); break;
        case 21: state.SetBacklogLine(a % 1010, text), state.GetBacklogLine(a % 1010); break;
        case 22: state.SetMessageText(text); break;
        case 23: state.SetMessage(a, text), state.MarkMessageRead(); break;
        case 24: state.SetString(a % 18, text), state.GetString(a % 18); break;
        case 25: state.SetSceneName(text); break;
        case 26: state.SetChoiceText(a % 5, text); break;
        case 27: state.SetStageValue(a); break;
        case 28: state.SetHour(a % 30); break;
        case 29: state.SetScriptNumber(a % 70000); break;
        case 30: state.SetPageLine(a % 18, text); break;
        default: state.ResetScene(); break;
      }
    } catch (const EGameErr&) {
      if (std::memcmp(before.data(), bytes, before.size()) != 0) std::abort();
    }
    CheckGameState(state);
  }
  return 0;
}
