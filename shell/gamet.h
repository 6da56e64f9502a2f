// The game thread. Until the game's logic (title loop and screens) exists, it only keeps the window's frames
// running with an empty panel tree: it waits for results (stepping frames with the game lock given up) until it is
// told to end, then ends the game as the real thread does (the user configuration saved, the window asked to
// close). An error that ends it is kept on the window for the program's exit.
#pragma once

#include <memory>

#include "shell/maint.h"

class TGameThread : public TMainThread {
public:
  explicit TGameThread(TGameForm& form) : TMainThread(form) {}

protected:
  void Execute() override;
};

// The factory the launcher hands to the window.
std::unique_ptr<Classes::TThread> MakeGameThread(TGameForm& form);
