// The script's game commands (opcodes 64-164): messages and pages, waits, sound, characters and stage pictures,
// calendar, choices, movies, the hand-off to the music game, the extra selection and a few game-state counters.
//
// Each command pops its arguments from the value stack (the last pushed first) and pushes its result, as the
// machine's own instructions do. It changes the game state first (the truth a saved game restores) and then asks the
// adventure host to show the change; a command that changes what is shown yields, one that needs an answer sets the
// scene mode and the wait flag before it asks the host, so that an answer the host gives at once is taken.
//
// Rates are accepted only in 0..100 (others are ignored); a character slot outside 0-2, a switch outside 0-31 and a
// song outside 1-32 are ignored. An opcode without an instruction, a stack underflow and a text number the script
// does not hold are errors of the script (EGameErr).
//
// Character layout. The state keeps pending slots (left, centre, right; -1 empty) with a speaking flag each and the
// shown copies the stage displays; a stage commit copies the pending picture and slots into the shown ones, a
// character commit only the slots. Placing a character beside one that stands alone in the centre, or taking one of
// two that stand left and right away, moves the other one along (the pending layout kind tells the stage how).
#pragma once

#include "scenario/avgu.h"

// What the commands ask of the game window directly: the sound service's channels and rates, the extra sound and
// the mouse cursor. The default is the game window's own (nothing without a window).
class TAvgSoundCalls {
public:
  virtual ~TAvgSoundCalls() = default;
  virtual void PlayBgm(int track, bool loop, bool fade);
  virtual void StopBgm(bool fade);
  virtual void SetBgmRate(int rate);
  virtual void SetVoiceRate(int rate);
  virtual void StopSe();
  virtual void SetSeRate(int rate);
  virtual void StopLoopSe(bool fade);
  virtual void SetLoopSeRate(int rate);
  virtual void PlayExtraSound(int number);
  virtual void StopExtraSound();
  virtual void SetExtraSoundRate(int rate);
  virtual void ShowCursor(bool on);
};

class TAvgGameCommands : public TAvgCommands {
public:
  // The calls are not owned; null (the default) is the game window's own.
  explicit TAvgGameCommands(TAvgSoundCalls* sound = nullptr);

  void RunCommand(TAvgUnit& host, TScriptEngine& engine, int opcode) override;

  // ---- The character slots and commits (also for tests)
  // Slot 0 left, 1 centre, 2 right; a character below 0 empties the slot. Others are ignored.
  static void SetCharacterSlot(int character, int slot);
  void CommitStage(int effect);
  void CommitCharacters(int mode);
  // The extra sound the scene wants now (scene parameter 2: by stage level and picture), started or stopped.
  void UpdateExtraSound();

private:
  struct TContext;
  void Animate(int kind);  // layout kind, slots into the shown copies, the host animates, kind 0
  void StageValueChanged(int value);

  TAvgSoundCalls defaultSound_;
  TAvgSoundCalls* sound_;
  TAvgUnit* host_ = nullptr;
  TScriptEngine* engine_ = nullptr;

  friend struct TAvgCommandTable;
};
