#include "shell/savefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "core/vxrange.h"
#include "core/vxstd.h"
#include "support/environment.h"
#include "support/filesizelimit.h"
#include "support/recordbytes.h"
#include "support/tempdir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Le32(std::uint32_t value) {
  Bytes b(4);
  Poke32(b.data(), 0, value);
  return b;
}

// The coder over one whole buffer, with a fresh model, as the files use it.
Bytes Encode(const Bytes& raw) {
  VXRangeEncode encoder;
  EXPECT_TRUE(encoder.Create());
  Bytes stream(raw.size() * 4 + 64);
  EXPECT_TRUE(encoder.Encode(raw.data(), stream.data(), static_cast<int>(raw.size()), static_cast<int>(stream.size())));
  stream.resize(static_cast<std::size_t>(encoder.outputLength));
  return stream;
}

Bytes Decode(const Bytes& stream, std::size_t capacity) {
  VXRangeDecode decoder;
  EXPECT_TRUE(decoder.Create());
  Bytes raw(capacity);
  Bytes padded = stream;
  padded.resize(stream.size() + 4);
  EXPECT_TRUE(decoder.Decode(padded.data(), raw.data(), static_cast<int>(padded.size()), static_cast<int>(capacity)));
  raw.resize(static_cast<std::size_t>(decoder.outputLength));
  return raw;
}

const Bytes kSystemHeader = {'Q', 'M', 'V', 'N', 0x00, 0x01, 0x00, 0x00};
const Bytes kSlotHeader = {'Q', 'O', 'R', 'M', 0x00, 0x01, 0x00, 0x00};

// Files built here byte by byte, independent of the writer.
Bytes SystemImage(const Bytes& raw, std::uint32_t rawSizeField) {
  return Concat({kSystemHeader, Le32(rawSizeField), Encode(raw)});
}
Bytes SystemImage(const Bytes& raw) { return SystemImage(raw, static_cast<std::uint32_t>(raw.size())); }
Bytes SlotImage(const Bytes& raw) { return Concat({kSlotHeader, Encode(raw)}); }

Bytes SlotRaw(const TGameState& current, const TGameState& second, const Bytes& extra) {
  Bytes raw = Concat({BytesOf(current), BytesOf(second), Le32(static_cast<std::uint32_t>(extra.size())), extra});
  raw.resize(kSlotRawSize);
  return raw;
}

Bytes LogBytes(const TReadMesTable& log) {
  return {log.GetBuffer(), log.GetBuffer() + log.GetUsedSize()};
}
Bytes WholeLog(const TReadMesTable& log) { return {log.GetBuffer(), log.GetBuffer() + TReadMesTable::kBufferSize}; }

void ClearLog(TReadMesTable& log) {
  const std::uint8_t empty[8] = {8};
  log.Load(empty, 8);
}

// A log of a few scripts with read ranges.
void FillLog(TReadMesTable& log, int scripts, int messages) {
  ClearLog(log);
  for (int script = 0; script < scripts; ++script) {
    log.SetScriptStamp(script * 3, 100 + static_cast<std::uint32_t>(script));
    for (int m = 1; m < messages; m += 2) log.MarkRead(static_cast<std::uint32_t>(script * 3) << 16 | m);
  }
}

void FillSystemData(TSystemData& data, int seed) {
  data = TSystemData();
  data.SetFlag(seed % 64, true);
  data.SetVar(0, seed);
  data.SetVar(7, -seed);
  data.SetEventSeen(199);
  data.SetResult(1, 12345 + seed, "ABCD", 777, TSongID{'Q', 'M', '0', '3'}, 42);
  data.SetResult(0, 99, "X", 5, TSongID{'Q', 'E', '0', '1'}, 43);
  data.SetRankingUserId(VXString("player-") + VXString(seed));
  data.EnableSong(32);
}

void FillGameState(TGameState& state, int seed) {
  state = TGameState();
  state.SetVar(0, seed);
  state.SetFlag(511, true);
  state.SetString(15, VXString("\x82\xA0 slot ") + VXString(seed));
  state.SetDate(1224);
  state.PushValue(seed);
  state.PushCallFrame({1, 2, 3, 0, 1, 4, 5});
  for (int i = 0; i < 30; ++i) {
    state.AddPageText(VXString("line ") + VXString(i));
    state.NewPageLine();
  }
  state.SetBgmTrack(seed % 9);
}

