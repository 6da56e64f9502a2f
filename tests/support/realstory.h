// The demo story played in the real program (support/realgame.h): what the adventure shows, reading on with clicks
// and Enter, and the play-through from the title's Start through the first choices and the first song to a save
// and a quit, and back from the title's Load.
//
// Each step waits for the state it needs (the patience of realgame.h); a step that does not come about is kept as
// the player's failure, which ends the game.
#pragma once

#include <SDL_mouse.h>
#include <SDL_scancode.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "scenario/avgu.h"
#include "scenario/subwinu.h"
#include "shell/gamestate.h"
#include "support/realgame.h"

namespace realstory {

// Words of the demo story.
inline constexpr const char* kFirstWords = "おはよう";      // the first message
inline constexpr const char* kSongVerdict = "演奏の評価";  // told after every song of the story
inline constexpr const char* kTogether = "音が重なった瞬間";  // after the first song, rated three stars or more
inline constexpr const char* kRough = "音はばらばらで";       // after a weaker one

// The reader's settings for the play-through: the story's songs play by themselves (which also starts the reading
// in its automatic mode), and messages appear whole at once (the text speed at its fastest), so that the story
// moves at the pace of its waits, transitions and songs.
inline constexpr const char* kStorySettings = "[Game]\r\nAvgAutoMode=Auto\r\nUserTextSpeed=0\r\n";

// What the adventure shows at one moment.
struct Seen {
  int state = -1;         // the game window's state
  bool present = false;   // an adventure host exists
  bool running = false;
  int step = -1;
  int overlay = -1;
  bool choiceShown = false;
  bool menuIdle = false;  // the right-click menu is shown and idle
  bool movie = false;     // a movie's panel is shown
  int messageNumber = -1;             // the message printing, or an already read one; -1 once a new one is out
  int script = -1;                    // where the script stands: two waits of the story differ here
  int position = -1;
  bool novel = false;                 // the page is the novel window's
  std::vector<std::string> message;  // the lines of the text window in use (message or novel)

