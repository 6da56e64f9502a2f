// The game's settings: the save folder, the settings file "QORM.ini" in it, and the three groups of settings kept
// there — the start-up flags, the display and sound settings of the game window, and the user configuration.
//
// The save folder is $XDG_DATA_HOME/BELVAR/QORM/ (else ~/.local/share/BELVAR/QORM/), made when missing. Names are
// in the game's wide Windows form ('\' separators, a leading '\' for the host's root), so the file layer finds
// "QORM.ini" in any letter case.
//
// The file has the sections "Game" and "Game Debug" (and "Joypad", which the input unit reads). Readers open it only
// when it exists and change only what they understand: switches are "ON"/"OFF", modes are words compared in upper
// case, amounts are decimal numbers checked against their range (a value out of range gives the built-in default).
// Writers change only their own keys and replace the whole file atomically, so a failed write keeps the previous
// file; they never throw. Readers and writers of the file are serialised within the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "core/vxstring.h"

// ---- Save folder and settings file

// The save folder with a final '\', made when missing; empty when no home folder is known (file names are then
// relative to the current folder, the game folder).
VXWideStr GetSaveFolder();
// The save folder as a host path with a final '/'; empty as above.
std::string GetSaveFolderHost();
// The settings file: the save folder followed by "QORM.ini".
VXWideStr GetSettingsPath();

// ---- Start-up flags (0 off, 1 on); the command line may switch WindowMode and ShowFPS on.

extern std::atomic<std::uint8_t> WindowMode;       // Game; built-in 1 (window)
extern std::atomic<std::uint8_t> ShowFPS;          // Game Debug; 0
extern std::atomic<std::uint8_t> CapEnable;        // Game Debug; 0
extern std::atomic<std::uint8_t> AlbumShowAll;     // Game Debug; 0
extern std::atomic<std::uint8_t> MusicForceAuto;   // Game Debug; 0
extern std::atomic<std::uint8_t> MusicMemorySave;  // Game; 0
extern std::atomic<std::uint8_t> MusicSongAll;     // Game Debug; 0

// Reads the seven flags. WindowMode follows "ON" and "OFF"; the other six are only ever switched on ("ON").
void LoadSystemIni();
// Writes WindowMode only; false (reported on standard error) when the file cannot be written.
bool SaveWindowMode();

// ---- Display and sound settings of the game window

// Frame pacing modes.
enum : std::uint8_t { kFps15 = 0, kFps30 = 1, kFpsFull = 2, kFpsNoSync = 3 };

struct TDisplayConfig {
  std::uint8_t FPSMode = kFpsFull;
  std::int32_t VolumeBGM = 70;
  std::int32_t VolumeVoice = 100;
  std::int32_t VolumeSE = 100;
  std::int32_t VolumeRear = 90;
};

// FPSMode and the four volumes (out of 0..100: the built-in value).
void LoadDisplayConfig(TDisplayConfig& config);
// WindowMode, FPSMode and the four volumes; false (reported on standard error) when the file cannot be written.
bool SaveDisplayConfig(const TDisplayConfig& config);

// ---- User configuration (the configuration screen edits it; it belongs to the game thread)

struct TUserConfig {
  std::int32_t MesBoxTrans = 25;      // message window transparency, 0..100
  std::int32_t UserTextSpeed = 100;   // 0..1000
  std::int32_t AutoSkipWait = 2000;   // 0..5000
  std::uint8_t SimpleDisplay = 0;
  std::uint8_t ShowPlaceName = 0;
  std::uint8_t AllTextSkip = 0;
  std::uint8_t EffectCanSkip = 1;
  std::int32_t RightClickType = 0;    // 0..4
  std::uint8_t ExitConfirm = 1;
  std::uint8_t SaveConfirm = 1;
  std::uint8_t LoadConfirm = 1;
  std::uint8_t AvgAutoMode = 0;       // 0 off, 1 on
  std::int32_t VolumeMainPlay = 100;  // 0..100
  std::int32_t VolumeKeyboard = 100;  // 0..100
  std::uint8_t MusicRankMode = 0;     // 0 normal, 1 hard, 2 easy
  std::uint8_t MusicAutoMode = 0;     // 0 off, 1 on
  std::uint8_t MusicWordMode = 1;     // 0 nothing, 1 normal, 2 high quality
  std::uint8_t MusicAnime = 1;
  std::uint8_t MusicTimingMode = 1;   // 0 timer, 1 sound position
};

extern TUserConfig UserConfig;

void ResetUserConfig(TUserConfig* config);
// Reads the user keys over the current values.
void LoadUserConfig(TUserConfig* config);
// Writes all 19 user keys (a word field holding a value outside its words keeps the key's old text); false
// (reported on standard error) when the file cannot be written.
bool SaveUserConfig(const TUserConfig* config);

// ---- The internet ranking's server

struct TRankingSettings {
  VXString server;     // "RankingServer": host, or host:port; empty: none is set
  std::string caFile;  // "RankingCA": host path (UTF-8) of an extra PEM certificate to trust; empty: none
};

// Both keys of section "Game Debug"; empty where the file has none.
TRankingSettings LoadRankingSettings();