Bytes Thumbnail(std::uint32_t size, int seed) {
  Bytes extra(size);
  for (std::uint32_t i = 0; i < size; ++i) extra[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return extra;
}

// A file of the tables of bad files, and whether it loads.
struct BadFile {
  const char* what;
  Bytes image;
  bool loads;
};

// The live records as bytes, to tell whether a load changed them.
struct LiveRecords {
  LiveRecords()
      : system(BytesOf(SystemData)), log(WholeLog(ReadMesTable)), current(BytesOf(GameState)),
        second(BytesOf(SceneStartState)) {}
  friend bool operator==(const LiveRecords&, const LiveRecords&) = default;

  Bytes system, log, current, second;
};

// A save folder of its own ($XDG_DATA_HOME) and the records back at their start.
class SaveFiles : public testing::Test {
protected:
  SaveFiles() {
    env.Set("XDG_DATA_HOME", home.str().c_str());
    std::filesystem::create_directories(Folder());
    ResetRecords();
  }
  ~SaveFiles() override { ResetRecords(); }

  static void ResetRecords() {
    SystemData = TSystemData();
    ClearLog(ReadMesTable);
    GameState = TGameState();
    SceneStartState = TGameState();
  }

  std::string Folder() const { return home.str() + "/BELVAR/QORM/"; }
  std::string Path(const std::string& name) const { return Folder() + name; }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }
  Bytes Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
  }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) names.insert(entry.path().filename());
    return names;
  }

  TempDir home;
  Environment env;
};

}  // namespace

// ---- Layouts

TEST_F(SaveFiles, SystemSaveLayout) {
  // An empty log: the raw data is the record and the log's 8-byte header.
  FillSystemData(SystemData, 5);
  ASSERT_TRUE(SaveSystemData());
  const Bytes file = Read("QMSys.sav");
  const Bytes raw = Concat({BytesOf(SystemData), Bytes{8, 0, 0, 0, 0, 0, 0, 0}});
  ASSERT_EQ(raw.size(), 13488u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), kSystemHeader);
  EXPECT_EQ(VXGetLE32(file.data() + 8), 13488u);
  EXPECT_EQ(file, SystemImage(raw));  // the stream is the coder's output over the raw data, nothing more

  // A filled log follows the record with its used bytes.
  FillLog(ReadMesTable, 3, 50);
  ASSERT_TRUE(SaveSystemData());
  const Bytes filled = Read("QMSys.sav");
  EXPECT_EQ(VXGetLE32(filled.data() + 8), 13480u + ReadMesTable.GetUsedSize());
  EXPECT_EQ(Decode(Bytes(filled.begin() + 12, filled.end()), kSystemRawMax),
            Concat({BytesOf(SystemData), LogBytes(ReadMesTable)}));
}

TEST_F(SaveFiles, SlotSaveLayout) {
  FillGameState(GameState, 1);
  FillGameState(SceneStartState, 2);
  const Bytes thumbnail = Thumbnail(40200, 3);
  ASSERT_TRUE(SaveSlotStateEx(0, thumbnail.data(), 40200));
  ASSERT_TRUE(SaveSlotState(12));

  const Bytes quick = Read("QM00.sav");
  EXPECT_EQ(Bytes(quick.begin(), quick.begin() + 8), kSlotHeader);  // no raw-size field follows
  const Bytes raw = Decode(Bytes(quick.begin() + 8, quick.end()), kSlotRawSize + 1);
  ASSERT_EQ(raw.size(), 159924u);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 59860), BytesOf(GameState));
  EXPECT_EQ(Bytes(raw.begin() + 59860, raw.begin() + 119720), BytesOf(SceneStartState));
  EXPECT_EQ(VXGetLE32(raw.data() + 119720), 40200u);
  EXPECT_EQ(Bytes(raw.begin() + 119724, raw.end()), thumbnail);
  EXPECT_EQ(quick, SlotImage(raw));

  // Without extra data: size 0 and zeros behind it.
  EXPECT_EQ(Read("QM12.sav"), SlotImage(SlotRaw(GameState, SceneStartState, {})));
}

