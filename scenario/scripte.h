// The script engine: the scene table, the one loaded compiled script, and the stack machine that runs it.
//
// The machine's registers (program position, end and wait flags, value stack, call frames, result registers,
// current message) live in the game state (GameState), so that a saved game holds the whole machine; the engine
// itself holds only the loaded files, the next-position register and the yield flag. The adventure host calls
// RunScript once a frame: it runs instructions until the script ends, waits for an answer (ResumeWithValue) or yields
// so that the frame shows what changed. Message text is fed to the host chunk by chunk between instructions.
//
// Files are opened by name through two file managers: the scene table and the scripts through the script files, the
// speaker table through the data files. Every file is checked against what it holds before it is used: a broken
// scene table fails its load, a broken script does not load. Machine errors (code read outside the code section, an
// opcode without an instruction, value-stack overflow or underflow, call-stack overflow, a bad text number, a data
// record outside the data section) raise EGameErr; a call or scene jump whose target cannot be found ends the script.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/vxhash.h"
#include "core/vxstring.h"
#include "shell/gamestate.h"

class VXFileMan;
class VXStream;
class TScriptEngine;

// What the machine asks of the adventure host.
class TScriptHost {
public:
  virtual ~TScriptHost() = default;
  // A game command (opcodes 64-164): pops its arguments from the value stack and pushes its result; a command that
  // changes what is shown yields, one that needs an answer sets the wait flag.
  virtual void RunCommand(TScriptEngine& engine, int opcode) = 0;
  // A chunk of message text for the message or novel window, with its delay per character in milliseconds.
  virtual void ShowText(const VXString& chunk, int delay) = 0;
  virtual void LineFeed() = 0;   // the shown window starts a new line
  virtual void ClearPage() = 0;  // the shown window clears its page
  // A scene jump started another scene: stage and windows are rebuilt from the game state.
  virtual void SceneJumped() = 0;
};

class TScriptEngine {
public:
  static constexpr int kSpeakerCount = 1000;

  // The managers and the host are not owned; a null host makes every game command an error.
  TScriptEngine(VXFileMan* scriptFiles, VXFileMan* dataFiles, TScriptHost* host);
  ~TScriptEngine();
  TScriptEngine(const TScriptEngine&) = delete;
  TScriptEngine& operator=(const TScriptEngine&) = delete;

  // ---- Scene table and script files ----
  // Reads "Scene.tbl" and "SpeakTbl.csv". A failure throws EGameErr; GetLoadError then tells what failed (UTF-8, for
  // the player).
  bool LoadSceneTable();
  // The same from open streams (the speaker table may be null: every speaker -1).
  bool LoadSceneTable(VXStream& table, VXStream* speakers);
  bool IsLoaded() const { return loaded_; }
  const char* GetLoadError() const { return loadError_; }
  int GetSpeaker(int picture) const;  // -1 outside 0-999 or when none

  // Starts the named scene from the top of its function: false when no table is loaded, the name is unknown or its
  // script cannot be loaded. The scene-start copy of the state is taken once the name was found.
  bool StartScene(const VXString& name);
  // The stamp in the header of script n's file, when the file holds script n.
  std::optional<std::uint32_t> ReadScriptStamp(int script);
  // Makes script n the loaded one (nothing is read when it already is). A failure leaves no script loaded.
  bool LoadScript(int script);
  // Loads script n from an open file.
  bool LoadScript(int script, VXStream& file);
  int GetLoadedScript() const { return loadedScript_; }  // -1: none
  std::uint32_t GetLoadedStamp() const;
  // False when no table is loaded or the script has ended; else the state's current script is loaded.
  bool EnsureScriptLoaded();
  // After a saved game was loaded: goes on where it was when the current script and every script on the call stack
  // still have their stamps, else restarts the scene from the state it had when it began.
  bool ResumeScene();
  // Offset of the first function record of that exact name, or -1.
  int FindFunction(const VXString& name) const;
  // Position of the first instruction of the function record at an offset; -1 when there is no readable record.
  int FunctionCodeStart(int offset) const;
  // "scrN::name" or "::name" (the current script).
  bool ParseCallTarget(const VXString& target, int& script, VXString& function) const;

  // ---- The machine ----
  // Runs until the script ends, waits or yields; returns the end flag. Every error comes out as EGameErr.
  bool RunScript();
  // Answers a wait: pushes the value and clears the wait flag; nothing when the script does not wait.
  void ResumeWithValue(int value);
  void StepInstruction();
  void StepMessageText();
  std::uint16_t ReadCodeWord(int position) const;
  std::uint32_t ReadCodeDword(int position) const;
  // 0 the empty string, bit 31 a string slot of the state, else a text record of the loaded script.
  VXString GetStringOperand(int word) const;
  // %r, %vN and %sN replaced; single-byte blanks and a cut double-byte character removed.
  VXString ExpandTextMacros(const VXString& text) const;

  // For the game commands.
  std::uint32_t GetNextPosition() const { return next_; }
  void SetNextPosition(std::uint32_t position) { next_ = position; }
  void Yield() { yield_ = true; }
  bool IsYielding() const { return yield_; }
  TScriptHost* GetHost() const { return host_; }

private:
  friend struct TScriptOps;

  void UnloadScript();
  [[noreturn]] void SceneTableFailed(const char* message);  // forgets the table and throws EGameErr
  bool ReadSceneEntries(std::uint32_t count);
  void ReadSpeakers(VXStream* speakers);
  bool ReadSections(VXStream& file, const std::uint8_t* head);
  bool IndexTexts(std::uint32_t count);
  std::uint16_t DataWord(std::uint64_t offset) const;
  std::uint32_t DataDword(std::uint64_t offset) const;
  VXString DataText(std::uint64_t offset) const;  // offsets past 4 GB are outside

  VXFileMan* scriptFiles_;
  VXFileMan* dataFiles_;
  TScriptHost* host_;

  bool loaded_ = false;
  const char* loadError_ = "";
  std::vector<std::uint8_t> scenes_;
  VXHashTable sceneNames_;
  std::array<int, kSpeakerCount> speakers_;

  int loadedScript_ = -1;
  std::array<std::uint8_t, 64> header_{};
  std::vector<std::uint8_t> code_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> text_;
  std::vector<std::uint32_t> textPositions_;

  std::uint32_t position_ = 0;  // of the running instruction
  std::uint32_t next_ = 0;
  bool yield_ = false;
};
