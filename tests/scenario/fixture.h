// The scenario tests' ground: scripts assembled from source into a temporary game folder, the engine on that folder,
// and a host that records what the machine asked of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "scenario/scrdef.h"
#include "scenario/scripte.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/readmes.h"
#include "shell/systemdata.h"
#include "support/tempdir.h"
#include "tools/scrasm/assembler.h"

inline std::string Text(const VXString& s) { return {s.c_str(), static_cast<std::size_t>(s.Length())}; }
inline VXString Vx(const std::string& s) { return VXString(s.data(), static_cast<unsigned int>(s.size())); }

// The game's records as a new game finds them: state, scene-start copy, system record, user configuration, an empty
// read-text log.
inline void ClearGameRecords() {
  GameState = TGameState();
  SceneStartState = TGameState();
  SystemData = TSystemData();
  UserConfig = TUserConfig();
  const std::uint8_t emptyLog[8] = {8};
  ReadMesTable.Load(emptyLog, 8);
}

// Assembles the sources together (without a file name of their own); every error fails the test.
inline scrasm::TFiles CompileScripts(const std::vector<std::string>& sources) {
  std::vector<scrasm::TSource> named;
  for (std::size_t i = 0; i < sources.size(); ++i) named.push_back({"s" + std::to_string(i) + ".scs", sources[i]});
  scrasm::TFiles files;
  std::vector<scrasm::TDiagnostic> diagnostics;
  scrasm::Assemble(named, files, diagnostics);
  for (const scrasm::TDiagnostic& d : diagnostics)
    if (!d.warning) ADD_FAILURE() << d.Format();
  return files;
}

// Assembles one source into the game folder's script folder "Script_Pak".
inline void WriteScripts(const TempDir& game, const std::string& source) {
  for (const auto& [name, bytes] : CompileScripts({source}))
    game.Write("Script_Pak/" + name, std::string(bytes.begin(), bytes.end()));
}

// Records every request as one line: "ShowPicture 101,1", "text Hello/500", "linefeed", "clearpage", "jumped".
// The few commands that the machine's tests lean on behave as the game's do: Message sets the message (and shows
// the window), SetTextSpeed sets it, Choice and the other answering commands wait, WaitClick yields, EndScript ends;
// the getters push `answer`.
class TRecordingHost : public TScriptHost {
public:
  std::vector<std::string> log;
  int answer = 0;

  void RunCommand(TScriptEngine& engine, int opcode) override {
    const scrdef::TOpcodeInfo& info = *scrdef::GetOpcodeInfo(opcode);
    std::vector<int> args(info.args);
    for (int i = info.args - 1; i >= 0; --i) args[static_cast<std::size_t>(i)] = GameState.PopValue();
    std::string line = info.name;
    for (std::size_t i = 0; i < args.size(); ++i) line += (i == 0 ? " " : ",") + std::to_string(args[i]);
    log.push_back(line);
    if (opcode == scrdef::opMessage) {
      GameState.SetMessage(args[0], engine.ExpandTextMacros(engine.GetStringOperand(args[0])));
      if (!GameState.IsMessageWindowShown()) {
        GameState.SetMessageWindowShown(true);
        engine.Yield();
      }
    } else if (opcode == scrdef::opChoice) {
      for (int i = 0; i < 4; ++i) GameState.SetChoiceText(i, engine.ExpandTextMacros(engine.GetStringOperand(args[i])));
      GameState.SetSceneMode(2);
    } else if (opcode == 69) {  // SetTextSpeed
      GameState.SetTextSpeed(args[0]);
    } else if (opcode == scrdef::opEndScript) {
      GameState.SetScriptEnded(true);
    }
    if (info.waits) GameState.SetScriptWaiting(true);
    if (info.waits || opcode == 73) engine.Yield();  // WaitClick
    if (!info.waits)
      for (int i = 0; i < info.results; ++i) GameState.PushValue(answer);
  }
  void ShowText(const VXString& chunk, int delay) override {
    log.push_back("text " + Text(chunk) + "/" + std::to_string(delay));
  }
  void LineFeed() override { log.push_back("linefeed"); }
  void ClearPage() override { log.push_back("clearpage"); }
  void SceneJumped() override { log.push_back("jumped"); }
};

class ScenarioTest : public ::testing::Test {
protected:
  ScenarioTest() {
    GameState = TGameState();
    SceneStartState = TGameState();
    SystemData = TSystemData();
    const std::uint8_t emptyLog[8] = {8};
    ReadMesTable.Load(emptyLog, 8);
    scripts_.InitDir(dir_.str().c_str());
    data_.InitDir(dir_.str().c_str());
    engine_ = std::make_unique<TScriptEngine>(&scripts_, &data_, &host_);
  }

  static scrasm::TFiles Compile(const std::vector<std::string>& sources) { return CompileScripts(sources); }

  // Assembles the sources into the game folder; the scene table is loaded unless asked not to.
  void Build(const std::vector<std::string>& sources, bool load = true) {
    for (const auto& [name, bytes] : Compile(sources)) WriteFile(name, bytes);
    if (load) engine_->LoadSceneTable();
  }

  void WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    dir_.Write(name, std::string(bytes.begin(), bytes.end()));
  }
  std::vector<std::uint8_t> ReadFile(const std::string& name) const {
    std::ifstream in(dir_.path() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Runs frames until the script ends or waits (at most `frames`); the yields in between are not counted.
  bool RunToEnd(int frames = 1000) {
    for (int i = 0; i < frames; ++i)
      if (engine_->RunScript() || GameState.IsScriptWaiting()) return GameState.IsScriptEnded();
    return false;
  }

  // The value stack, deepest word first (emptied).
  static std::vector<int> TakeStack() {
    std::vector<int> words(static_cast<std::size_t>(GameState.GetValueCount() - GameState.GetFrameBase()));
    for (auto it = words.rbegin(); it != words.rend(); ++it) *it = GameState.PopValue();
    return words;
  }

  TempDir dir_;
  VXFileMan scripts_;
  VXFileMan data_;
  TRecordingHost host_;
  std::unique_ptr<TScriptEngine> engine_;
};