TEST(SaveFileNames, SlotsFromZeroUp) {
  const std::pair<int, const char*> cases[] = {
      {0, "QM00.sav"}, {1, "QM01.sav"}, {99, "QM99.sav"}, {100, "QM100.sav"}, {-1, ""}};
  for (const auto& [slot, name] : cases) EXPECT_EQ(SlotFileName(slot), name) << slot;
}

// ---- Round trips

TEST_F(SaveFiles, SystemSaveRoundTrip) {
  FillSystemData(SystemData, 9);
  FillLog(ReadMesTable, 40, 400);
  const LiveRecords saved;
  ASSERT_TRUE(SaveSystemData());
  ResetRecords();
  ASSERT_TRUE(LoadSystemData());
  EXPECT_EQ(BytesOf(SystemData), saved.system);
  EXPECT_EQ(LogBytes(ReadMesTable), Bytes(saved.log.begin(), saved.log.begin() + ReadMesTable.GetUsedSize()));
  EXPECT_TRUE(ReadMesTable.IsRead(3u << 16 | 1));
  EXPECT_FALSE(ReadMesTable.IsRead(3u << 16 | 2));
  EXPECT_FALSE(Exists("QMSys.sav.bad"));

  // A file built elsewhere, found in another letter case, and replaced under its own name.
  std::filesystem::rename(Path("QMSys.sav"), Path("qmsys.SAV"));
  ResetRecords();
  ASSERT_TRUE(LoadSystemData());
  EXPECT_EQ(BytesOf(SystemData), saved.system);
  ASSERT_TRUE(SaveSystemData());
  EXPECT_EQ(Entries(), std::set<std::string>{"qmsys.SAV"});
}

TEST_F(SaveFiles, SlotSaveRoundTrip) {
  FillGameState(GameState, 7);
  FillGameState(SceneStartState, 8);
  const LiveRecords saved;
  const Bytes thumbnail = Thumbnail(40200, 1);
  ASSERT_TRUE(SaveSlotStateEx(0, thumbnail.data(), 40200));
  ASSERT_TRUE(SaveSlotState(1));

  ResetRecords();
  ASSERT_TRUE(LoadSlotToState(0));
  EXPECT_EQ(LiveRecords().current, saved.current);
  EXPECT_EQ(LiveRecords().second, saved.second);

  auto current = std::make_unique<TGameState>();
  Bytes extra(40200);
  std::uint32_t extraSize = 1;
  ASSERT_TRUE(LoadSlotData(0, current.get(), nullptr, extra.data(), &extraSize));
  EXPECT_EQ(BytesOf(*current), saved.current);
  EXPECT_EQ(extraSize, 40200u);
  EXPECT_EQ(extra, thumbnail);
  ASSERT_TRUE(LoadSlotData(1, nullptr, nullptr, extra.data(), &extraSize));
  EXPECT_EQ(extraSize, 0u);
  EXPECT_TRUE(LoadSlotData(1, nullptr, nullptr, nullptr, nullptr));

  // A slot without a file.
  EXPECT_FALSE(LoadSlotToState(2));
  EXPECT_FALSE(LoadSlotData(2, current.get(), nullptr, nullptr, nullptr));
}

// ---- Refused files

