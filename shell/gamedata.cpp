#include "shell/gamedata.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <span>

#include "core/vxsys.h"
#include "core/widefile.h"
#include "platform/text.h"

std::atomic<std::uint8_t> WindowMode{1};
std::atomic<std::uint8_t> ShowFPS{0};
std::atomic<std::uint8_t> CapEnable{0};
std::atomic<std::uint8_t> AlbumShowAll{0};
std::atomic<std::uint8_t> MusicForceAuto{0};
std::atomic<std::uint8_t> MusicMemorySave{0};
std::atomic<std::uint8_t> MusicSongAll{0};

TUserConfig UserConfig;

namespace {

constexpr const char* kGame = "Game";
constexpr const char* kGameDebug = "Game Debug";

// ---- The save folder

// The host folder under which the game keeps its data: $XDG_DATA_HOME when it is absolute, else ~/.local/share.
std::string DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share";
  return {};
}

std::string SaveFolderHostPath() {
  const std::string base = DataHome();
  if (base.empty()) return {};
  std::string path = base;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path + (path == "/" ? "" : "/") + "BELVAR/QORM/";
}

// A host path in the game's wide form: the same characters, '\' for '/'.
VXWideStr ToWideName(const std::string& hostPath) {
  std::u16string wide = platform::text::Utf8ToUtf16(hostPath);
  for (char16_t& c : wide)
    if (c == u'/') c = u'\\';
  return VXWideStr(wide.c_str(), static_cast<unsigned int>(wide.size()));
}

// ---- One use of the settings file, serialised within the process

std::mutex& SettingsLock() {
  static std::mutex lock;
  return lock;
}

void Report(const char* what, const std::exception* e) {
  std::fprintf(stderr, "qorm: %s: %s\n", what,
               e != nullptr ? platform::text::Cp932ToUtf8(e->what()).c_str() : "unknown error");
}

// Runs `read` over the settings file when it exists; a file that cannot be read changes nothing.
void ReadSettings(const std::function<void(const TIniFileW&)>& read) {
  std::lock_guard guard(SettingsLock());
  const VXWideStr path = GetSettingsPath();
  if (!VXFileIsExistW(path.c_wstr())) return;
  try {
    TIniFileW ini(path);
    read(ini);
  } catch (const std::exception& e) {
    Report("cannot read the settings file", &e);
  }
}

// Runs `write` over the settings file (made when missing) and writes it back. False when it cannot be written.
bool WriteSettings(const std::function<void(TIniFileW&)>& write) {
  std::lock_guard guard(SettingsLock());
  const VXWideStr path = GetSettingsPath();
  try {
    TIniFileW ini(path);
    write(ini);
    ini.UpdateFile();
    return true;
  } catch (const std::exception& e) {
    Report("cannot write the settings file", &e);
  } catch (...) {
    Report("cannot write the settings file", nullptr);
  }
  return false;
}

// ---- Values

// "ON" 1, "OFF" 0 (any letter case); -1 for anything else.
int SwitchValue(const VXString& text) {
  const VXString upper = text.UpperCase();
  if (upper == VXString("ON")) return 1;
  if (upper == VXString("OFF")) return 0;
  return -1;
}

const char* SwitchText(int value) { return value != 0 ? "ON" : "OFF"; }

// A number key: an empty value keeps the field, text that is not a number gives the default, and a result out of
// range the default too.
std::int32_t ReadNumber(const TIniFileW& ini, const char* section, const char* key, std::int32_t current,
                        std::int32_t min, std::int32_t max, std::int32_t def) {
  const VXString text = ini.ReadString(section, key, "");
  const std::int32_t value = text.IsEmpty() ? current : text.ToIntDef(def);
  return value < min || value > max ? def : value;
}

// A mode word: index = value; `read` is compared with the upper-cased text, `written` is what the game writes.
struct Word {
  const char* read;
  const char* written;
};

constexpr Word kFpsWords[] = {{"15FPS", "15fps"}, {"30FPS", "30fps"}, {"FULL", "Full"}, {"NOSYNC", "NoSync"}};
constexpr Word kAutoWords[] = {{"NOAUTO", "NoAuto"}, {"AUTO", "Auto"}};
constexpr Word kRankWords[] = {{"NORMAL", "Normal"}, {"HARD", "Hard"}, {"EASY", "Easy"}};
constexpr Word kLyricWords[] = {{"NOTHING", "Nothing"}, {"NORMAL", "Normal"}, {"HIGHQUALITY", "HighQuality"}};
constexpr Word kTimingWords[] = {{"TIMER", "Timer"}, {"WAVE", "Wave"}};

