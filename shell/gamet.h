// The game thread. Until the game's logic (title loop and screens) exists, it only keeps the window's frames
// running with an empty panel tree: it steps frames with the game lock left until it is told to end, then ends the
// game as the real thread does (the user configuration saved, the window asked to close). An error that ends it
// is kept on the window for the program's exit.
#pragma once

#include <memory>

#include "platform/vclthread.h"

class TGameForm;

class TGameThread : public Classes::TThread {
public:
  explicit TGameThread(TGameForm& form) : form_(form) {}

protected:
  void Execute() override;

private:
  TGameForm& form_;
};

// The factory the launcher hands to the window.
std::unique_ptr<Classes::TThread> MakeGameThread(TGameForm& form);