TEST_F(SaveFiles, BadSystemSavesAreRefusedAndChangeNothing) {
  FillSystemData(SystemData, 3);
  FillLog(ReadMesTable, 2, 20);
  const Bytes raw = Concat({BytesOf(SystemData), LogBytes(ReadMesTable)});
  const Bytes good = SystemImage(raw);
  auto with = [&](std::size_t offset, const Bytes& bytes) {
    Bytes image = good;
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(offset));
    return image;
  };
  auto sized = [&](std::size_t size) {
    Bytes image = good;
    image.resize(size);
    return image;
  };
  std::mt19937 noise(7);
  Bytes noisy = Concat({kSystemHeader, Le32(static_cast<std::uint32_t>(raw.size()))});
  for (int i = 0; i < 4000; ++i) noisy.push_back(static_cast<std::uint8_t>(noise()));

  const BadFile cases[] = {
      {"the file as written", good, true},
      {"zeros behind the stream, up to the stream buffer", sized(8 + 1102496), true},
      {"one byte more than the stream buffer holds", sized(8 + 1102497), false},
      {"an empty file", {}, false},
      {"the header alone", sized(8), false},
      {"part of the raw size", sized(11), false},
      {"a slot save's magic", with(0, {'Q', 'O', 'R', 'M'}), false},
      {"the magic in lower case", with(0, {'q', 'm', 'v', 'n'}), false},
      {"version word 0x0001", with(4, {0x01, 0x00}), false},
      {"raw size below the record", SystemImage(Bytes(raw.begin(), raw.begin() + 13479)), false},
      {"raw size above the buffers", with(8, Le32(275625)), false},
      {"raw size 0xFFFFFFFF", with(8, Le32(0xFFFFFFFF)), false},
      {"raw size longer than the stream", with(8, Le32(static_cast<std::uint32_t>(raw.size() + 4))), false},
      {"raw size shorter than the stream", with(8, Le32(static_cast<std::uint32_t>(raw.size() - 4))), false},
      {"the stream cut in half", sized(12 + (good.size() - 12) / 2), false},
      {"noise for a stream", noisy, false},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.what);
    Write("QMSys.sav", c.image);
    FillSystemData(SystemData, 11);
    FillLog(ReadMesTable, 5, 9);
    const LiveRecords before;
    EXPECT_EQ(LoadSystemData(), c.loads);
    if (c.loads) {
      EXPECT_EQ(Concat({BytesOf(SystemData), LogBytes(ReadMesTable)}), raw);
    } else {
      EXPECT_TRUE(LiveRecords() == before);
    }
  }
}

TEST_F(SaveFiles, BadSlotSavesAreRefusedAndChangeNothing) {
  auto current = std::make_unique<TGameState>();
  auto second = std::make_unique<TGameState>();
  FillGameState(*current, 1);
  FillGameState(*second, 2);
  const Bytes thumbnail = Thumbnail(100, 4);
  const Bytes raw = SlotRaw(*current, *second, thumbnail);
  const Bytes good = SlotImage(raw);
  auto rawWith = [&](std::size_t offset, const Bytes& bytes) {
    Bytes changed = raw;
    std::copy(bytes.begin(), bytes.end(), changed.begin() + static_cast<long>(offset));
    return changed;
  };
  auto resized = [](Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
  };
  Bytes system = SystemImage(Concat({BytesOf(SystemData), Bytes{8, 0, 0, 0, 0, 0, 0, 0}}));
  Bytes oldVersion = good;
  oldVersion[4] = 0x01;
  oldVersion[5] = 0x00;

  const BadFile cases[] = {
      {"the file as written", good, true},
      {"zeros behind the stream, up to the stream buffer", resized(good, 4 + 639696), true},
      {"one byte more than the stream buffer holds", resized(good, 4 + 639697), false},
      {"a system save under a slot's name", system, false},
      {"an empty file", {}, false},
      {"part of the header", resized(good, 7), false},
      {"the header alone", resized(good, 8), false},
      {"version word 0x0001", oldVersion, false},
      {"raw data one byte short", SlotImage(resized(raw, kSlotRawSize - 1)), false},
      {"raw data one byte long", SlotImage(resized(raw, kSlotRawSize + 1)), false},
      {"extra size 40,201", SlotImage(rawWith(119720, Le32(40201))), false},
      {"extra size 0xFFFFFFFF", SlotImage(rawWith(119720, Le32(0xFFFFFFFF))), false},
      {"the stream cut in half", resized(good, 8 + (good.size() - 8) / 2), false},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.what);
    Write("QM05.sav", c.image);

    auto intoCurrent = std::make_unique<TGameState>();
    auto intoSecond = std::make_unique<TGameState>();
    FillGameState(*intoCurrent, 50);
    const Bytes currentBefore = BytesOf(*intoCurrent);
    const Bytes secondBefore = BytesOf(*intoSecond);
    Bytes extra(40200, 0xEE);
    std::uint32_t extraSize = 12345;
    EXPECT_EQ(LoadSlotData(5, intoCurrent.get(), intoSecond.get(), extra.data(), &extraSize), c.loads);
    if (c.loads) {
      EXPECT_EQ(BytesOf(*intoCurrent), BytesOf(*current));
      EXPECT_EQ(BytesOf(*intoSecond), BytesOf(*second));
      EXPECT_EQ(extraSize, 100u);
      EXPECT_EQ(Bytes(extra.begin(), extra.begin() + 100), thumbnail);
    } else {
      EXPECT_EQ(BytesOf(*intoCurrent), currentBefore);
      EXPECT_EQ(BytesOf(*intoSecond), secondBefore);
      EXPECT_EQ(extraSize, 12345u);
      EXPECT_EQ(extra, Bytes(40200, 0xEE));
    }

    FillGameState(GameState, 60);
    FillGameState(SceneStartState, 61);
    const LiveRecords before;
    EXPECT_EQ(LoadSlotToState(5), c.loads);
    if (!c.loads) {
      EXPECT_TRUE(LiveRecords() == before);
    }
  }
}