// The value of the word, or -1.
int WordValue(std::span<const Word> words, const VXString& text) {
  const VXString upper = text.UpperCase();
  for (std::size_t i = 0; i < words.size(); ++i)
    if (upper == VXString(words[i].read)) return static_cast<int>(i);
  return -1;
}

void WriteWord(TIniFileW& ini, const char* section, const char* key, std::span<const Word> words, int value) {
  if (value >= 0 && value < static_cast<int>(words.size()))
    ini.WriteString(section, key, words[static_cast<std::size_t>(value)].written);
}

// ---- Start-up flags

struct Flag {
  const char* section;
  const char* key;
  std::atomic<std::uint8_t>* value;
};

constexpr Flag kFlags[] = {
    {kGame, "WindowMode", &WindowMode},          {kGameDebug, "ShowFPS", &ShowFPS},
    {kGameDebug, "CapEnable", &CapEnable},       {kGameDebug, "AlbumShowAll", &AlbumShowAll},
    {kGame, "MusicMemorySave", &MusicMemorySave}, {kGameDebug, "MusicForceAuto", &MusicForceAuto},
    {kGameDebug, "MusicSongAll", &MusicSongAll},
};

void WriteWindowMode(TIniFileW& ini) { ini.WriteString(kGame, "WindowMode", SwitchText(WindowMode.load())); }

// ---- User configuration: the keys in the record's order

struct UserKey {
  enum Kind { kNumber, kSwitch, kWord };
  const char* key;
  Kind kind;
  std::int32_t TUserConfig::*number;  // kNumber
  std::uint8_t TUserConfig::*byte;    // kSwitch, kWord
  std::int32_t min, max, def;         // kNumber
  std::span<const Word> words;        // kWord
};

constexpr UserKey Number(const char* key, std::int32_t TUserConfig::*field, std::int32_t min, std::int32_t max,
                         std::int32_t def) {
  return {key, UserKey::kNumber, field, nullptr, min, max, def, {}};
}
constexpr UserKey Switch(const char* key, std::uint8_t TUserConfig::*field) {
  return {key, UserKey::kSwitch, nullptr, field, 0, 0, 0, {}};
}
constexpr UserKey Words(const char* key, std::uint8_t TUserConfig::*field, std::span<const Word> words) {
  return {key, UserKey::kWord, nullptr, field, 0, 0, 0, words};
}

const UserKey kUserKeys[] = {
    Number("MesBoxTrans", &TUserConfig::MesBoxTrans, 0, 100, 25),
    Number("UserTextSpeed", &TUserConfig::UserTextSpeed, 0, 1000, 100),
    Number("AutoSkipWait", &TUserConfig::AutoSkipWait, 0, 5000, 2000),
    Switch("SimpleDisplay", &TUserConfig::SimpleDisplay),
    Switch("ShowPlaceName", &TUserConfig::ShowPlaceName),
    Switch("AllTextSkip", &TUserConfig::AllTextSkip),
    Switch("EffectCanSkip", &TUserConfig::EffectCanSkip),
    Number("RightClickType", &TUserConfig::RightClickType, 0, 4, 0),
    Switch("ExitConfirm", &TUserConfig::ExitConfirm),
    Switch("SaveConfirm", &TUserConfig::SaveConfirm),
    Switch("LoadConfirm", &TUserConfig::LoadConfirm),
    Words("AvgAutoMode", &TUserConfig::AvgAutoMode, kAutoWords),
    Number("VolumeMainPlay", &TUserConfig::VolumeMainPlay, 0, 100, 100),
    Number("VolumeKeyboard", &TUserConfig::VolumeKeyboard, 0, 100, 100),
    Words("MusicRankMode", &TUserConfig::MusicRankMode, kRankWords),
    Words("MusicAutoMode", &TUserConfig::MusicAutoMode, kAutoWords),
    Words("MusicWordMode", &TUserConfig::MusicWordMode, kLyricWords),
    Switch("MusicAnime", &TUserConfig::MusicAnime),
    Words("MusicTimingMode", &TUserConfig::MusicTimingMode, kTimingWords),
};

// ---- Display settings: the four volumes

