// The program's own wiring (scenario/gamewire) in the game window of support/gamethread.h: the real units and
// screens, the real title counting its waits for the test, and the adventure looked at and pressed between frames.
//
//   LoopWindow g(QORM_DEMO_GAME_DIR, wiredgame::Wire);
//   ASSERT_TRUE(g.Start());
//   ASSERT_TRUE(wiredgame::AtTitle(g, 1));
//   g.ClickOn("BtnStart");
//   ASSERT_TRUE(g.Until([&] { return g.Read([&] { return wiredgame::Adventure(g) != nullptr; }); }));
//   wiredgame::PressWindowButton(g, &TSubWinUnit::MesSave);   // the quick save
//
// Label: threads (every test that uses it starts the game thread).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "platform/text.h"
#include "scenario/avgu.h"
#include "scenario/gamewire.h"
#include "scenario/subwinu.h"
#include "support/gamethread.h"

namespace wiredgame {

// The program's own title: it runs the script's onTitleInit in its first Init, journals "title" and counts its waits
// for a choice in the script's titleIdles.
class CountedTitle final : public TTitleScreen {
public:
  CountedTitle(std::unique_ptr<TTitleScreen> title, gamethread::Script& s) : title_(std::move(title)), s_(s) {}
  bool Init() override {
    if (s_.onTitleInit) std::exchange(s_.onTitleInit, {})();
    s_.journal.Add("title");
    return title_->Init();
  }
  void Prepare() override { title_->Prepare(); }
  void StartIdle() override {
    title_->StartIdle();
    ++s_.titleIdles;
  }
  void StopIdle() override { title_->StopIdle(); }
  void Release() override { title_->Release(); }
  TZoRGBPanel* GetPanel() override { return title_->GetPanel(); }

private:
  std::unique_ptr<TTitleScreen> title_;
  gamethread::Script& s_;
};

// The wiring for LoopWindow: what the program makes, the title counted.
inline void Wire(TGameUnits& units, TFrontScreens& screens, gamethread::Script& s) {
  units = MakeGameUnits();
  screens = MakeFrontScreens();
  screens.title = [make = screens.title, &s](TGameForm& form) -> std::unique_ptr<TTitleScreen> {
    std::unique_ptr<TTitleScreen> title = make(form);
    if (!title) return nullptr;
    return std::make_unique<CountedTitle>(std::move(title), s);
  };
}

// The title's n-th wait for a choice has begun, on the screen. The player clicks the opening movie away (in a corner,
// clear of the title's buttons).
inline bool AtTitle(gamethread::LoopWindow& l, int n) {
  return l.Until([&] {
    if (l.Read([&] { return l.Find("MoviePanel") != nullptr; })) l.w.Click(4, 4);
    return l.s.titleIdles.load() >= n && l.w.form->GetState() == 3;
  }) && l.Showing("TitleMenuPanel");
}

// The adventure host whose panel is in the tree; null while none is. Only inside LoopWindow::Read.
inline TAvgUnit* Adventure(const gamethread::LoopWindow& l) {
  const TZoRGBPanel* panel = l.Find("AvgPanel");
  return panel != nullptr ? dynamic_cast<TAvgUnit*>(panel->GetOwner()) : nullptr;
}

// Presses a button of the message window, hidden ones too (the quick save MesSave, the quick load MesLoad).
inline void PressWindowButton(gamethread::LoopWindow& l, TZoRGBBtn* TSubWinUnit::*button) {
  const bool pressed = l.Read([&] {
    TAvgUnit* host = Adventure(l);
    if (host == nullptr) return false;
    host->Windows().MesBtnClick(host->Windows().*button);
    return true;
  });
  ASSERT_TRUE(pressed) << "the adventure is not shown";
}

// A text of the game (Shift-JIS) in UTF-8.
inline std::string Utf8(const VXString& s) {
  return platform::text::Cp932ToUtf8({s.c_str(), static_cast<std::size_t>(s.Length())});
}

// One of the lines holds the text.
inline bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

}  // namespace wiredgame