// The stored log goes through the log's own Load: a damaged log keeps what can be walked, the record is still
// taken, and the file is kept aside before the next save replaces it.
TEST_F(SaveFiles, ADamagedLogKeepsTheRecordAndTheFile) {
  FillSystemData(SystemData, 21);
  const Bytes record = BytesOf(SystemData);
  FillLog(ReadMesTable, 2, 10);
  const Bytes log = LogBytes(ReadMesTable);  // two blocks of 5 ranges: 8 + 2 x 32 bytes
  ASSERT_EQ(log.size(), 72u);
  auto damaged = [&](std::size_t offset, std::uint32_t value) {
    Bytes bytes = log;
    Poke32(bytes.data(), offset, value);
    return bytes;
  };

  const struct Case {
    const char* what;
    Bytes storedLog;
    std::uint32_t usedAfter;  // 0: the log as it was before the load
  } cases[] = {
      {"no log at all", {}, 0},
      {"a log of the whole buffer", Bytes(TReadMesTable::kBufferSize, 0), 0},
      {"a used size beyond what is stored", damaged(0, 200000), 72},
      {"a second block running past the end", damaged(40, 1000), 40},
      {"more blocks counted than stored", damaged(4, 3), 72},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Path("QMSys.sav.bad"));
    const Bytes file = SystemImage(Concat({record, c.storedLog}));
    Write("QMSys.sav", file);
    SystemData = TSystemData();
    FillLog(ReadMesTable, 1, 4);
    const Bytes logBefore = LogBytes(ReadMesTable);

    ASSERT_TRUE(LoadSystemData());
    EXPECT_EQ(BytesOf(SystemData), record);
    if (c.usedAfter == 0) {
      EXPECT_EQ(LogBytes(ReadMesTable), logBefore);
    } else {
      EXPECT_EQ(ReadMesTable.GetUsedSize(), c.usedAfter);
      EXPECT_TRUE(ReadMesTable.IsRead(1));  // the first block survives
    }

    ASSERT_TRUE(SaveSystemData());
    EXPECT_EQ(Read("QMSys.sav.bad"), file);
    ResetRecords();
    ASSERT_TRUE(LoadSystemData());
    EXPECT_EQ(BytesOf(SystemData), record);
  }
}

// ---- The system save that did not load is not overwritten

