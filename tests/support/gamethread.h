// The game thread's title loop in the real game window (tests/support/gamewindow.h), with fake screens for the
// units and screens of higher layers. The test plays the player: it waits until the loop waits on a screen, then
// clicks; the fake screens are plain one-colour panels that answer a click with the code the test set, and the
// fake music game answers its first frame with the result the test set. What the fakes saw goes to a journal.
//
//   LoopWindow l(QORM_DEMO_GAME_DIR);
//   ASSERT_TRUE(l.Start());
//   ASSERT_TRUE(l.AtTitle(1));      // the first title screen waits for a choice
//   l.Choose(tcAlbum);
//   ASSERT_TRUE(l.Showing("AlbumPanel"));
//   l.ClickOn("ExitBtn");
//   ASSERT_TRUE(l.AtTitle(2));
//   l.Choose(tcExit);
//   ASSERT_TRUE(l.Finish());
//
// Looking at the game while it runs. The game thread changes the panel tree in its logic (under the game lock) and
// in the frames it steps inside its waits (under the frame lock only), so a test looks only between frames:
//
//   const bool shown = l.Read([&] { return l.Find("DlgWin") != nullptr; });   // any value comes back
//   const auto px = l.Read([&] { return l.w.Pixel(320, 20); });               // the picture of the same moment
//
// Read runs its function on the test thread under both locks (TGameForm::BetweenFrames); Find, Has, Showing and
// ClickOn read through it. Inside it do not click, step frames or wait: the game thread stands still until it
// returns.
//
// Label: threads (every test that uses it starts the game thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "device/zodsound.h"
#include "graphics/zorgbbits.h"
#include "platform/audio.h"
#include "graphics/zorgbpanel.h"
#include "shell/gameeffect.h"
#include "shell/gamef.h"
#include "shell/gamet.h"
#include "shell/maint.h"
#include "support/gamewindow.h"
#include "support/paneltree.h"
#include "support/waitfor.h"