  bool operator==(const Seen&) const = default;
  bool Says(const std::string& words) const {
    return std::any_of(message.begin(), message.end(), [&](const std::string& l) { return l.find(words) != l.npos; });
  }
  // A wait for a click with nothing over the story.
  bool AtClick() const { return running && step == TAvgUnit::stClick && overlay == TAvgUnit::ovNone; }
  std::string Describe() const {
    std::string s = "state " + std::to_string(state) + ", step " + std::to_string(step) + ", overlay " +
                    std::to_string(overlay) + ", script " + std::to_string(script) + " at " +
                    std::to_string(position) + (novel ? ", novel" : "") + ", message " + std::to_string(messageNumber);
    for (const std::string& l : message) s += " |" + l;
    return s;
  }
};

inline std::string Utf8(const VXString& s) {
  return platform::text::Cp932ToUtf8({s.c_str(), static_cast<std::size_t>(s.Length())});
}

// The adventure host: the owner of the adventure's panel in the window's tree; null while the panel is not there
// (also while a screen of the story, such as the save screen, stands in its place). Only inside Read.
inline TAvgUnit* Host(const realgame::Player& p) {
  TZoRGBPanel* panel = p.Find("AvgPanel");
  return panel != nullptr ? dynamic_cast<TAvgUnit*>(panel->GetOwner()) : nullptr;
}

// Only inside Read.
inline Seen LookInside(const realgame::Player& p) {
  Seen s;
  s.state = p.Form().GetState();
  s.movie = p.Shown("MoviePanel");
  const TAvgUnit* host = Host(p);
  if (host == nullptr) return s;
  s.present = true;
  TSubWinUnit& w = host->Windows();
  s.running = host->IsRunning();
  s.step = host->GetStep();
  s.overlay = host->GetOverlay();
  s.choiceShown = w.Choice().IsShown();
  s.menuIdle = w.Menu().IsShown() && !w.Menu().IsBusy();
  s.messageNumber = GameState.GetMessageNumber();
  s.script = GameState.GetScriptNumber();
  s.position = GameState.GetScriptPos();
  s.novel = GameState.IsNovelMode();
  const TSubWinUnit::TTextWindow& text = s.novel ? w.Novel() : w.Message();
  for (int i = 0; i < text.GetLineCount(); ++i) s.message.push_back(Utf8(text.GetLineText(i)));
  return s;
}

inline std::optional<Seen> Look(realgame::Player& p) {
  return p.Read([&] { return LookInside(p); });
}

// Waits until what the adventure shows satisfies `done`; the failure tells what it showed last.
template <class Done>
bool UntilSeen(realgame::Player& p, Done done, const std::string& what,
               std::chrono::seconds patience = realgame::kPatience) {
  Seen last;
  const auto look = [&] {
    last = LookInside(p);
    return done(last);
  };
  if (p.Until(look, what, patience)) return true;
  return p.Fail(p.Failure() + " (last seen: " + last.Describe() + ")");
}

// What a reading saw on its way.
struct Reading {
  int clicks = 0;
  int choices = 0;
  bool musicGame = false;  // the music game's state (4) came
  bool movie = false;      // a movie's panel came
  std::vector<Seen> waits;  // every wait for a click seen, once each
  void Note(const Seen& s) {
    musicGame = musicGame || s.state == 4;
    movie = movie || s.movie;
    if (s.AtClick() && (waits.empty() || !(waits.back() == s))) waits.push_back(s);
  }
  // Some wait for a click showed these words.
  bool Said(const std::string& words) const {
    return std::any_of(waits.begin(), waits.end(), [&](const Seen& s) { return s.Says(words); });
  }
};

// Reads on until `done`: every wait for a click is answered with a click on the scene, every choice with Enter (its
// first answer); after each answer it waits until the adventure shows something else. Between two answers the
// story may take up to `patience` (a song, a movie).
template <class Done>
bool ReadOn(realgame::Player& p, Done done, const std::string& what, Reading& reading,
            std::chrono::seconds patience = realgame::kPatience) {
  auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    const std::optional<Seen> now = Look(p);
    if (!now) return p.Fail("the game ended while reading on to " + what);
    reading.Note(*now);
    if (done(*now)) return true;
    const bool click = now->AtClick();
    const bool choice = now->running && now->step == TAvgUnit::stChoice && now->choiceShown &&
                        now->overlay == TAvgUnit::ovNone;
    if (click || choice) {
      if (click) {
        p.Click(320, 120);
        ++reading.clicks;
      } else {
        p.Key(SDL_SCANCODE_RETURN);
        ++reading.choices;
      }
      if (!UntilSeen(p, [&](const Seen& s) { return !(s == *now); },
                     "the story to answer a " + std::string(click ? "click" : "choice") + " at " + now->Describe()))
        return false;
      deadline = std::chrono::steady_clock::now() + patience;
      continue;
    }
    if (std::chrono::steady_clock::now() > deadline)
      return p.Fail("timed out reading on to " + what + " at " + now->Describe());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Opens the right-click menu over the story and presses its entry `button` ("MenuBtn1" .. "MenuBtn9").
inline bool FromTheMenu(realgame::Player& p, const std::string& button) {
  if (!UntilSeen(p, [](const Seen& s) { return s.AtClick(); }, "a click wait before the menu")) return false;
  p.Click(320, 120, SDL_BUTTON_RIGHT);
  if (!UntilSeen(p, [](const Seen& s) { return s.overlay == TAvgUnit::ovMenu && s.menuIdle; }, "the menu"))
    return false;
  return p.ClickOn(button);
}

// Quits from the story's menu ("ゲーム終了") and answers Yes in the confirmation dialog.
inline bool QuitFromTheStory(realgame::Player& p) {
  if (!FromTheMenu(p, "MenuBtn9")) return false;
  if (!p.Until([&] { return p.Shown("DlgYes"); }, "the confirmation dialog")) return false;
  return p.ClickOn("DlgYes");
}

// Slot `row` (1..10) of the save and load screen chosen, then its save or load button.
inline bool UseSlot(realgame::Player& p, int row, const std::string& button) {
  if (!p.Until([&] { return p.Shown(button); }, "the save screen's " + button)) return false;
  return p.ClickOn("SaveData" + std::to_string(row)) && p.ClickOn(button);
}

// Where play-through (1) saved and what the story showed there.
struct SavedPlace {
  Seen seen;
  Reading reading;
};

// From the first title: Start; the story read through its first choices and the opening movie to the first song,
// which plays by itself (the settings' automatic play in the story); back in the story at the song's verdict,
// saved into slot 1 from the menu's Save, and the save screen closed; then quit from the menu. The save file is
// `saveFile`.
inline bool PlayToTheFirstSongAndSave(realgame::Player& p, const std::filesystem::path& saveFile, SavedPlace& place) {
  if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnStart")) return false;
  if (!ReadOn(p, [](const Seen& s) { return s.AtClick() && s.Says(kFirstWords); }, "the first words",
              place.reading))
    return false;
  // The song is a minute of music: the patience between two answers covers it.
  if (!ReadOn(p, [](const Seen& s) { return s.AtClick() && s.Says(kSongVerdict); }, "the first song's verdict",
              place.reading, std::chrono::seconds(300)))
    return false;
  place.seen = Look(p).value_or(Seen{});
  if (!FromTheMenu(p, "MenuBtn5") || !UseSlot(p, 1, "SaveButton")) return false;
  if (!p.Until([&] { return std::filesystem::exists(saveFile); }, "the save file")) return false;
  // The save screen stays open after a save (its row shows the new save); Close leads back to the story.
  if (!p.ClickOn("CloseButton")) return false;
  if (!UntilSeen(p, [&](const Seen& s) { return s.AtClick() && s.position == place.seen.position; },
                 "the story back at the saved message"))
    return false;
  return QuitFromTheStory(p);
}

// From the first title: Load, slot 1; the story is back where it was saved (a wait for a click with text on its
// page) and reads on from there to the next wait for a click, then quits from the menu. `loaded` is the first wait
// seen, `next` the last; `reading` holds every wait seen. The reading's automatic mode may move on before the first
// click: `next` is then further on.
inline bool LoadAndReadOn(realgame::Player& p, Seen& loaded, Seen& next, Reading* reading = nullptr) {
  if (!p.Showing("TitleMenuPanel") || !p.ClickOn("BtnLoad")) return false;
  if (!p.Showing("SaveMenuWin") || !UseSlot(p, 1, "LoadButton")) return false;
  const auto hasText = [](const Seen& s) {
    return std::any_of(s.message.begin(), s.message.end(), [](const std::string& l) { return !l.empty(); });
  };
  const auto atLoaded = [&](const Seen& s) {
    if (!s.AtClick() || !hasText(s)) return false;
    loaded = s;
    return true;
  };
  if (!UntilSeen(p, atLoaded, "the loaded story")) return false;
  Reading own;
  Reading& read = reading != nullptr ? *reading : own;
  read.Note(loaded);
  if (!ReadOn(p, [&](const Seen& s) { return s.AtClick() && s.position != loaded.position; }, "the next message",
              read))
    return false;
  next = Look(p).value_or(Seen{});
  return QuitFromTheStory(p);
}

}  // namespace realstory