TEST_F(SaveFiles, ARefusedSystemSaveIsKeptAsideBeforeTheFirstNewSave) {
  const Bytes bad = {'Q', 'M', 'V', 'N', 0, 1, 0, 0, 0xA8, 0x34, 0, 0, 1, 2, 3};
  Write("QMSys.sav", bad);
  EXPECT_FALSE(LoadSystemData());
  EXPECT_EQ(Read("QMSys.sav"), bad);  // loading alone changes no file

  FillSystemData(SystemData, 1);
  ASSERT_TRUE(SaveSystemData());
  EXPECT_EQ(Read("QMSys.sav.bad"), bad);
  const LiveRecords first;
  ASSERT_TRUE(SaveSystemData());  // only the first save after the load moves it
  EXPECT_EQ(Read("QMSys.sav.bad"), bad);
  ResetRecords();
  ASSERT_TRUE(LoadSystemData());
  EXPECT_EQ(LiveRecords().system, first.system);
  EXPECT_EQ(Entries(), (std::set<std::string>{"QMSys.sav", "QMSys.sav.bad"}));

  // A good load forgets an earlier refusal; a missing file is no refusal.
  Write("QMSys.sav", bad);
  EXPECT_FALSE(LoadSystemData());
  ASSERT_TRUE(SaveSystemData());
  std::filesystem::remove(Path("QMSys.sav.bad"));
  ASSERT_TRUE(LoadSystemData());
  ASSERT_TRUE(SaveSystemData());
  std::filesystem::remove(Path("QMSys.sav"));
  EXPECT_FALSE(LoadSystemData());
  ASSERT_TRUE(SaveSystemData());
  EXPECT_FALSE(Exists("QMSys.sav.bad"));
}

TEST_F(SaveFiles, ARefusedSystemSaveThatCannotBeMovedIsNotOverwritten) {
  const Bytes bad = {'n', 'o', 't', ' ', 'a', ' ', 's', 'a', 'v', 'e'};
  Write("QMSys.sav", bad);
  std::filesystem::create_directories(Path("QMSys.sav.bad/in-the-way"));
  EXPECT_FALSE(LoadSystemData());
  EXPECT_FALSE(SaveSystemData());
  EXPECT_EQ(Read("QMSys.sav"), bad);

  // Once the way is clear the next save keeps it aside.
  std::filesystem::remove_all(Path("QMSys.sav.bad"));
  ASSERT_TRUE(SaveSystemData());
  EXPECT_EQ(Read("QMSys.sav.bad"), bad);

  // A refused file that went away meanwhile is simply replaced.
  Write("QMSys.sav", bad);
  EXPECT_FALSE(LoadSystemData());
  std::filesystem::remove(Path("QMSys.sav"));
  std::filesystem::remove(Path("QMSys.sav.bad"));
  ASSERT_TRUE(SaveSystemData());
  EXPECT_EQ(Entries(), std::set<std::string>{"QMSys.sav"});
}

// ---- Writing

TEST_F(SaveFiles, AFailedWriteKeepsThePreviousFileAndLeavesNoTemporary) {
  FillSystemData(SystemData, 1);
  FillLog(ReadMesTable, 30, 300);
  FillGameState(GameState, 1);
  const Bytes thumbnail = Thumbnail(40200, 9);
  ASSERT_TRUE(SaveSystemData());
  ASSERT_TRUE(SaveSlotStateEx(0, thumbnail.data(), 40200));
  const Bytes system = Read("QMSys.sav");
  const Bytes quick = Read("QM00.sav");

  FillSystemData(SystemData, 2);
  FillGameState(GameState, 2);
  {
    // A real write failure: the kernel refuses bytes past the file-size limit.
    ScopedFileSizeLimit limit(64);
    EXPECT_FALSE(SaveSystemData());
    EXPECT_FALSE(SaveSlotStateEx(0, thumbnail.data(), 40200));
    EXPECT_FALSE(SaveSlotState(1));
  }
  EXPECT_EQ(Read("QMSys.sav"), system);
  EXPECT_EQ(Read("QM00.sav"), quick);
  EXPECT_EQ(Entries(), (std::set<std::string>{"QM00.sav", "QMSys.sav"}));

  // A save folder that cannot hold files.
  std::filesystem::remove_all(Folder());
  std::filesystem::create_directories(home.str() + "/BELVAR");
  std::ofstream(Folder().substr(0, Folder().size() - 1)) << "a file where the folder should be";
  EXPECT_FALSE(SaveSystemData());
  EXPECT_FALSE(SaveSlotState(1));
}