namespace gamethread {

// What the fakes did, in order (the game thread writes, the test reads).
class Journal {
public:
  void Add(const std::string& entry) {
    std::lock_guard guard(lock_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard guard(lock_);
    return entries_;
  }
  int Count(const std::string& entry) const {
    std::lock_guard guard(lock_);
    int n = 0;
    for (const auto& e : entries_) n += e == entry ? 1 : 0;
    return n;
  }
  // The entries joined by spaces.
  std::string Text() const {
    std::string s;
    for (const auto& e : Entries()) s += (s.empty() ? "" : " ") + e;
    return s;
  }

private:
  mutable std::mutex lock_;
  std::vector<std::string> entries_;
};

// A full-screen panel in one colour, named `name`; a press on it notifies the game thread of `code()`.
class ColourScreen {
public:
  ColourScreen(const char* name, std::uint32_t rgb, std::function<int()> code) : panel_(nullptr) {
    bits_ = CreateScreenBits();
    bits_->BoxFill(0, 0, TGameForm::kWidth - 1, TGameForm::kHeight - 1, bits_->TZoRGBtoPixel(VXRGB(rgb)));
    panel_.SetAutoSize(false);
    panel_.SetSizeX(TGameForm::kWidth);
    panel_.SetSizeY(TGameForm::kHeight);
    panel_.SetImage(bits_);
    panel_.SetName(name);
    panel_.OnMouseDown = [code](Classes::TComponent*, TMouseButton, TShiftState, int, int) {
      NotifyMainThread(code());
    };
    panel_.Create();
  }
  ~ColourScreen() {
    panel_.SetParent(nullptr);
    DeleteScreenBits(bits_);
  }
  TZoRGBPanel* Panel() { return &panel_; }

private:
  TZoRGBBits* bits_ = nullptr;
  TZoRGBPanel panel_;
};

inline constexpr std::uint32_t kTitleColour = 0x2040C0;
inline constexpr std::uint32_t kSelectColour = 0x20A040;
inline constexpr std::uint32_t kNameColour = 0xA0A020;
inline constexpr std::uint32_t kScoresColour = 0x602080;
inline constexpr std::uint32_t kMusicColour = 0x803010;

// What the fakes answer; set by the test before the step that needs it.
struct Script {
  std::atomic<int> choice{0};        // the title's answer to a click
  std::atomic<int> titleIdles{0};    // title waits begun
  std::atomic<int> select{0};        // the song select's answer to a click
  TSongID song{'Q', 'M', '0', '1'};  // the song it selects (set before the game starts)
  std::atomic<int> musicResult{0};   // the music game's result
  std::atomic<int> score{0};
  std::atomic<int> gauge{0};
  std::atomic<bool> musicOpens{true};
  std::atomic<bool> titleOpens{true};
  std::atomic<bool> nameAsked{true};  // the name entry's answer to SetScore
  std::function<void()> onTitleInit;  // runs on the game thread inside the first title's Init
  Journal journal;
  std::vector<TMusicOptions> musicOptions;  // game thread while it runs; read after it ended
};

class FakeTitle final : public TTitleScreen {
public:
  explicit FakeTitle(Script& s) : s_(s), screen_("TitlePanel", kTitleColour, [&s] { return s.choice.load(); }) {}
  bool Init() override {
    s_.journal.Add("title");
    if (s_.onTitleInit) std::exchange(s_.onTitleInit, {})();
    return s_.titleOpens.load();
  }
  void Prepare() override {}
  void StartIdle() override { ++s_.titleIdles; }
  void StopIdle() override {}
  void Release() override { s_.journal.Add("title release"); }
  TZoRGBPanel* GetPanel() override { return screen_.Panel(); }

private:
  Script& s_;
  ColourScreen screen_;
};

class FakeSongSelect final : public TSongSelectScreen {
public:
  explicit FakeSongSelect(Script& s) : s_(s), screen_("SelectPanel", kSelectColour, [&s] { return s.select.load(); }) {}
  bool Open() override {
    s_.journal.Add("select");
    return true;
  }
  bool Refresh() override { return true; }
  void Close() override { s_.journal.Add("select close"); }
  TZoRGBPanel* GetPanel() override { return screen_.Panel(); }
  TSongID GetSelectedSong() override { return s_.song; }

private:
  Script& s_;
  ColourScreen screen_;
};

class FakeNameEntry final : public TNameEntryScreen {
public:
  explicit FakeNameEntry(Script& s) : s_(s), screen_("NamePanel", kNameColour, [] { return 0; }) {}
  bool Open() override { return true; }
  bool SetScore(int score) override {
    s_.journal.Add("name " + std::to_string(score));
    return s_.nameAsked.load();
  }
  VXString GetName() override { return "ABC"; }
  void Close() override {}
  TZoRGBPanel* GetPanel() override { return screen_.Panel(); }

private:
  Script& s_;
  ColourScreen screen_;
};

class FakeSongScore final : public TSongScoreScreen {
public:
  explicit FakeSongScore(Script& s) : s_(s), screen_("ScorePanel", kScoresColour, [] { return 0; }) {}
  bool Open() override { return true; }
  bool SetLevel(int level) override {
    s_.journal.Add("scores " + std::to_string(level));
    return true;
  }
  void Close() override { s_.journal.Add("scores close"); }
  TZoRGBPanel* GetPanel() override { return screen_.Panel(); }

private:
  Script& s_;
  ColourScreen screen_;
};

// Answers its first input frame with the script's result.
class FakeMusic final : public TMusicPlay {
public:
  explicit FakeMusic(Script& s) : s_(s), screen_("MusicPanel", kMusicColour, [] { return 0; }) {}
  void SetOptions(const TMusicOptions& options) override { s_.musicOptions.push_back(options); }
  bool Open(TSongID song) override {
    s_.journal.Add("music " + std::string(song.data(), 4));
    return s_.musicOpens.load();
  }
  TZoRGBPanel* GetPanel() override { return screen_.Panel(); }
  TFrameInputHook GetInputProc() override {
    return VXCallback2<FakeMusic, void, int, TDInputUnit*>(this, &FakeMusic::Input);
  }
  void Start() override {}
  void Stop() override {}
  void Close() override { s_.journal.Add("music close"); }
  int GetGauge() override { return s_.gauge.load(); }
  int GetScore() override { return s_.score.load(); }
  std::uint32_t GetCheckValue() override { return 0x00FFFFFFu - static_cast<std::uint32_t>(s_.score.load()); }

private:
  void Input(int, TDInputUnit*) {
    if (answered_) return;
    answered_ = true;
    NotifyMainThread(s_.musicResult.load());
  }
  Script& s_;
  ColourScreen screen_;
  bool answered_ = false;
};

inline TFrontScreens FakeScreens(Script& s) {
  TFrontScreens screens;
  screens.title = [&s](TGameForm&) { return std::make_unique<FakeTitle>(s); };
  screens.songSelect = [&s](TGameForm&) { return std::make_unique<FakeSongSelect>(s); };
  screens.nameEntry = [&s](TGameForm&) { return std::make_unique<FakeNameEntry>(s); };
  screens.songScore = [&s](TGameForm&) { return std::make_unique<FakeSongScore>(s); };
  return screens;
}

inline TGameUnits FakeUnits(Script& s) {
  TGameUnits units;
  units.music = [&s](TGameForm&) { return std::make_unique<FakeMusic>(s); };
  return units;
}

class LoopWindow {
public:
  static constexpr int kStepMs = 5;

