// Label: threads
#include "platform/mainloop.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

using platform::mainloop::HotKey;
using platform::mainloop::HotKeyFilter;
using platform::mainloop::TaskQueue;

TEST(TaskQueue, RunsTasksInOrderAndKeepsTheOnesPostedMeanwhileForTheNextTurn) {
  TaskQueue q;
  int wakes = 0;
  q.SetWaker([&] { ++wakes; });
  std::string order;
  q.Post([&] { order += 'a'; });
  q.Post([&] {
    order += 'b';
    q.Post([&] { order += 'c'; });
  });
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(q.RunPending(), 2);
  EXPECT_EQ(order, "ab");
  EXPECT_EQ(q.Pending(), 1u);
  EXPECT_EQ(q.RunPending(), 1);
  EXPECT_EQ(order, "abc");
  q.Post([&] { order += 'd'; });
  q.Clear();
  EXPECT_EQ(q.RunPending(), 0);
  EXPECT_EQ(order, "abc");
}

namespace {

SDL_Event KeyEvent(Uint32 type, SDL_Scancode code, Uint16 mod, bool repeat = false) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.scancode = code;
  e.key.keysym.mod = mod;
  e.key.repeat = repeat ? 1 : 0;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  return e;
}

const std::vector<HotKey> kKeys = {{0, SDL_SCANCODE_PRINTSCREEN, false},
                                   {1, SDL_SCANCODE_PRINTSCREEN, true},
                                   {2, SDL_SCANCODE_RETURN, true}};

}  // namespace

TEST(HotKeys, AKeyMatchesWithExactlyItsModifiers) {
  struct Case {
    SDL_Scancode code;
    Uint16 mod;
    int id;
  } cases[] = {
      {SDL_SCANCODE_RETURN, KMOD_LALT, 2},     {SDL_SCANCODE_RETURN, KMOD_RALT, 2},
      {SDL_SCANCODE_RETURN, KMOD_NONE, -1},    {SDL_SCANCODE_RETURN, KMOD_LALT | KMOD_LSHIFT, -1},
      {SDL_SCANCODE_PRINTSCREEN, KMOD_NONE, 0}, {SDL_SCANCODE_PRINTSCREEN, KMOD_LALT, 1},
      {SDL_SCANCODE_PRINTSCREEN, KMOD_LCTRL, -1}, {SDL_SCANCODE_PRINTSCREEN, KMOD_NUM, 0},
      {SDL_SCANCODE_A, KMOD_LALT, -1},
  };
  for (const Case& c : cases) {
    const SDL_Event e = KeyEvent(SDL_KEYDOWN, c.code, c.mod);
    EXPECT_EQ(platform::mainloop::MatchHotKey(kKeys, e.key), c.id) << c.code << " " << c.mod;
  }
}

// The hot key's press, its repeats and its release never reach the window; other keys pass, and so does a key that
// was held before Alt went down.
TEST(HotKeys, TheFilterTakesAHotKeyOutOfTheEventStreamWithItsRepeatsAndRelease) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  std::vector<int> pressed;
  {
    HotKeyFilter filter(kKeys, [&](int id) { pressed.push_back(id); });
    const SDL_Event events[] = {
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_LALT, KMOD_LALT),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT, true),
        KeyEvent(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_LALT),
        KeyEvent(SDL_KEYUP, SDL_SCANCODE_LALT, KMOD_NONE),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_NONE),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT, true),  // Enter held, then Alt
        KeyEvent(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_LALT),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_PRINTSCREEN, KMOD_NONE),
        KeyEvent(SDL_KEYUP, SDL_SCANCODE_PRINTSCREEN, KMOD_NONE),
    };
    for (SDL_Event e : events) SDL_PushEvent(&e);
    std::vector<std::pair<Uint32, SDL_Scancode>> passed;
    SDL_Event e;
    while (SDL_PollEvent(&e))
      if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) passed.emplace_back(e.type, e.key.keysym.scancode);
    const std::vector<std::pair<Uint32, SDL_Scancode>> expected = {
        {SDL_KEYDOWN, SDL_SCANCODE_LALT},   {SDL_KEYUP, SDL_SCANCODE_LALT},
        {SDL_KEYDOWN, SDL_SCANCODE_RETURN}, {SDL_KEYDOWN, SDL_SCANCODE_RETURN},
        {SDL_KEYUP, SDL_SCANCODE_RETURN}};
    EXPECT_EQ(passed, expected);
  }
  EXPECT_EQ(pressed, (std::vector<int>{2, 0}));
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}