TEST_F(SaveFiles, RefusedSlotArgumentsWriteNothing) {
  FillGameState(GameState, 3);
  ASSERT_TRUE(SaveSlotState(4));
  const Bytes before = Read("QM04.sav");
  const Bytes big(40201, 1);
  TGameState* none = nullptr;

  EXPECT_FALSE(SaveSlotStateEx(4, big.data(), 40201));
  EXPECT_FALSE(SaveSlotStateEx(4, nullptr, 1));  // a size without a block
  EXPECT_FALSE(SaveSlotData(4, none, &SceneStartState, nullptr, 0));
  EXPECT_FALSE(SaveSlotData(4, &GameState, none, nullptr, 0));
  EXPECT_FALSE(SaveSlotState(-1));
  EXPECT_FALSE(LoadSlotToState(-1));
  EXPECT_FALSE(SaveSlotStateEx(6, big.data(), 40201));
  EXPECT_EQ(Read("QM04.sav"), before);
  EXPECT_EQ(Entries(), std::set<std::string>{"QM04.sav"});

  EXPECT_TRUE(SaveSlotStateEx(4, nullptr, 0));
  EXPECT_TRUE(SaveSlotStateEx(4, big.data(), 40200));
}

// ---- Killed while saving

namespace {

// What a generation of the crash test writes: one file each, by generation mod 3, content fixed by the number.
constexpr int kCrashFiles = 3;
const char* const kCrashFileNames[kCrashFiles] = {"QMSys.sav", "QM00.sav", "QM07.sav"};

void MakeSystemGeneration(std::uint32_t g) {
  FillSystemData(SystemData, static_cast<int>(g));
  FillLog(ReadMesTable, 1 + static_cast<int>(g % 40), 2 + static_cast<int>(g % 300));
}

// The quick save carries a thumbnail of a size that changes with the generation; the other slot none.
Bytes CrashExtra(std::uint32_t g) {
  return g % 3 == 1 ? Thumbnail((g * 7919u) % 40201u, static_cast<int>(g)) : Bytes();
}

void MakeSlotGeneration(std::uint32_t g, TGameState& current, TGameState& second) {
  FillGameState(current, static_cast<int>(g));
  FillGameState(second, static_cast<int>(g) + 1000000);
}

bool SaveGeneration(std::uint32_t g) {
  if (g % 3 == 0) {
    MakeSystemGeneration(g);
    return SaveSystemData();
  }
  MakeSlotGeneration(g, GameState, SceneStartState);
  const Bytes extra = CrashExtra(g);
  return SaveSlotData(g % 3 == 1 ? 0 : 7, &GameState, &SceneStartState, extra.data(),
                      static_cast<std::uint32_t>(extra.size()));
}

// The generation a file holds, when it loads and holds exactly what that generation wrote.
std::optional<std::uint32_t> LoadGeneration(int file) {
  if (file == 0) {
    if (!LoadSystemData()) return std::nullopt;
    const Bytes loaded = Concat({BytesOf(SystemData), LogBytes(ReadMesTable)});
    const auto g = static_cast<std::uint32_t>(SystemData.GetVar(0));
    MakeSystemGeneration(g);
    if (loaded != Concat({BytesOf(SystemData), LogBytes(ReadMesTable)})) return std::nullopt;
    return g;
  }
  auto current = std::make_unique<TGameState>();
  auto second = std::make_unique<TGameState>();
  Bytes extra(kSlotExtraMax);
  std::uint32_t extraSize = 0;
  if (!LoadSlotData(file == 1 ? 0 : 7, current.get(), second.get(), extra.data(), &extraSize)) return std::nullopt;
  const auto g = static_cast<std::uint32_t>(current->GetVar(0));
  auto wantCurrent = std::make_unique<TGameState>();
  auto wantSecond = std::make_unique<TGameState>();
  MakeSlotGeneration(g, *wantCurrent, *wantSecond);
  extra.resize(extraSize);
  if (BytesOf(*current) != BytesOf(*wantCurrent) || BytesOf(*second) != BytesOf(*wantSecond) ||
      extra != CrashExtra(g))
    return std::nullopt;
  return g;
}

// The child: saves generation after generation, telling the parent before and after each ('S' or 'D', then the
// generation). It never stops by itself before the parent kills it.
[[noreturn]] void SaveForever(int pipe, std::uint32_t first) {
  for (std::uint32_t g = first; g < first + 10000; ++g) {
    std::uint8_t note[5] = {'S'};
    VXPutLE32(note + 1, g);
    if (write(pipe, note, 5) != 5) _exit(3);
    if (!SaveGeneration(g)) _exit(2);
    note[0] = 'D';
    if (write(pipe, note, 5) != 5) _exit(3);
  }
  _exit(0);
}

}  // namespace

