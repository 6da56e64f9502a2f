// The save files: coding and decoding a whole system save (the record and a full read-text log) and a whole slot
// save (two records with a full backlog, and the adventure's thumbnail), in memory; the game lock is held
// meanwhile, so each should stay within 20 ms on one core. Then the same saves written to a real file (synced),
// for comparison.
// Links: shell
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/savefile.h"

namespace {

// A log as full as whole blocks make it: scripts with every other message of 1-2000 read (about 4 KB a block).
const TReadMesTable& FullLog() {
  static const std::unique_ptr<TReadMesTable> log = [] {
    auto made = std::make_unique<TReadMesTable>();
    for (int script = 0; made->GetUsedSize() + 4100 < TReadMesTable::kBufferSize; ++script) {
      made->SetScriptStamp(script, 1);
      for (int m = 1; m < 2000; m += 2) made->MarkRead(static_cast<std::uint32_t>(script) << 16 | m);
    }
    return made;
  }();
  return *log;
}

const TSystemData& FilledRecord() {
  static const std::unique_ptr<TSystemData> data = [] {
    auto made = std::make_unique<TSystemData>();
    for (int i = 0; i < 200; ++i) {
      made->SetEventSeen(i);
      const TSongID id = {'Q', static_cast<char>('A' + i / 100), static_cast<char>('0' + i / 10 % 10),
                          static_cast<char>('0' + i % 10)};
      for (char level = 0; level < 3; ++level) made->SetResult(level, 100000 + i * 977, "NAME", 5, id, 1 + i);
    }
    made->SetRankingUserId("a-player-of-the-ranking");
    return made;
  }();
  return *data;
}

// A record whose page, backlog and choices are full of Japanese text.
std::unique_ptr<TGameState> FilledState(int seed) {
  auto state = std::make_unique<TGameState>();
  const VXString chunk("\x82\xB1\x82\xEA\x82\xCD\x96\xBC\x91\x4F\x82\xC5\x82\xB7\x81\x42");
  for (int line = 0; line < TGameState::kBacklogLines + 10; ++line) {
    state->AddPageText(chunk + VXString(line * seed));
    state->AddPageText(chunk);
    state->NewPageLine();
  }
  for (int i = 0; i < TGameState::kVarCount; ++i) state->SetVar(i, i * seed);
  return state;
}

// 134 x 100 pixels of 3 bytes: a gradient with some texture, as a shrunk screen looks.
std::vector<std::uint8_t> Thumbnail() {
  std::vector<std::uint8_t> pixels(kSlotExtraMax);
  std::uint32_t noise = 1;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    noise = noise * 1103515245u + 12345u;
    pixels[i] = static_cast<std::uint8_t>(i / 402 + (i % 3) * 40 + (noise >> 28));
  }
  return pixels;
}

struct Slot {
  std::unique_ptr<TGameState> current = FilledState(3);
  std::unique_ptr<TGameState> second = FilledState(5);
  std::vector<std::uint8_t> extra = Thumbnail();
};

const Slot& FilledSlot() {
  static const Slot slot;
  return slot;
}

// A save folder of the benchmark's own for the file writes.
class SaveFolder {
public:
  SaveFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "qormbenchXXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) path_ = templ;
    setenv("XDG_DATA_HOME", path_.c_str(), 1);
  }
  ~SaveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

private:
  std::string path_;
};

}  // namespace

static void BM_SystemSaveEncode(benchmark::State& state) {
  std::string image;
  for (auto _ : state)
    if (!EncodeSystemSave(FilledRecord(), FullLog(), image)) state.SkipWithError("encode failed");
  state.counters["raw"] = static_cast<double>(sizeof(TSystemData) + FullLog().GetUsedSize());
  state.counters["file"] = static_cast<double>(image.size());
}
BENCHMARK(BM_SystemSaveEncode)->Unit(benchmark::kMillisecond);

static void BM_SystemSaveDecode(benchmark::State& state) {
  std::string image;
  EncodeSystemSave(FilledRecord(), FullLog(), image);
  auto data = std::make_unique<TSystemData>();
  auto log = std::make_unique<TReadMesTable>();
  for (auto _ : state)
    if (!DecodeSystemSave(image.data(), image.size(), *data, *log)) state.SkipWithError("decode failed");
}
BENCHMARK(BM_SystemSaveDecode)->Unit(benchmark::kMillisecond);

static void BM_SlotSaveEncode(benchmark::State& state) {
  const Slot& slot = FilledSlot();
  std::string image;
  for (auto _ : state)
    if (!EncodeSlotSave(*slot.current, *slot.second, slot.extra.data(), kSlotExtraMax, image))
      state.SkipWithError("encode failed");
  state.counters["file"] = static_cast<double>(image.size());
}
BENCHMARK(BM_SlotSaveEncode)->Unit(benchmark::kMillisecond);

static void BM_SlotSaveDecode(benchmark::State& state) {
  const Slot& slot = FilledSlot();
  std::string image;
  EncodeSlotSave(*slot.current, *slot.second, slot.extra.data(), kSlotExtraMax, image);
  auto current = std::make_unique<TGameState>();
  auto second = std::make_unique<TGameState>();
  std::vector<std::uint8_t> extra(kSlotExtraMax);
  std::uint32_t extraSize = 0;
  for (auto _ : state)
    if (!DecodeSlotSave(image.data(), image.size(), current.get(), second.get(), extra.data(), &extraSize))
      state.SkipWithError("decode failed");
}
BENCHMARK(BM_SlotSaveDecode)->Unit(benchmark::kMillisecond);

static void BM_SystemSaveToFile(benchmark::State& state) {
  SaveFolder folder;
  SystemData = FilledRecord();
  const TReadMesTable& log = FullLog();
  ReadMesTable.Load(log.GetBuffer(), static_cast<int>(log.GetUsedSize()));
  for (auto _ : state)
    if (!SaveSystemData()) state.SkipWithError("save failed");
}
BENCHMARK(BM_SystemSaveToFile)->Unit(benchmark::kMillisecond);

static void BM_SlotSaveToFile(benchmark::State& state) {
  SaveFolder folder;
  const Slot& slot = FilledSlot();
  for (auto _ : state)
    if (!SaveSlotData(0, slot.current.get(), slot.second.get(), slot.extra.data(), kSlotExtraMax))
      state.SkipWithError("save failed");
}
BENCHMARK(BM_SlotSaveToFile)->Unit(benchmark::kMillisecond);