  // The game folder (empty: the window's own temporary one); units and screens: the fakes, changed by `wire`.
  explicit LoopWindow(const std::string& folder = {}) : LoopWindow(folder, nullptr) {}
  LoopWindow(const std::string& folder, std::function<void(TGameUnits&, TFrontScreens&, Script&)> wire)
      : w(Options(std::move(wire))) {
    if (!folder.empty()) w.setup.gameFolder = folder;
  }

  bool Start() { return w.Start(); }

  // Moves the clock and the sound output in small steps, running the main thread's turns, until `done`; false
  // after five minutes. The presented frames are counted and dropped on the way (GameWindow::Presented), so that a
  // long play keeps no more than a frame's worth of pictures.
  template <class Done>
  bool Until(Done done) {
    return WaitFor([&] {
      w.RunMain();
      w.Presented();
      if (done()) return true;
      w.clock.AdvanceMs(kStepMs);
      if (DirectX::TDSound* sound = w.form->GetSound())
        if (platform::audio::ManualSink* sink = sound->GetManualSink()) sink->Pump(44100 * kStepMs / 1000);
      return false;
    });
  }

  // Lets `samples` more of the sound be heard between two frames, then moves the clock until a frame has seen it
  // (the music game follows the song as it is heard); false after five minutes.
  bool Hear(int samples) {
    int done = 0;
    Read([&] {
      if (DirectX::TDSound* sound = w.form->GetSound())
        if (platform::audio::ManualSink* sink = sound->GetManualSink()) sink->Pump(samples);
      done = w.form->GetFramesDone();
    });
    return WaitFor([&] {
      w.RunMain();
      w.Presented();
      if (w.form->GetFramesDone() > done) return true;
      w.clock.AdvanceMs(35);
      return false;
    });
  }

  // Runs `read` between two frames (see the top of this file) and gives what it returns.
  template <class Reader>
  auto Read(Reader read) -> decltype(read()) {
    if constexpr (std::is_void_v<decltype(read())>) {
      w.form->BetweenFrames([&] { read(); });
    } else {
      std::optional<decltype(read())> result;
      w.form->BetweenFrames([&] { result.emplace(read()); });
      return std::move(*result);
    }
  }
  // The panel of that name in the tree under the root, first in depth order; null when none. Only inside Read.
  TZoRGBPanel* Find(const std::string& name) const { return Find(w.form->GetRootPanel(), name); }
  // The panel of that name (the first in depth order) is shown now: it and every panel above it up to the root
  // are visible.
  bool Has(const std::string& name) {
    return Read([&] {
      const TZoRGBPanel* p = Find(name);
      const TZoRGBPanel* root = w.form->GetRootPanel();
      for (; p != nullptr && p != root; p = p->GetParent())
        if (!p->GetVisible()) return false;
      return p == root;
    });
  }