// A child process saves the system record and two slots in a loop and is killed at random moments. After every
// kill each file loads and holds what the save before wrote or what the interrupted save was writing, whole. The
// kill points come from a fixed seed: how many saves to let start, then a delay into the last of them, a fraction
// of a save's time. Where exactly a kill lands depends on the machine; the verdict does not.
TEST_F(SaveFiles, KilledSavesLeaveTheOldOrTheNewFile) {
  constexpr int kKills = 240;
  std::mt19937 random(20240611);
  // The first saves give every file its first content and measure how long a save takes here, so that the kill
  // delays, drawn as fractions of that, spread over whole saves on a fast machine and on a slow one alike.
  std::uint32_t done[kCrashFiles];
  const auto start = std::chrono::steady_clock::now();
  constexpr std::uint32_t kFirstSaves = 2 * kCrashFiles;
  for (std::uint32_t g = 0; g < kFirstSaves; ++g) {
    ASSERT_TRUE(SaveGeneration(g));
    done[g % 3] = g;
  }
  const auto perSave = (std::chrono::steady_clock::now() - start) / kFirstSaves;
  std::uint32_t next = kFirstSaves;
  int interrupted = 0;   // kills that fell between a save's start and its end
  int temporaries = 0;   // kills that left a temporary file behind

  for (int kill = 0; kill < kKills; ++kill) {
    const int startsBeforeKill = 1 + static_cast<int>(random() % 3);
    const auto delay = perSave * static_cast<int>(random() % 1200) / 1000;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      SaveForever(fds[1], next);
    }
    close(fds[1]);

    // Notes until the chosen start, then the delay, then the kill; the rest of the notes after it.
    std::map<std::uint32_t, bool> saves;  // generation -> finished
    int starts = 0;
    auto readNote = [&]() {
      std::uint8_t note[5];
      std::size_t got = 0;
      while (got < 5) {
        const ssize_t n = read(fds[0], note + got, 5 - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
      }
      const std::uint32_t g = VXGetLE32(note + 1);
      if (note[0] == 'S') ++starts;
      saves[g] = note[0] == 'D';
      return true;
    };
    bool childAlive = true;
    while (starts < startsBeforeKill && childAlive) childAlive = readNote();
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    while (readNote()) {
    }
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended by itself: " << status;

    // The verdict: every file holds its last finished generation or the one being written, whole.
    std::optional<std::uint32_t> pending[kCrashFiles];
    for (const auto& [g, finished] : saves) {
      if (finished) done[g % 3] = g;
      else pending[g % 3] = g, ++interrupted;
      next = std::max(next, g + 1);
    }
    for (int f = 0; f < kCrashFiles; ++f) {
      const std::optional<std::uint32_t> held = LoadGeneration(f);
      ASSERT_TRUE(held.has_value()) << kCrashFileNames[f] << " does not load whole after kill " << kill;
      ASSERT_TRUE(*held == done[f] || (pending[f] && *held == *pending[f]))
          << kCrashFileNames[f] << " holds generation " << *held << " after kill " << kill << "; finished "
          << done[f];
      done[f] = *held;
    }
    for (const std::string& name : Entries()) {
      if (name.front() != '.') continue;  // a temporary that the kill left behind
      ++temporaries;
      std::filesystem::remove(Path(name));
    }
    ASSERT_EQ(Entries().size(), static_cast<std::size_t>(kCrashFiles));
  }
  std::cout << kKills << " kills after " << next << " saves begun; " << interrupted
            << " fell inside a save, " << temporaries << " left a temporary file\n";
  RecordProperty("interrupted", interrupted);
}