struct Volume {
  const char* key;
  std::int32_t TDisplayConfig::*field;
  std::int32_t def;
};

constexpr Volume kVolumes[] = {
    {"VolumeBGM", &TDisplayConfig::VolumeBGM, 70},
    {"VolumeVoice", &TDisplayConfig::VolumeVoice, 100},
    {"VolumeSE", &TDisplayConfig::VolumeSE, 100},
    {"VolumeRear", &TDisplayConfig::VolumeRear, 90},
};

}  // namespace

std::string GetSaveFolderHost() {
  const std::string path = SaveFolderHostPath();
  if (path.empty()) return {};
  const VXWideStr wide = ToWideName(path);
  if (!VXFolderIsExistW(wide.c_wstr())) CreateFolderTreeW(wide);
  return path;
}

VXWideStr GetSaveFolder() {
  const std::string path = GetSaveFolderHost();
  return path.empty() ? VXWideStr() : ToWideName(path);
}

VXWideStr GetSettingsPath() { return GetSaveFolder() + VXWideStr(kSettingsFileName); }

void LoadSystemIni() {
  ReadSettings([](const TIniFileW& ini) {
    for (const Flag& f : kFlags) {
      const bool windowMode = f.value == &WindowMode;
      const int v = SwitchValue(ini.ReadString(f.section, f.key, windowMode ? "FAIL" : "OFF"));
      if (v == 1 || (v == 0 && windowMode)) f.value->store(static_cast<std::uint8_t>(v));
    }
  });
}

bool SaveWindowMode() { return WriteSettings(WriteWindowMode); }

void LoadDisplayConfig(TDisplayConfig& config) {
  ReadSettings([&](const TIniFileW& ini) {
    const int fps = WordValue(kFpsWords, ini.ReadString(kGame, "FPSMode", ""));
    if (fps >= 0) config.FPSMode = static_cast<std::uint8_t>(fps);
    for (const Volume& v : kVolumes)
      config.*v.field = ReadNumber(ini, kGame, v.key, config.*v.field, 0, 100, v.def);
  });
}

bool SaveDisplayConfig(const TDisplayConfig& config) {
  return WriteSettings([&](TIniFileW& ini) {
    WriteWindowMode(ini);
    WriteWord(ini, kGame, "FPSMode", kFpsWords, config.FPSMode);
    for (const Volume& v : kVolumes) ini.WriteString(kGame, v.key, VXIntToStrA(config.*v.field));
  });
}

void ResetUserConfig(TUserConfig* config) {
  if (config != nullptr) *config = TUserConfig{};
}

void LoadUserConfig(TUserConfig* config) {
  if (config == nullptr) return;
  ReadSettings([&](const TIniFileW& ini) {
    for (const UserKey& k : kUserKeys) {
      switch (k.kind) {
        case UserKey::kNumber:
          config->*k.number = ReadNumber(ini, kGame, k.key, config->*k.number, k.min, k.max, k.def);
          break;
        case UserKey::kSwitch:
          if (const int v = SwitchValue(ini.ReadString(kGame, k.key, "")); v >= 0)
            config->*k.byte = static_cast<std::uint8_t>(v);
          break;
        case UserKey::kWord:
          if (const int v = WordValue(k.words, ini.ReadString(kGame, k.key, "")); v >= 0)
            config->*k.byte = static_cast<std::uint8_t>(v);
          break;
      }
    }
  });
}

bool SaveUserConfig(const TUserConfig* config) {
  if (config == nullptr) return false;
  return WriteSettings([&](TIniFileW& ini) {
    for (const UserKey& k : kUserKeys) {
      switch (k.kind) {
        case UserKey::kNumber: ini.WriteString(kGame, k.key, VXIntToStrA(config->*k.number)); break;
        case UserKey::kSwitch: ini.WriteString(kGame, k.key, SwitchText(config->*k.byte)); break;
        case UserKey::kWord: WriteWord(ini, kGame, k.key, k.words, config->*k.byte); break;
      }
    }
  });
}

TRankingSettings LoadRankingSettings() {
  TRankingSettings settings;
  ReadSettings([&settings](const TIniFileW& ini) {
    settings.server = ini.ReadString(kGameDebug, "RankingServer", "").Trim();
    settings.caFile = platform::text::Cp932ToUtf8(ini.ReadString(kGameDebug, "RankingCA", "").Trim().GetConstStr());
  });
  return settings;
}