  // The title's n-th wait for a choice has begun.
  bool AtTitle(int n) {
    return Until([&] { return s.titleIdles.load() >= n && w.form->GetState() == 3 && Showing0("TitlePanel"); });
  }
  void Choose(int choice) {
    s.choice = choice;
    w.Click(320, 240);
  }
  // A panel of that name hangs under the root and the game thread waits for the player on it: the window shows
  // panels (state 3) and no result is pending. Attached and shown alone is not enough: a screen is attached before
  // the transition to it, and a click in the transition is lost.
  bool Showing(const std::string& name) {
    return Until([&] {
      return Read([&] { return w.form->GetState() == 3 && !w.form->IsResultPending() && Hangs(name); });
    });
  }
  // Clicks the middle of the named panel of the tree.
  void ClickOn(const std::string& name) { ClickOn(name, -1, -1); }
  // Clicks the point (x, y) of the named panel (-1: its middle).
  void ClickOn(const std::string& name, int x, int y) {
    const auto [sx, sy] = ScreenPoint(name, x, y);
    ASSERT_GE(sx, 0) << name << " is not shown";
    w.Click(sx, sy);
  }
  // Moves the pointer onto the middle of the named panel.
  void HoverOn(const std::string& name) {
    const auto [sx, sy] = ScreenPoint(name, -1, -1);
    ASSERT_GE(sx, 0) << name << " is not shown";
    w.MoveTo(sx, sy);
  }
  // The window's component of that class (the screens and units the game thread made); null when none. Only
  // inside Read.
  template <class T>
  T* Component() const {
    return FindComponent<T>(*w.form);
  }
  // A panel of that name hangs right under the root. Only inside Read.
  bool Hangs(const std::string& name) const {
    bool shown = false;
    if (TZoRGBPanel* root = w.form->GetRootPanel())
      for (int i = 0; i < root->GetChildCount(); ++i) shown = shown || root->GetChild(i)->GetName() == name;
    return shown;
  }
  // The thread has ended (and the window closed as it asked).
  bool Finish() {
    const bool ended = Until([&] {
      const Classes::TThread* t = w.form->GetGameThread();
      return t == nullptr || t->IsFinished();
    });
    w.RunMain();
    return ended;
  }
  // Ends the game from outside (the session ending) and waits for the thread.
  bool End() {
    w.form->RequestQuit(false);
    return Finish();
  }

  std::string SaveFolder() const { return w.save.str() + "/BELVAR/QORM"; }

  Script s;
  gamewindow::GameWindow w;

private:
  gamewindow::GameWindow::Options Options(std::function<void(TGameUnits&, TFrontScreens&, Script&)> wire) {
    gamewindow::GameWindow::Options o;
    o.gameThread = [this, wire = std::move(wire)](TGameForm& form) {
      TGameUnits units = FakeUnits(s);
      TFrontScreens screens = FakeScreens(s);
      if (wire) wire(units, screens, s);
      return std::make_unique<TGameThread>(form, std::move(units), std::move(screens));
    };
    return o;
  }
  static TZoRGBPanel* Find(TZoRGBPanel* p, const std::string& name) { return FindPanel(p, name); }
  // Where the point (x, y) of the named panel (-1: its middle) is on the screen; -1, -1 when no such panel is in
  // the tree.
  std::pair<int, int> ScreenPoint(const std::string& name, int x, int y) {
    int sx = -1, sy = -1;
    Read([&] {
      if (TZoRGBPanel* p = Find(name)) {
        sx = x >= 0 ? x : p->GetSizeX() / 2, sy = y >= 0 ? y : p->GetSizeY() / 2;
        p->ClientToScreen(sx, sy);
      }
    });
    return {sx, sy};
  }
  bool Showing0(const std::string& name) {
    return Read([&] { return Hangs(name); });
  }
};

}  // namespace gamethread
