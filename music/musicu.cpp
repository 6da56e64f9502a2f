#include "music/musicu.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/vxfileman.h"
#include "core/vxhash.h"
#include "core/vxmemman.h"
#include "core/vxstream.h"
#include "core/vxstrlist.h"
#include "core/vxsys.h"
#include "device/deviceclasses.h"
#include "device/dinputu.h"
#include "device/gameservices.h"
#include "device/zodsound.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbdib.h"
#include "platform/form.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"

namespace {

namespace pc = platform::component;

constexpr int kStageWidth = 640;
constexpr int kStageHeight = 300;
constexpr int kEscKey = 1;
constexpr int kScreenshotKey = 183;
constexpr int kEscHoldFrames = 30;
constexpr int kOpeningWait = 60;
constexpr int kCurtainSteps = 21;
constexpr int kTitleSteps = 16;
constexpr int kFadeSteps = 16;
constexpr int kFadeMaxLength = 8;
constexpr int kBlinkFrames = 15;
constexpr int kFlashCalls = 8;
constexpr int kWordY = 258;
constexpr int kNoteWidth = 27, kNoteHeight = 66, kLabelHeight = 23, kLabelOffset = 43;
constexpr int kJudgementLine = 84;
constexpr int kPositionsPerPixel = 441;  // one pixel of the sheet is 5 ms
constexpr VXRect kSheetClip{9, 0, 486, 180};
constexpr int kSheetRows[10] = {86, 75, 65, 54, 66, 55, 45, 34, 54, 66};
constexpr int kSheetFrames[10] = {0, 1, 2, 3, 8, 7, 6, 5, 3, 8};
// Key map: the first scan code of each keyboard row, and the key index of each of its ten keys.
constexpr int kRowFirstCode[3] = {30, 16, 44};
constexpr int kRowColumns[10] = {0, 1, 2, 3, 8, 9, 4, 5, 6, 7};
constexpr int kPadButtons[TMusicUnit::kPadButtons] = {6, 8, 10, 11, 17, 18, 21, 23};
constexpr std::uint32_t kYesKeys[] = {21, 57, 28};  // Y, Space, Enter
constexpr std::uint32_t kNoKeys[] = {49, 1};        // N, Esc
// Lyric colours (text, outline) and the colour key of the normal lyric picture, which the text never paints.
constexpr std::uint32_t kWordText = 0xFFF4DE;
constexpr std::uint32_t kWordOutline = 0x070818;
constexpr VXRGB kWordKey{0, 0, 0};

bool InRange(int value, int count) { return value >= 0 && value < count; }

std::uint32_t GameClock() { return GameForm != nullptr ? static_cast<std::uint32_t>(GameForm->GetGameClock()) : 0; }
void RestartGameClock() {
  if (GameForm != nullptr) GameForm->SetGameClock(0);
}
std::uint32_t MsToPosition(std::uint32_t ms) { return ms * 88 + ms / 5; }

VXRect Intersect(VXRect a, const VXRect& b) {
  a.left = std::max(a.left, b.left);
  a.top = std::max(a.top, b.top);
  a.right = std::min(a.right, b.right);
  a.bottom = std::min(a.bottom, b.bottom);
  return a;
}
bool IsEmpty(const VXRect& r) { return r.right <= r.left || r.bottom <= r.top; }

// A picture drawn through its plane, its own alpha, or (without either) its top-left colour as key.
void DrawMasked(TZoRGBBits* dest, int dx, int dy, TZoRGBBits* bits, TZoAlpha* alpha, int sx, int sy, int w, int h) {
  if (alpha != nullptr)
    dest->DrawAlphaMask(dx, dy, bits, sx, sy, w, h, alpha);
  else if (bits->GetPixFormat() == pf32_8888)
    dest->DrawAlphaMask(dx, dy, bits, sx, sy, w, h);
  else
    dest->DrawTLKey(dx, dy, bits, sx, sy, w, h);
}

// The area `r` (panel coordinates) of a picture cell at (cellX, cellY), placed at `at` in the panel, drawn onto
// dest whose panel origin lies at (ox, oy); cut to the picture.
void DrawCell(TZoRGBBits* dest, int ox, int oy, TZoRGBBits* bits, TZoAlpha* alpha, int cellX, int cellY, int atX,
              int atY, VXRect r) {
  if (bits == nullptr) return;
  int sx = cellX + (r.left - atX), sy = cellY + (r.top - atY);
  int w = std::min(r.right - r.left, bits->GetWidth() - sx), h = std::min(r.bottom - r.top, bits->GetHeight() - sy);
  if (sx < 0 || sy < 0 || w <= 0 || h <= 0) return;
  DrawMasked(dest, ox + r.left, oy + r.top, bits, alpha, sx, sy, w, h);
}

using DrawHandler = bool (TMusicUnit::*)(Classes::TComponent*, TZoRGBBits*, int, int, int, int, int, int);

TZoDrawEvent BindDraw(TMusicUnit& unit, DrawHandler handler) {
  return [&unit, handler](Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx,
                          int dy) { return (unit.*handler)(sender, dest, x, y, sx, sy, dx, dy); };
}

void RegisterMusicUnit() {
  using U = TMusicUnit;
  auto screen = pc::RegisterScreen<U>("TMusicUnit");
  screen
      .Handler<TNotifyEvent>("PanelCreate", "TNotifyEvent",
                             [](U& u) { return TNotifyEvent([&u](Classes::TComponent* s) { u.PanelCreate(s); }); })
      .Handler<TNotifyEvent>("PanelRelease", "TNotifyEvent",
                             [](U& u) { return TNotifyEvent([&u](Classes::TComponent* s) { u.PanelRelease(s); }); })
      .Handler<TZoDrawEvent>("BGPanelDraw", "TZoDrawEvent", [](U& u) { return BindDraw(u, &U::BGPanelDraw); })
      .Handler<TZoDrawEvent>("SheetPDraw", "TZoDrawEvent", [](U& u) { return BindDraw(u, &U::SheetPDraw); })
      .Handler<TZoDrawEvent>("WordPDraw", "TZoDrawEvent", [](U& u) { return BindDraw(u, &U::WordPDraw); });
  const std::pair<const char*, TZoRGBPanel* U::*> fields[] = {
      {"MusicPanel", &U::MusicPanel},   {"BGPanel", &U::BGPanel},         {"TitleP", &U::TitleP},
      {"SheetP", &U::SheetP},           {"ScoreFrameP", &U::ScoreFrameP}, {"FrameBottom", &U::FrameBottom},
      {"FrameLeft", &U::FrameLeft},     {"FrameRight", &U::FrameRight},   {"FrameTop", &U::FrameTop},
      {"HitLamp", &U::HitLamp},         {"GClef", &U::GClef},             {"WordP", &U::WordP},
      {"ContinueCount", &U::ContinueCount}, {"ContinueInfo", &U::ContinueInfo}, {"CaptionPanel", &U::CaptionPanel}};
  for (const auto& [name, field] : fields) screen.Field(name, field);
}

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDeviceClasses();
    RegisterMusicUnit();
  });
}

// The whole stream copied into a registered memory stream; null when it cannot be read.
VXStream* ReadIntoMemory(VXMemMan& mem, VXStream* file) {
  VXMemoryStream* memory = mem.Create<VXMemoryStream>();
  if (memory == nullptr) return nullptr;
  char buffer[16384];
  for (int n; (n = file->Read(buffer, sizeof buffer)) > 0;) {
    if (memory->Write(buffer, n) != n) {
      mem.Delete(memory);
      return nullptr;
    }
  }
  if (memory->GetSize() != file->GetSize()) {
    mem.Delete(memory);
    return nullptr;
  }
  memory->Seek(0, VXSeekBegin);
  return memory;
}

}  // namespace

// ---- Construction and options ---------------------------------------------------------------------------------

TMusicUnit::TMusicUnit(Classes::TComponent* owner) : Classes::TComponent(owner) {
  RegisterClasses();
  platform::form::LoadFormResource(*this, "MusicUnit");
  for (int i = 0; i < kToneCache; ++i) toneOrder_[i] = i;
  for (int i = 0; i < kCharacters; ++i) drawOrder_[i] = i;
  bestNote_.fill(-1);
}

TMusicUnit::~TMusicUnit() {
  Close();
  wordFont_.Release();
  DestroyComponents();
}

void TMusicUnit::SetTimingMode(std::uint8_t mode) {
  if (!loaded_) timingMode_ = mode;
}
void TMusicUnit::SetVolumes(int main, int key) {
  if (loaded_) return;
  mainVolume_ = main;
  keyVolume_ = key;
}
void TMusicUnit::SetRankMode(std::uint8_t level) {
  if (!loaded_) level_ = level;
}
void TMusicUnit::SetAutoMode(std::uint8_t mode) {
  if (!loaded_) autoMode_ = mode;
}
void TMusicUnit::SetWordMode(std::uint8_t mode) {
  if (!loaded_) wordMode_ = mode;
}
void TMusicUnit::SetCharAnime(std::uint8_t on) {
  if (!loaded_) charAnime_ = on;
}
void TMusicUnit::SetBGAnime(std::uint8_t on) {
  if (!loaded_) backAnime_ = on;
}
void TMusicUnit::SetMemorySave(std::uint8_t on) {
  if (!loaded_) memorySave_ = on;
}
void TMusicUnit::SetEventNumber(int number) { eventNumber_ = number; }
void TMusicUnit::SetStandardBack(std::uint8_t on, int number) {
  if (loaded_) return;
  standardBack_ = on;
  standardBackNumber_ = number;
}
void TMusicUnit::SetShowFrames(std::uint8_t on) {
  if (!loaded_) showFrames_ = on;
}
void TMusicUnit::SetWindowCalls(TMusicWindowCalls* calls) { calls_ = calls != nullptr ? calls : &defaultCalls_; }

VXMemMan* TMusicUnit::Mem() const {
  TGameServices* game = GameServices();
  return game != nullptr ? &game->GetMemMan() : nullptr;
}

const char* TMusicUnit::GetKeyName(int index) const {
  return keyNames_ != nullptr && InRange(index, keyCount_) ? keyNames_ + index * kKeyNameSize : nullptr;
}

const char* TMusicUnit::GetLyric(int offset) const {
  return lyrics_ != nullptr && InRange(offset, kLyricPoolSize) ? lyrics_ + offset : nullptr;
}

DirectX::TDSoundBuffer* TMusicUnit::GetToneBuffer(int pitch) const {
  if (!InRange(pitch, keyCount_)) return nullptr;
  if (!memorySave_) return keyBuffers_[pitch];
  for (const TToneSlot& slot : toneCache_)
    if (slot.pitch == pitch) return slot.buffer;
  return nullptr;
}

// ---- Open and close -------------------------------------------------------------------------------------------

bool TMusicUnit::FindArrays() {
  const auto find = [this](auto& panels, const char* prefix) {
    for (std::size_t i = 0; i < panels.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%02zu", prefix, i);
      panels[i] = dynamic_cast<TZoRGBPanel*>(FindComponent(name));
      if (panels[i] == nullptr) return false;
    }
    return true;
  };
  return find(curtains_, "Curtain") && find(popBigs_, "PopBig") && find(popSmalls_, "PopSmall") &&
         find(scores_, "Score");
}

bool TMusicUnit::Open(VXFileMan* dataFiles, TSongID id) {
  if (loaded_) Close();
  dataFiles_ = dataFiles;
  songId_ = id;
  VXMemMan* mem = Mem();
  bool ok = mem != nullptr && dataFiles != nullptr && FindArrays() && ReadSongInfo(true, nullptr, id);
  if (ok) {
    keyFiles_ = mem->Create<VXFileMan>();
    songFiles_ = mem->Create<VXFileMan>();
    keyNames_ = mem->Alloc<char>(static_cast<std::size_t>(kKeySoundCapacity) * kKeyNameSize);
    lyrics_ = mem->Alloc<char>(kLyricPoolSize);
    notes_ = mem->Alloc<TMusicNote>(kNoteCapacity);
    stage_.events = mem->Alloc<std::uint32_t>(kEventWords);
    ok = keyFiles_ != nullptr && songFiles_ != nullptr && keyNames_ != nullptr && lyrics_ != nullptr &&
         notes_ != nullptr && stage_.events != nullptr;
  }
  ok = ok && OpenPictures() && OpenFrames() && OpenLyrics() && LoadSong();
  if (!ok) {
    Close();
    return false;
  }
  DrawJudgement();
  loaded_ = 1;
  return true;
}

bool TMusicUnit::OpenPictures() {
  if (!MusicPanel->AllCreate() || !CreatePanelImageOwnSize(BGPanel, mmOpaque)) return false;
  if (!LoadPanelImage(curtains_[0], dataFiles_, "SongCurtain.png")) return false;
  for (int i = 0; i < kCurtains; ++i) {
    if (i > 0) SharePanelImage(curtains_[i], curtains_[0]);
    curtains_[i]->SetOffsetY(16 * i);
  }
  if (!CreatePanelImageOwnSize(TitleP, mmAlpha) || !LoadPanelImage(SheetP, dataFiles_, "SongSheet.bmp") ||
      !LoadImageFile(&noteBits_, &noteAlpha_, dataFiles_, "SongNote.png") ||
      !LoadImageFile(&alphabetBits_, &alphabetAlpha_, dataFiles_, "SongAlphabet.png") ||
      !LoadPanelImage(ScoreFrameP, dataFiles_, "SongScoreFrame.bmp"))
    return false;
  const struct {
    TZoRGBPanel* first;
    TZoRGBPanel* const* all;
    std::size_t count;
    const char* picture;
  } shared[] = {{popBigs_[0], popBigs_.data(), popBigs_.size(), "SongPopLarge.bmp"},
                {popSmalls_[0], popSmalls_.data(), popSmalls_.size(), "SongPopSmall.bmp"},
                {scores_[0], scores_.data(), scores_.size(), "SongScore.bmp"}};
  for (const auto& group : shared) {
    if (!LoadPanelImage(group.first, dataFiles_, group.picture)) return false;
    for (std::size_t i = 1; i < group.count; ++i) SharePanelImage(group.all[i], group.first);
  }
  return LoadPanelImage(HitLamp, dataFiles_, "SongHitLamp.bmp") && CreatePanelImageOwnSize(GClef, mmAlpha) &&
         LoadImageFile(&clefBits_, &clefAlpha_, dataFiles_, "SongGclef.png");
}

bool TMusicUnit::OpenFrames() {
  const std::pair<TZoRGBPanel*, const char*> frames[] = {{FrameBottom, "SongFrameBottom.png"},
                                                         {FrameLeft, "SongFrameLeft.png"},
                                                         {FrameRight, "SongFrameRight.png"},
                                                         {FrameTop, "SongFrameTop.png"}};
  for (const auto& [panel, name] : frames) {
    panel->SetVisible(false);
    if (!showFrames_ || !dataFiles_->FileIsExist(name)) continue;
    if (!LoadPanelImage(panel, dataFiles_, name)) return false;
    panel->SetVisible(true);
  }
  if (FrameBottom->GetVisible()) FrameBottom->SetOffsetY(kStageHeight - FrameBottom->GetSizeY());
  const int left = FrameLeft->GetVisible() ? FrameLeft->GetSizeX() : 0;
  for (TZoRGBPanel* across : {FrameBottom, FrameTop})
    if (across->GetVisible()) across->SetOffsetX(left);
  if (FrameRight->GetVisible()) FrameRight->SetOffsetX(kStageWidth - FrameRight->GetSizeX());
  return true;
}

bool TMusicUnit::OpenLyrics() {
  VXMemMan& mem = *Mem();
  const VXBitDepth depth = GameServices()->GetWorkingBitDepth();
  const int w = WordP->GetSizeX(), h = WordP->GetSizeY();
  if (wordMode_ == 2) {
    WordP->SetMaskMode(mmHitOnly);
    wordBits_ = mem.CreateVCL<TZoRGBBits>(nullptr);
    wordAlpha_ = mem.CreateVCL<TZoAlpha>(nullptr);
    wordWork_ = mem.CreateVCL<TZoAlphaDib>(nullptr);
    if (wordBits_ == nullptr || wordAlpha_ == nullptr || wordWork_ == nullptr) return false;
    wordBits_->SetBitDepth(depth);
    if (!wordBits_->Resize(w, h) || !wordBits_->Create() || !wordAlpha_->Resize(w, h) || !wordAlpha_->Create() ||
        !wordWork_->Resize(2 * w, 2 * h) || !wordWork_->Create())
      return false;
  } else if (wordMode_ == 1) {
    TZoRGBDib* picture = mem.CreateVCL<TZoRGBDib>(nullptr);
    if (picture == nullptr) return false;
    picture->SetBitDepth(depth);
    WordP->SetImage(picture);
    if (!picture->Resize(w, h) || !picture->Create()) return false;
    WordP->SetMaskMode(mmColorKey);
    WordP->SetColorKey(kWordKey);
  }
  if (wordMode_ == 1 || wordMode_ == 2) {
    WordP->SetOffsetY(kWordY);
    wordFont_.SetName(VXString(u"ＭＳ ゴシック"));
    wordFont_.SetPitch(vfpFixed);
    wordFont_.SetHeight(wordMode_ == 2 ? -48 : -24);
    wordFont_.SetQuality(vfqAntialiased);
    if (!wordFont_.Create()) return false;
    RenderWord(" ");
  }
  if (autoMode_ == 1 || autoMode_ == 2) {
    if (!LoadPanelImage(CaptionPanel, dataFiles_, autoMode_ == 1 ? "SongCapAuto.png" : "SongCapDemo.png"))
      return false;
    CaptionPanel->SetVisible(true);
  } else {
    CaptionPanel->SetVisible(false);
  }
  return true;
}

bool TMusicUnit::LoadSong() {
  if (keyFiles_ == nullptr || songFiles_ == nullptr || notes_ == nullptr || stage_.events == nullptr) return false;
  if (!OpenSongPart(*songFiles_, SongPartName(songId_, eventNumber_))) return false;
  VXStream* idFile = songFiles_->Open("SONG.ID");
  if (idFile == nullptr) return false;
  VXStringList idLines;
  idLines.LoadFromStream(idFile);
  songFiles_->Close(idFile);
  songVersion_ = idLines.GetCount() > 0 ? ParseVersionTag(idLines.GetString(0)) : kSongVersionMin;
  if (!OpenSongPart(*keyFiles_, SongFolderName(songId_) + "\\key") || !LoadKeySounds()) return false;

  TitleP->SetOffsetX(82);
  TitleP->SetSizeX(480);
  if (TitleP->GetAlpha() != nullptr) TitleP->GetAlpha()->Fill(0);
  DrawImageFile(TitleP->GetImage(), TitleP->GetAlpha(), 0, 0, songFiles_, "curtain.png");
  TitleP->SetModify();
  TitleP->SetVisible(true);

  // Both readers run, so that every fault of the song's files is met at once.
  const bool chart = LoadSongText();
  const bool stage = LoadAnimeScript();
  bool ok = chart && stage;
  if (standardBack_) {
    TBackAnime& anime = stage_.backAnimes[0];
    for (int i = 0; i < 3; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "SongBG%02d%d.png", standardBackNumber_, i);
      if (!OpenPictureStream(anime.frame[i], dataFiles_, name)) ok = false;
      anime.duration[i] = 10;
    }
    anime.count = 3;
  }
  ResetPlay();
  DrawGauge();
  DrawScore();
  ResetStage();
  if (!OpenSongAudio()) ok = false;
  SetEventSection(0);
  while (stage_.eventCursor >= 0 && stage_.eventCursor < stage_.sectionEnd[0]) PerformEvent(0);
  return ok;
}

bool TMusicUnit::LoadKeySounds() {
  VXMemMan& mem = *Mem();
  keyCount_ = 0;
  keyFiles_->FindSet("*.*");
  VXString name;
  while (keyCount_ < kKeySoundCapacity && keyFiles_->FindFile(name)) {
    if (name.IsEmpty() || name.Length() >= kKeyNameSize) continue;
    const VXString upper = name.UpperCase();
    std::memcpy(keyNames_ + keyCount_ * kKeyNameSize, upper.c_str(), static_cast<std::size_t>(upper.Length()) + 1);
    ++keyCount_;
  }
  for (int i = 0; i < keyCount_; ++i) {
    const VXString keyName = GetKeyName(i);
    const TKeySoundKind kind = KeySoundKindOf(keyName);
    VXStream* file = keyFiles_->Open(keyName);
    if (file == nullptr) return false;
    // Memory save keeps each tone encoded, in memory: hundreds of tones never hold hundreds of open files.
    if (memorySave_) {
      keyStreams_[i] = ReadIntoMemory(mem, file);
      keyKinds_[i] = kind;
    } else {
      keyBuffers_[i] = CreateKeySoundBuffer(file, kind);
      if (keyBuffers_[i] != nullptr) keyBuffers_[i]->SetVolume(VolumeToAttenuation(keyVolume_));
    }
    keyFiles_->Close(file);
    if (memorySave_ ? keyStreams_[i] == nullptr : keyBuffers_[i] == nullptr) return false;
  }
  return true;
}

bool TMusicUnit::OpenSongAudio() {
  TGameServices* game = GameServices();
  DirectX::TDSound* sound = game != nullptr ? game->GetSound() : nullptr;
  if (sound == nullptr) return false;
  VXMemMan& mem = game->GetMemMan();
  const VXString base = SongFolderName(songId_) + "\\song";
  const struct {
    const char* extension;
    bool needsOptions;
    DirectX::TDSoundStream* (*make)(DirectX::TDSound*, VXStream*);
  } kinds[] = {
      {".ogg", true, [](DirectX::TDSound* s, VXStream* f) { return s->CreateStreamFromOgg(f, false, false); }},
      {".adp", false, [](DirectX::TDSound* s, VXStream* f) { return s->CreateStreamFromAdp(f, false, false); }},
      {".wav", false, [](DirectX::TDSound* s, VXStream* f) { return s->CreateStreamFromWave(f, false, false); }}};
  for (const auto& kind : kinds) {
    if (songFile_ != nullptr) break;
    if (kind.needsOptions && songVersion_ < kOptionsVersion) continue;
    const VXString name = base + kind.extension;
    if (!VXFileIsExistA(name.c_str())) continue;
    songFile_ = new VXFileStreamW(VXWideStr(name), VXFileRead);
    if (!songFile_->IsOpen()) {
      delete songFile_;
      songFile_ = nullptr;
      continue;
    }
    mem.AddPtr(songFile_);
    songStream_ = kind.make(sound, songFile_);
    if (songStream_ != nullptr) {
      mem.AddPtr(songStream_);
      songStream_->SetVolume(VolumeToAttenuation(mainVolume_));
    }
  }
  return songStream_ != nullptr;
}

void TMusicUnit::ResetStage() {
  ReleaseBackBits();
  back_ = previousBack_ = {};
  if (TZoRGBBits* image = BGPanel->GetImage()) image->Cls();
  BGPanel->SetModify();
  characters_.fill({});
  for (int i = 0; i < kCharacters; ++i) drawOrder_[i] = i;
}

void TMusicUnit::ReleaseKeySounds() {
  VXMemMan* mem = Mem();
  if (mem == nullptr) return;
  for (auto* buffer : keyBuffers_) mem->Delete(buffer);
  for (auto* stream : keyStreams_) mem->Delete(stream);
  keyBuffers_.fill(nullptr);
  keyStreams_.fill(nullptr);
  for (TToneSlot& slot : toneCache_) {
    mem->Delete(slot.buffer);
    slot = {};
  }
  for (int i = 0; i < kToneCache; ++i) toneOrder_[i] = i;
  keyCount_ = 0;
}

void TMusicUnit::ReleaseSongAudio() {
  VXMemMan* mem = Mem();
  if (songStream_ != nullptr) songStream_->Stop();
  if (mem != nullptr) {
    mem->Delete(songStream_);
    mem->Delete(songFile_);
  }
  songStream_ = nullptr;
  songFile_ = nullptr;
}

void TMusicUnit::ReleaseBackBits() {
  if (VXMemMan* mem = Mem()) {
    for (auto* bits : backBits_) mem->Delete(bits);
    for (auto* bits : previousBits_) mem->Delete(bits);
  }
  backBits_.fill(nullptr);
  previousBits_.fill(nullptr);
  fadeStep_ = -1;
}

void TMusicUnit::ReleaseSong() {
  ReleaseKeySounds();
  ReleaseStageData(stage_, songFiles_, standardBack_ ? dataFiles_ : songFiles_);
  ReleaseBackBits();
  back_ = previousBack_ = {};
  characters_.fill({});
  if (keyFiles_ != nullptr) keyFiles_->Finish();
  if (songFiles_ != nullptr) songFiles_->Finish();
  ReleaseSongAudio();
  noteCount_ = 0;
}

void TMusicUnit::ReleasePictures() {
  VXMemMan* mem = Mem();
  for (TZoRGBPanel* panel : {BGPanel, curtains_[0], TitleP, SheetP, ScoreFrameP, popBigs_[0], popSmalls_[0],
                             scores_[0], FrameBottom, FrameLeft, FrameRight, FrameTop, HitLamp, GClef, WordP,
                             CaptionPanel, ContinueCount, ContinueInfo})
    ReleasePanelImage(panel);
  // The panels that shared those pictures lose them too: deleting a picture clears it on every panel showing it.
  if (mem != nullptr) {
    for (TZoRGBBits** bits : {&noteBits_, &alphabetBits_, &clefBits_, &wordBits_}) mem->Delete(*bits);
    for (TZoAlpha** alpha : {&noteAlpha_, &alphabetAlpha_, &clefAlpha_, &wordAlpha_}) mem->Delete(*alpha);
    mem->Delete(wordWork_);
  }
  wordFont_.Release();
  if (MusicPanel != nullptr) MusicPanel->AllRelease();
}

void TMusicUnit::Close() {
  ReleaseSong();
  ReleasePictures();
  if (VXMemMan* mem = Mem()) {
    mem->Free(keyNames_);
    mem->Free(lyrics_);
    mem->Free(notes_);
    mem->Free(stage_.events);
    mem->Delete(keyFiles_);
    mem->Delete(songFiles_);
  }
  stage_.eventCursor = -1;
  std::fill(std::begin(stage_.sectionEnd), std::end(stage_.sectionEnd), 0);
  curtains_.fill(nullptr);
  popBigs_.fill(nullptr);
  popSmalls_.fill(nullptr);
  scores_.fill(nullptr);
  phase_ = 0;
  loaded_ = 0;
}

// ---- The song's data ------------------------------------------------------------------------------------------

bool TMusicUnit::LoadSongText() {
  noteCount_ = 0;
  if (songFiles_ == nullptr || notes_ == nullptr || lyrics_ == nullptr) return false;
  VXStream* file = songFiles_->Open("Song.txt");
  if (file == nullptr) return false;
  VXStringList lines;
  lines.LoadFromStream(file);
  songFiles_->Close(file);
  try {
    VXHashTable tones;
    BuildToneTable(tones, keyNames_, keyCount_);
    return ReadChart(lines, {songVersion_, level_, autoMode_}, tones, notes_, noteCount_, lyrics_);
  } catch (const std::exception&) {
    return false;
  }
}

bool TMusicUnit::LoadAnimeScript() {
  return ReadStageScript(stage_, songFiles_, {standardBack_ != 0, keyVolume_});
}

void TMusicUnit::SetEventSection(int section) {
  int& cursor = stage_.eventCursor;
  if (stage_.events == nullptr || section >= kEventSections) {
    cursor = -1;
    return;
  }
  section = std::max(section, 0);
  cursor = section == 0 ? 0 : stage_.sectionEnd[section - 1];
  if (cursor >= stage_.sectionEnd[section]) cursor = -1;
}

int TMusicUnit::NextEventTime() const {
  const int cursor = stage_.eventCursor;
  return cursor >= 0 && stage_.events != nullptr && cursor + 1 < kEventWords
             ? static_cast<int>(stage_.events[cursor + 1])
             : 0;
}

void TMusicUnit::PerformEvent(int section) {
  int& cursor = stage_.eventCursor;
  if (cursor < 0) return;
  if (!InRange(section, kEventSections) || stage_.events == nullptr || cursor >= stage_.sectionEnd[section]) {
    cursor = -1;
    return;
  }
  const std::uint32_t* record = stage_.events + cursor;
  const std::uint32_t length = record[0];
  // A record too short to hold its type, or running past its section, ends the section (a length of 0 would
  // never move the cursor).
  if (length < 3 || length > static_cast<std::uint32_t>(stage_.sectionEnd[section] - cursor)) {
    cursor = -1;
    return;
  }
  const std::uint32_t type = record[2];
  if (type == setEnd) {
    cursor = -1;
    return;
  }
  const bool backEvent = type == setBackPicture || type == setBackAnime;
  const bool charEvent = type == setCharMotion || type == setCharInterrupt || type == setCharPosition;
  const bool skipped = phase_ == 3 && ((backEvent && !backAnime_) || (charEvent && !charAnime_));
  if (!skipped) PerformRecord(record, static_cast<int>(length) - 3);
  cursor += static_cast<int>(length);
  if (cursor >= stage_.sectionEnd[section]) cursor = -1;
}

void TMusicUnit::PerformRecord(const std::uint32_t* record, int arguments) {
  const auto arg = [&](int i) { return i < arguments ? static_cast<std::int32_t>(record[3 + i]) : 0; };
  switch (record[2]) {
    case setBackPicture:
      ShowBackPicture(arg(0), arg(1));
      break;
    case setBackAnime:
      ShowBackAnime(arg(0), arg(1));
      break;
    case setCharMotion:
    case setCharInterrupt:
      SetCharacterMotion(arg(0), arg(1), record[2] == setCharInterrupt);
      break;
    case setCharPosition:
      PlaceCharacter(arg(0), arg(1), arg(2), arg(3));
      break;
    case setWave:
      if (InRange(arg(0), kWaveSlots) && stage_.waveBuffers[arg(0)] != nullptr) stage_.waveBuffers[arg(0)]->Play(false);
      break;
    default:
      break;
  }
}

// The events of the section whose time has come by the millisecond value of the step before.
void TMusicUnit::PerformDueEvents(int section) {
  while (stage_.eventCursor >= 0 && stage_.eventCursor < stage_.sectionEnd[section] &&
         static_cast<std::uint32_t>(NextEventTime()) <= previousMs_)
    PerformEvent(section);
}

bool TMusicUnit::StepEvents(int section) {
  const std::uint32_t ms = GameClock();
  PerformDueEvents(section);
  previousPosition_ = position_ = MsToPosition(ms);
  previousMs_ = ms;
  return stage_.eventCursor < 0;
}

bool TMusicUnit::StepBeforeEvents() { return StepEvents(1); }
bool TMusicUnit::StepAfterEvents() { return StepEvents(3); }

// ---- Phases ---------------------------------------------------------------------------------------------------

void TMusicUnit::Start() {
  phase_ = 1;
  subStep_ = tick_ = 0;
  escHeld_ = blink_ = 0;
  aborted_ = 0;
}

void TMusicUnit::StopSong() {
  if (songStream_ == nullptr || !songStream_->IsPlay()) return;
  songStream_->Stop();
  if (TGameServices* game = GameServices()) game->PlayMuteSound();
}

void TMusicUnit::Stop() {
  StopSong();
  phase_ = 0;
}

void TMusicUnit::NotifyResult(int result) {
  if (TGameServices* game = GameServices()) game->NotifyMainThread(result);
}

void TMusicUnit::MusicProc(int frames, TDInputUnit* input) {
  const VXSectionHold lock(GameServices() != nullptr ? &GameServices()->GetGameLock() : nullptr);
  if (!loaded_) return;
  TestAbort(frames, input);
  if (phase_ != 0 && frames > 0 && (charAnime_ || phase_ != 3)) StepCharacters(frames);
  StepPhase(frames, input);
  DrawJudgement();
  SortCharacters();
  if (phase_ != 0 && frames > 0 && (backAnime_ || phase_ != 3)) StepBackground(frames);
  if (autoMode_ != 0) BlinkCaption(frames);
}

void TMusicUnit::TestAbort(int frames, TDInputUnit* input) {
  bool abort = false;
  if (input != nullptr && input->IsKeyDown(kEscKey)) {
    escHeld_ += std::max(frames, 0);
    abort = escHeld_ > kEscHoldFrames;
  } else {
    escHeld_ = 0;
  }
  if (autoMode_ == 2) {
    for (int n; (n = ReadKeys(input)) > 0;)
      for (int i = 0; i < n; ++i) abort |= keyEvents_[i].pressed != 0;
  }
  if (!abort || aborted_) return;
  aborted_ = 1;
  const std::uint8_t phase = phase_;
  Stop();
  SheetP->SetModify();
  WordP->SetVisible(false);
  ShowJudgement(1);
  if (phase != 3) {
    NotifyResult(2);
  } else {
    phase_ = 5;
    subStep_ = tick_ = 0;
  }
}

void TMusicUnit::StepPhase(int frames, TDInputUnit* input) {
  switch (phase_) {
    case 1:
      StepOpening(frames);
      break;
    case 2:
      if (StepBeforeEvents()) {
        BeginPlay();
        if (input != nullptr) input->QueryKeyEvents();
      }
      break;
    case 3:
      if (frames > 0) DecayJudgement(frames);
      JudgeNotes(frames, input);
      if (songStream_ == nullptr || !songStream_->IsPlay()) EndPlay();
      break;
    case 4:
      if (StepAfterEvents()) EndAfter();
      break;
    case 5:
      StepClosing(frames);
      break;
    case 6:
      StepContinue(frames, input);
      break;
    default:
      break;
  }
}

void TMusicUnit::StepOpening(int frames) {
  const auto curtain = [this](int i, int block) {
    if (!InRange(i, kCurtains)) return;
    curtains_[i]->SetVisible(block >= 0);
    if (block >= 0) curtains_[i]->SetBlockIndex(block);
  };
  for (int f = 0; f < frames && phase_ == 1; ++f) {
    if (subStep_ == 0) {
      if (++tick_ >= kOpeningWait) subStep_ = 1, tick_ = 0;
      continue;
    }
    const int t = ++tick_;
    curtain(18 - t, 1);
    curtain(19 - t, 2);
    curtain(20 - t, -1);
    if (t < kTitleSteps)
      TitleP->SetOffsetY(56 - 16 * (t + 1));
    else if (t == kTitleSteps)
      TitleP->SetVisible(false);
    if (t == kCurtainSteps) {
      phase_ = 2;
      subStep_ = tick_ = 0;
      RestartGameClock();
      previousPosition_ = previousMs_ = 0;
      SetEventSection(1);
    }
  }
}

void TMusicUnit::ResetPositions() {
  RestartGameClock();
  previousPosition_ = previousMs_ = position_ = 0;
  firstNote_ = lowNote_ = 0;
  spriteCount_ = 0;
}

void TMusicUnit::BeginPlay() {
  phase_ = 3;
  subStep_ = tick_ = 0;
  if (songStream_ != nullptr) songStream_->Play(false, 0);
  ResetPositions();
  SetEventSection(2);
}

void TMusicUnit::EndPlay() {
  WordP->SetVisible(false);
  SheetP->SetModify();
  phase_ = 4;
  subStep_ = tick_ = 0;
  RestartGameClock();
  previousPosition_ = previousMs_ = 0;
  ShowJudgement(1);
  SetEventSection(3);
}

void TMusicUnit::EndAfter() {
  subStep_ = tick_ = 0;
  if (gauge_ >= kGaugeClear) {
    phase_ = 5;
    for (int n = 1; n <= 5; ++n) {
      char id[8], voice[32];
      std::snprintf(id, sizeof id, "QM%02d", n);
      if (std::memcmp(songId_.data(), id, 4) != 0) continue;
      std::snprintf(voice, sizeof voice, "SysVoice05_%02d", n);
      calls_->PlayVoice(dataFiles_, voice);
    }
    return;
  }
  calls_->PlaySystemSe(1);
  for (const auto& [panel, name] : {std::pair{ContinueCount, "SongCount.png"}, std::pair{ContinueInfo, "SongCountYN.png"}}) {
    ReleasePanelImage(panel);
    LoadPanelImage(panel, dataFiles_, name);
    panel->SetVisible(true);
  }
  ContinueCount->SetBlockIndex(0);
  phase_ = 6;
}

void TMusicUnit::StepClosing(int frames) {
  const auto curtain = [this](int i, int block) {
    if (!InRange(i, kCurtains)) return;
    curtains_[i]->SetVisible(true);
    curtains_[i]->SetBlockIndex(block);
  };
  for (int f = 0; f < frames && phase_ == 5; ++f) {
    const int t = tick_;
    if (t < kCurtainSteps) {
      curtain(t, 2);
      curtain(t - 1, 1);
      curtain(t - 2, 0);
      ++tick_;
      continue;
    }
    StopSong();
    NotifyResult(aborted_ ? 2 : gauge_ < kGaugeClear ? 1 : 0);
    break;
  }
}

void TMusicUnit::StepContinue(int frames, TDInputUnit* input) {
  const int answer = AskContinue(frames, input);
  if (answer < 0) return;
  for (TZoRGBPanel* panel : {ContinueCount, ContinueInfo}) {
    panel->SetVisible(false);
    ReleasePanelImage(panel);
  }
  subStep_ = tick_ = 0;
  if (answer == 0) {
    phase_ = 5;
    return;
  }
  Restart();
  phase_ = 3;
  if (songStream_ != nullptr) songStream_->Play(false, 0);
  if (input != nullptr) input->QueryKeyEvents();
  ResetPositions();
  SetEventSection(2);
}

int TMusicUnit::AskContinue(int frames, TDInputUnit* input) {
  if (subStep_ < 11) {
    int answer = -1;
    for (int n; (n = ReadKeys(input)) > 0;)
      for (int i = 0; i < n; ++i) {
        if (!keyEvents_[i].pressed) continue;
        const std::uint32_t code = keyEvents_[i].key;
        if (std::find(std::begin(kYesKeys), std::end(kYesKeys), code) != std::end(kYesKeys)) answer = 1;
        if (std::find(std::begin(kNoKeys), std::end(kNoKeys), code) != std::end(kNoKeys)) answer = 0;
      }
    if (answer >= 0) return answer;
  }
  tick_ += std::max(frames, 0);
  if (subStep_ == 0) {
    if (tick_ >= 60 && !calls_->IsSystemSePlaying()) {
      tick_ = 0;
      subStep_ = 1;
      ContinueCount->SetBlockIndex(1);
      calls_->PlaySystemSe(4);
    }
  } else if (subStep_ <= 10) {
    while (tick_ >= 30 && subStep_ <= 10) {
      tick_ -= 30;
      ContinueCount->SetBlockIndex(++subStep_);
    }
    if (subStep_ == 11) tick_ = 0;
  } else if (tick_ >= 60 && !calls_->IsSystemSePlaying()) {
    return 0;
  }
  return -1;
}

void TMusicUnit::Restart() {
  ResetPlay();
  DrawGauge();
  DrawScore();
  for (int i = 0; i < noteCount_; ++i) notes_[i].state = 0;
}

void TMusicUnit::BlinkCaption(int frames) {
  blink_ += std::max(frames, 0);
  if (blink_ <= kBlinkFrames) return;
  blink_ -= kBlinkFrames;
  CaptionPanel->SetBlockIndex(CaptionPanel->GetBlockIndex() == 0 ? 1 : 0);
}

// ---- Judgement ------------------------------------------------------------------------------------------------

void TMusicUnit::ResetPlay() {
  judgeValue_ = 2;
  judgeDecay_ = 0;
  judgeDrawn_ = -1;
  hitLamp_ = 0;
  lastPitch_ = -1;
  flashPhase_ = flashCount_ = 0;
  gauge_ = kGaugeStart;
  score_ = 0;
  combo_ = 0;
  checkValue_ = kCheckStart;
}

void TMusicUnit::ReadClock(std::uint32_t& position, std::uint32_t& ms) const {
  if (timingMode_ == 0) {
    ms = GameClock();
    position = MsToPosition(ms);
    return;
  }
  position = songStream_ != nullptr ? songStream_->GetPosition() >> 1 : previousPosition_;
  ms = static_cast<std::uint32_t>(static_cast<std::uint64_t>(position) * 5 / 441);
}

void TMusicUnit::JudgeNotes(int frames, TDInputUnit* input) {
  if (notes_ == nullptr) return;
  std::uint32_t position = 0, ms = 0;
  ReadClock(position, ms);
  for (int i = 0; i < spriteCount_; ++i) MarkSprite(sprites_[i].x, sprites_[i].y);
  bestJudgement_.fill(0);
  bestNote_.fill(-1);
  ScanNotes(position);
  TakeKeys(input);
  TakePad(input);
  BuildSprites(frames, position);
  HitLamp->SetVisible(hitLamp_ > 0);
  if (hitLamp_ > 0) --hitLamp_;
  PerformDueEvents(2);
  previousPosition_ = position_ = position;
  previousMs_ = ms;
}

void TMusicUnit::ScanNotes(std::uint32_t position) {
  const std::uint32_t previous = previousPosition_;
  bool allDone = true;
  for (int i = firstNote_; i < noteCount_; ++i) {
    TMusicNote& note = notes_[i];
    if (i > lowNote_ && allDone) lowNote_ = i;
    const std::uint32_t time = note.time;
    const std::uint32_t distance = time <= previous ? previous - time + 1 : time > position ? time - position : 0;
    if (note.pitch >= 0 && distance <= kWindowBest) hitLamp_ = 3;
    if (i < lowNote_) continue;
    if (distance > kWindowFair && time > position) break;
    if (distance == 0) {
      if (note.pitch >= 0 && note.autoPlay) {
        PlayTone(note.pitch);
        lastPitch_ = note.pitch;
        UpdateGauge(3);
        note.state = 5;
      }
      if (note.text >= 0) {
        const char* word = GetLyric(note.text);
        ShowWord(word != nullptr ? VXString(word) : VXString());
        note.state = 1;
      }
    }
    if (note.pitch >= 0) {
      const int judgement = distance <= kWindowBest   ? 3
                            : distance <= kWindowGood ? 2
                            : distance <= kWindowFair ? 1
                            : time <= previous        ? 0
                                                      : -1;
      if (judgement >= 0 && !note.autoPlay && note.state == 0 && InRange(note.key, kKeyIndices)) {
        if (judgement == 0) {
          ShowJudgement(0);
          AddScore(0);
          UpdateGauge(0);
          lastPitch_ = note.pitch;
          if (charAnime_) MissReaction();
          note.state = 1;
        } else if (judgement > bestJudgement_[note.key]) {
          bestJudgement_[note.key] = judgement;
          bestNote_[note.key] = i;
        }
      }
    }
    if (note.state == 0) allDone = false;
  }
}

int TMusicUnit::ReadKeys(TDInputUnit* input) {
  if (input == nullptr) return 0;
  TDInputUnit::KeyEvent events[kMaxKeyEvents];
  const int n = std::clamp(input->GetKeyEvents(events, kMaxKeyEvents), 0, kMaxKeyEvents);
  for (int i = 0; i < n; ++i) keyEvents_[i] = {events[i].key, events[i].pressed};
  return n;
}

void TMusicUnit::ReadPad(TDInputUnit* input) {
  previousPad_ = pad_;
  for (int b = 0; b < kPadButtons; ++b) pad_[b] = input != nullptr && input->IsButtonDown(::kPadButtons[b]);
}

int TMusicUnit::MapKey(std::uint32_t code) const {
  for (int row = 0; row < 3; ++row) {
    const auto first = static_cast<std::uint32_t>(kRowFirstCode[row]);
    if (code < first || code >= first + 10) continue;
    const int key = 10 * row + kRowColumns[code - first];
    if (level_ == 1) return key;
    if (level_ == 2) return key >= 2 && key <= 5 ? key : -1;
    return key <= 7 ? key : -1;
  }
  return -1;
}

void TMusicUnit::TakeKeys(TDInputUnit* input) {
  // Each reading takes up to 32 strokes; a bound keeps a flooding input from holding the frame.
  for (int reads = 0, n; reads < 64 && (n = ReadKeys(input)) > 0; ++reads) {
    for (int i = 0; i < n; ++i) {
      if (!keyEvents_[i].pressed) continue;
      if (keyEvents_[i].key == kScreenshotKey) calls_->TakeScreenshot();
      if (autoMode_ != 0) continue;
      const int key = MapKey(keyEvents_[i].key);
      if (key >= 0) PressKey(key);
    }
  }
}

void TMusicUnit::TakePad(TDInputUnit* input) {
  if (input == nullptr || !input->IsJoypadEnabled()) return;
  ReadPad(input);
  if (autoMode_ != 0) return;
  for (int b = 0; b < kPadButtons; ++b)
    if (pad_[b] && !previousPad_[b]) PressKey(b);
}

void TMusicUnit::PressKey(int key) {
  if (!InRange(key, kKeyIndices)) return;
  const int judgement = bestJudgement_[key];
  if (judgement < 0) return;
  if (const int n = bestNote_[key]; n >= 0) {
    TMusicNote& note = notes_[n];
    if (note.pitch >= 0) {
      PlayTone(note.pitch);
      lastPitch_ = note.pitch;
    }
    note.state = 5;
  } else if (lastPitch_ >= 0) {
    PlayTone(lastPitch_);
  }
  ShowJudgement(judgement <= 1 ? 0 : judgement);
  AddScore(judgement);
  UpdateGauge(judgement);
  if (judgement <= 1 && charAnime_) MissReaction();
  bestJudgement_[key] = -1;
}

void TMusicUnit::AddScore(int judgement) {
  int award = 0;
  if (judgement == 3) {
    combo_ = std::min(combo_ + 1, 10);
    award = 20 * combo_ + (gauge_ == kGaugeMax ? 111 : 15);
  } else {
    combo_ = 0;
    if (judgement == 2) award = 8;
  }
  if (award <= 0) return;
  award = std::min(award, kScoreMax - score_);
  score_ += award;
  SubtractCheck(&checkValue_, static_cast<std::uint32_t>(award));
  DrawScore();
}

void TMusicUnit::SubtractCheck(std::uint32_t* value, std::uint32_t amount) {
  // Subtraction spelled out bit by bit: the borrow moves left until none is left.
  do {
    *value ^= amount;
    amount = (amount & *value) << 1;
  } while (amount != 0);
}

void TMusicUnit::UpdateGauge(int judgement) {
  if (judgement == 0 || judgement == 1) --gauge_;
  if (judgement == 3) ++gauge_;
  gauge_ = std::clamp(gauge_, 0, kGaugeMax);
  DrawGauge();
}

void TMusicUnit::ShowJudgement(int judgement) {
  const int value = 2 * static_cast<signed char>(judgement);
  if (value == judgeValue_) return;
  judgeValue_ = value;
  judgeDecay_ = 0;
}

void TMusicUnit::DecayJudgement(int frames) {
  for (int f = 0; f < frames && judgeValue_ != 2; ++f) {
    if (++judgeDecay_ < 4) continue;
    judgeDecay_ = 0;
    judgeValue_ += judgeValue_ < 2 ? 1 : -1;
  }
}

void TMusicUnit::DrawGauge() {
  const int big = gauge_ / 10, small = gauge_ % 10;
  const int lit = gauge_ < kGaugeClear ? 1 : flashPhase_ == 3 ? 2 : flashPhase_ + 1;
  for (int i = 0; i < kPopBigs; ++i)
    if (popBigs_[i] != nullptr) popBigs_[i]->SetBlockIndex(i >= big ? i : i + 5 * lit);
  for (int i = 0; i < kPopSmalls; ++i)
    if (popSmalls_[i] != nullptr) popSmalls_[i]->SetBlockIndex(i <= small ? i + 10 : i);
}

void TMusicUnit::DrawScore() {
  std::int64_t divisor = 1;
  for (int i = 0; i < kScoreDigits; ++i, divisor *= 10) {
    if (scores_[i] == nullptr) continue;
    const std::int64_t q = score_ / divisor;
    scores_[i]->SetVisible(i == 0 || q != 0);
    scores_[i]->SetBlockIndex(static_cast<int>(q % 10));
  }
}

void TMusicUnit::DrawJudgement() {
  if (gauge_ >= kGaugeClear && ++flashCount_ >= kFlashCalls) {
    flashCount_ = 0;
    flashPhase_ = (flashPhase_ + 1) % 4;
    DrawGauge();
  }
  if (judgeValue_ == judgeDrawn_ || GClef == nullptr) return;
  judgeDrawn_ = judgeValue_;
  TZoRGBBits* image = GClef->GetImage();
  TZoAlpha* plane = GClef->GetAlpha();
  if (image == nullptr || plane == nullptr || clefBits_ == nullptr) return;
  plane->Fill(0);
  GClef->SetModify();
  const int k = std::clamp(6 - judgeValue_, 0, 6);
  const int x = 4 * k, y = 10 * k;
  const int w = std::min(96 - 8 * k, image->GetWidth() - x), h = std::min(240 - 20 * k, image->GetHeight() - y);
  if (w <= 0 || h <= 0 || image->GetBitDepth() != clefBits_->GetBitDepth() || !image->Lock()) return;
  if (clefBits_->Lock()) {
    const int bytes = static_cast<int>(image->GetBitDepth());
    const auto stretch = bytes == 4 ? &StretchCopy32 : &StretchCopy24;
    stretch(clefBits_->GetBits(), clefBits_->GetWidth(), clefBits_->GetHeight(), clefBits_->GetPitch(),
            image->GetBits() + static_cast<std::ptrdiff_t>(y) * image->GetPitch() + x * bytes, w, h,
            image->GetPitch());
    clefBits_->Unlock();
  }
  image->Unlock();
  if (clefAlpha_ != nullptr && clefAlpha_->GetWidth() == clefBits_->GetWidth() &&
      clefAlpha_->GetHeight() == clefBits_->GetHeight() && w <= plane->GetWidth() - x && h <= plane->GetHeight() - y)
    StretchCopy8(clefAlpha_->GetBits(), clefAlpha_->GetWidth(), clefAlpha_->GetHeight(), clefAlpha_->GetPitch(),
                 plane->At(x, y), w, h, plane->GetPitch());
  else
    plane->BoxFill(x, y, x + w - 1, y + h - 1, 255);
}

void TMusicUnit::PlayTone(int pitch) {
  // A tone number from the chart is an index into the key sounds: one outside them plays nothing.
  if (!InRange(pitch, keyCount_)) return;
  if (!memorySave_) {
    if (keyBuffers_[pitch] != nullptr) keyBuffers_[pitch]->Play(false);
    return;
  }
  PlayCachedTone(pitch);
}

void TMusicUnit::PlayCachedTone(int pitch) {
  int at = kToneCache - 1;
  for (int i = 0; i < kToneCache; ++i) {
    const TToneSlot& slot = toneCache_[toneOrder_[i]];
    if (slot.pitch == -1 || slot.pitch == pitch) {
      at = i;
      break;
    }
  }
  const int chosen = toneOrder_[at];
  std::rotate(toneOrder_.begin(), toneOrder_.begin() + at, toneOrder_.begin() + at + 1);
  TToneSlot& slot = toneCache_[chosen];
  if (slot.pitch != pitch && slot.pitch != -1) {
    Mem()->Delete(slot.buffer);
    slot = {};
  }
  if (slot.pitch == -1) {
    slot.pitch = pitch;
    slot.buffer = CreateKeySoundBuffer(keyStreams_[pitch], static_cast<TKeySoundKind>(keyKinds_[pitch]));
    if (slot.buffer != nullptr) slot.buffer->SetVolume(VolumeToAttenuation(keyVolume_));
  }
  if (slot.buffer != nullptr) slot.buffer->Play(false);
}

void TMusicUnit::MarkSprite(int x, int y) {
  const VXRect r = Intersect({x, y, x + kNoteWidth, y + kNoteHeight}, kSheetClip);
  if (!IsEmpty(r)) SheetP->SetModifyRect(r);
}

void TMusicUnit::BuildSprites(int frames, std::uint32_t position) {
  spriteCount_ = 0;
  for (int i = firstNote_; i < noteCount_; ++i) {
    TMusicNote& note = notes_[i];
    if (note.pitch < 0 || !InRange(note.key, kKeyIndices)) continue;
    const std::int64_t x = static_cast<std::int64_t>(note.time / kPositionsPerPixel) -
                           static_cast<std::int64_t>(position / kPositionsPerPixel) + kJudgementLine;
    if (x <= -18) {
      firstNote_ = i;
      continue;
    }
    if (x >= kSheetClip.right) break;
    if (spriteCount_ < kMaxSprites) {
      const int column = note.key % 10;
      const int y = kSheetRows[column] + (note.state >= 2 ? 4 * (note.state - 1) : 0);
      int frame = kSheetFrames[column];
      if (note.marked) frame = frame < 5 ? 4 : 9;
      MarkSprite(static_cast<int>(x), y);
      sprites_[spriteCount_++] = {static_cast<int>(x), y, frame, note.key};
    }
    if (note.state > 1) note.state = std::max(1, note.state - frames);
  }
}

void TMusicUnit::MissReaction() {
  for (int c = 0; c < kCharacters; ++c) {
    if (stage_.characters[c].error.frameCount <= 0) continue;
    RedrawCharacter(c);
    characters_[c].errorPlay = {0, 0};
    RedrawCharacter(c);
  }
}

// ---- Lyrics ---------------------------------------------------------------------------------------------------

void TMusicUnit::ShowWord(const VXString& word) {
  if (wordMode_ == 0 || WordP == nullptr) return;
  if (word.IsEmpty()) {
    WordP->SetVisible(false);
    return;
  }
  RenderWord(word);
  WordP->SetVisible(true);
  WordP->SetModify();
}

void TMusicUnit::RenderWord(const VXString& word) {
  wordLength_ = word.Length();
  const int width = WordP->GetSizeX();
  if (wordMode_ == 1) {
    auto* picture = dynamic_cast<TZoRGBDib*>(WordP->GetImage());
    platform::font::TextTarget* dc = nullptr;
    if (picture == nullptr || !picture->GetTextTarget(&dc)) return;
    picture->Cls();
    const int x = (width - 12 * wordLength_) / 2;
    if (wordFont_.StartTextOut(dc, kWordOutline)) {
      wordFont_.Write(x + 1, 2, word);
      wordFont_.SetColor(kWordText);
      wordFont_.Write(x, 1, word);
      wordFont_.EndTextOut();
    }
    picture->ReleaseDC(dc);
    return;
  }
  if (wordWork_ == nullptr || wordBits_ == nullptr || wordAlpha_ == nullptr) return;
  // The word at double size into the work plane, then each 2 x 2 block averaged into the word's plane, with a
  // soft outline around it; the picture holds the text colour inside the outline colour.
  platform::font::TextTarget* dc = nullptr;
  wordWork_->Fill(0);
  if (!wordWork_->GetTextTarget(&dc)) return;
  if (wordFont_.StartTextOut(dc, 0xFFFFFF)) {
    wordFont_.Write((2 * width - 24 * wordLength_) / 2 + 2, 2, word);
    wordFont_.EndTextOut();
  }
  wordWork_->ReleaseDC(dc);
  const int w = wordAlpha_->GetWidth(), h = wordAlpha_->GetHeight();
  std::vector<unsigned char> text(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char* a = wordWork_->At(2 * x, 2 * y);
      const unsigned char* b = wordWork_->At(2 * x, 2 * y + 1);
      text[static_cast<std::size_t>(y) * w + x] = static_cast<unsigned char>((a[0] + a[1] + b[0] + b[1]) / 4);
    }
  if (!wordBits_->Lock()) return;
  const int bytes = static_cast<int>(wordBits_->GetBitDepth());
  const VXRGB inner(kWordText), outer(kWordOutline);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int outline = 0;
      for (int oy = std::max(0, y - 1); oy <= std::min(h - 1, y + 1); ++oy)
        for (int ox = std::max(0, x - 1); ox <= std::min(w - 1, x + 1); ++ox)
          outline = std::max<int>(outline, text[static_cast<std::size_t>(oy) * w + ox]);
      const int t = text[static_cast<std::size_t>(y) * w + x];
      const int a = std::max(t, outline * 3 / 4);
      wordAlpha_->PSet(x, y, static_cast<unsigned char>(a));
      const auto mix = [&](int from, int to) { return a == 0 ? from : from + (to - from) * t / a; };
      unsigned char* p = wordBits_->GetBits() + static_cast<std::ptrdiff_t>(y) * wordBits_->GetPitch() + x * bytes;
      p[0] = static_cast<unsigned char>(mix(outer.blue, inner.blue));
      p[1] = static_cast<unsigned char>(mix(outer.green, inner.green));
      p[2] = static_cast<unsigned char>(mix(outer.red, inner.red));
    }
  wordBits_->Unlock();
}

// ---- Stage: characters ----------------------------------------------------------------------------------------

void TMusicUnit::SetCharacterMotion(int character, int motion, bool interrupt) {
  if (!InRange(character, kCharacters) || !InRange(motion, kMotionsPerCharacter)) return;
  TCharacterPlay& play = characters_[character];
  RedrawCharacter(character);
  if (interrupt) {
    play.interrupt = motion;
    play.interruptPlay = {};
  } else {
    play.base = motion;
    play.basePlay = {};
  }
  RedrawCharacter(character);
}

void TMusicUnit::PlaceCharacter(int character, int x, int y, int steps) {
  if (!InRange(character, kCharacters)) return;
  TCharacterPlay& play = characters_[character];
  if (x >= kStageWidth || y >= kStageHeight) {
    if (!play.shown) return;
    RedrawCharacter(character);
    play.shown = false;
    play.move = {};
    return;
  }
  if (play.shown && charAnime_ && steps > 0) {
    play.move = {play.x, play.y, x, y, 0, steps};
    return;
  }
  RedrawCharacter(character);
  play.shown = true;
  play.x = x;
  play.y = y;
  play.move = {};
  RedrawCharacter(character);
}

const TMotion* TMusicUnit::CharacterMotion(int character, int* frame) const {
  const TCharacterPlay& play = characters_[character];
  const TCharacterMotions& motions = stage_.characters[character];
  const TMotion* motion = &motions.motion[play.base];
  const TMotionPlay* state = &play.basePlay;
  if (play.errorPlay.state >= 0) {
    motion = &motions.error;
    state = &play.errorPlay;
  } else if (InRange(play.interrupt, kMotionsPerCharacter)) {
    motion = &motions.motion[play.interrupt];
    state = &play.interruptPlay;
  }
  *frame = MotionFrame(*motion, *state);
  return *frame >= 0 && motion->picture != nullptr ? motion : nullptr;
}

VXRect TMusicUnit::CharacterRect(int character) const {
  int frame = 0;
  const TMotion* motion = CharacterMotion(character, &frame);
  const TCharacterPlay& play = characters_[character];
  if (!play.shown || motion == nullptr) return {0, 0, 0, 0};
  return Intersect({play.x, play.y, play.x + motion->cellWidth, play.y + motion->cellHeight},
                   {0, 0, kStageWidth, kStageHeight});
}

void TMusicUnit::RedrawCharacter(int character) {
  const VXRect r = CharacterRect(character);
  if (!IsEmpty(r) && BGPanel != nullptr) BGPanel->SetModifyRect(r);
}

void TMusicUnit::StepCharacters(int frames) {
  for (int c = 0; c < kCharacters; ++c) {
    TCharacterPlay& play = characters_[c];
    if (!play.shown) continue;
    const TCharacterMotions& motions = stage_.characters[c];
    const VXRect before = CharacterRect(c);
    bool redraw = StepMotion(motions.motion[play.base], play.basePlay, frames, true);
    const auto stepOnce = [&](const TMotion& motion, TMotionPlay& state) {
      redraw |= StepMotion(motion, state, frames, false);
      const bool over = motion.frameCount <= 0 || (state.state & kMotionFinished) != 0;
      redraw |= over;
      return over;
    };
    if (InRange(play.interrupt, kMotionsPerCharacter) && stepOnce(motions.motion[play.interrupt], play.interruptPlay))
      play.interrupt = -1;
    if (play.errorPlay.state >= 0 && stepOnce(motions.error, play.errorPlay)) play.errorPlay.state = -1;
    TMove& move = play.move;
    if (move.duration > 0) {
      move.elapsed = static_cast<int>(std::min<std::int64_t>(move.duration, std::int64_t{move.elapsed} + frames));
      const auto along = [&](int from, int to) {
        return static_cast<int>(from + (std::int64_t{to} - from) * move.elapsed / move.duration);
      };
      const int x = along(move.fromX, move.toX), y = along(move.fromY, move.toY);
      redraw |= x != play.x || y != play.y;
      play.x = x;
      play.y = y;
      if (move.elapsed >= move.duration) move = {};
    }
    if (!redraw) continue;
    if (!IsEmpty(before)) BGPanel->SetModifyRect(before);
    RedrawCharacter(c);
  }
}

void TMusicUnit::SortCharacters() {
  const auto bottom = [this](int c) {
    int frame = 0;
    const TMotion* motion = CharacterMotion(c, &frame);
    return std::int64_t{characters_[c].y} + (motion != nullptr ? motion->cellHeight : 0);
  };
  bool changed = false;
  for (int i = 1; i < kCharacters; ++i)
    for (int j = i; j > 0 && bottom(drawOrder_[j - 1]) > bottom(drawOrder_[j]); --j) {
      std::swap(drawOrder_[j - 1], drawOrder_[j]);
      changed = true;
    }
  if (changed)
    for (int c = 0; c < kCharacters; ++c) RedrawCharacter(c);
}

void TMusicUnit::DrawCharacter(int character, TZoRGBBits* dest, const VXRect& area, int ox, int oy) {
  int frame = 0;
  const TMotion* motion = CharacterMotion(character, &frame);
  if (motion == nullptr || motion->columns < 1) return;
  const int cell = motion->cell[frame];
  if (cell < 0 || static_cast<std::int64_t>(cell) >= static_cast<std::int64_t>(motion->columns) * motion->rows) return;
  const TCharacterPlay& play = characters_[character];
  const VXRect r = Intersect({play.x, play.y, play.x + motion->cellWidth, play.y + motion->cellHeight}, area);
  if (IsEmpty(r)) return;
  DrawCell(dest, ox, oy, motion->picture, motion->alpha, (cell % motion->columns) * motion->cellWidth,
           (cell / motion->columns) * motion->cellHeight, play.x, play.y, r);
}

// ---- Stage: background ----------------------------------------------------------------------------------------

TZoRGBBits* TMusicUnit::NewBackBits() {
  VXMemMan& mem = *Mem();
  TZoRGBBits* bits = mem.CreateVCL<TZoRGBBits>(nullptr);
  if (bits == nullptr) return nullptr;
  bits->SetBitDepth(GameServices()->GetWorkingBitDepth());
  if (!bits->Resize(kStageWidth, kStageHeight) || !bits->Create()) mem.Delete(bits);
  return bits;
}

bool TMusicUnit::DecodeBackPicture(const TBackPicture& picture, TZoRGBBits* into) {
  static constexpr int kKinds[] = {ikBmp, ikJpeg, ikPng};
  if (into == nullptr || picture.stream == nullptr || picture.kind > 2) return false;
  into->Cls();
  return picture.stream->Seek(0, VXSeekBegin) == 0 &&
         DrawImageStream(into, nullptr, kKinds[picture.kind], 0, 0, picture.stream);
}

bool TMusicUnit::StartFade(int fade) {
  if (!backAnime_ || fade <= 0) {
    ReleaseBackBits();
    return false;
  }
  VXMemMan& mem = *Mem();
  for (auto*& bits : previousBits_) mem.Delete(bits);
  previousBack_ = back_;
  if (back_.mode == 2) {
    previousBits_ = backBits_;
    backBits_.fill(nullptr);
  } else {
    for (auto*& bits : backBits_) mem.Delete(bits);
    previousBits_[0] = NewBackBits();
    if (previousBits_[0] != nullptr && BGPanel->GetImage() != nullptr)
      previousBits_[0]->Draw(0, 0, BGPanel->GetImage(), 0, 0, kStageWidth, kStageHeight);
  }
  fadeLength_ = std::min(fade, kFadeMaxLength);
  fadeElapsed_ = 0;
  fadeStep_ = 0;
  return true;
}

void TMusicUnit::ShowBackPicture(int picture, int fade) {
  const bool fading = StartFade(fade);
  TZoRGBBits* image = BGPanel->GetImage();
  if (!InRange(picture, kBackPictureSlots) || stage_.backPictures[picture].stream == nullptr) {
    back_ = {};
    ReleaseBackBits();
    if (image != nullptr) image->Cls();
    BGPanel->SetModify();
    return;
  }
  back_ = {1, picture, 0, 0};
  if (!fading) {
    DecodeBackPicture(stage_.backPictures[picture], image);
    BGPanel->SetModify();
    return;
  }
  backBits_[0] = NewBackBits();
  DecodeBackPicture(stage_.backPictures[picture], backBits_[0]);
  ShowBackFrame();
}

void TMusicUnit::ShowBackAnime(int anime, int fade) {
  StartFade(fade);
  if (!InRange(anime, kBackAnimes) || stage_.backAnimes[anime].count <= 0) {
    ShowBackPicture(-1, 0);
    return;
  }
  const TBackAnime& slot = stage_.backAnimes[anime];
  back_ = {2, anime, 0, 0};
  for (int i = 0; i < std::min(slot.count, kBackAnimeFrames); ++i) {
    if (backBits_[i] == nullptr) backBits_[i] = NewBackBits();
    DecodeBackPicture(slot.frame[i], backBits_[i]);
  }
  ShowBackFrame();
}

void TMusicUnit::StepBackground(int frames) {
  constexpr int kMaxStep = 1 << 16;
  frames = std::min(frames, kMaxStep);
  bool changed = false;
  if (back_.mode == 2 && InRange(back_.index, kBackAnimes)) {
    const TBackAnime& anime = stage_.backAnimes[back_.index];
    const int count = std::min(anime.count, kBackAnimeFrames);
    back_.tick += frames;
    while (count > 0 && back_.tick >= std::max(1, anime.duration[back_.frame % count])) {
      back_.tick -= std::max(1, anime.duration[back_.frame % count]);
      back_.frame = (back_.frame + 1) % count;
      changed = true;
    }
  }
  if (fadeStep_ >= 0) {
    fadeElapsed_ = std::min(fadeElapsed_ + frames, kFadeSteps * kFadeMaxLength);
    const int step = std::min(kFadeSteps, fadeElapsed_ / std::max(1, fadeLength_));
    changed |= step != fadeStep_;
    fadeStep_ = step;
  }
  if (changed) ShowBackFrame();
}

void TMusicUnit::ShowBackFrame() {
  TZoRGBBits* image = BGPanel->GetImage();
  if (image == nullptr) return;
  TZoRGBBits* frame = back_.mode == 2   ? backBits_[std::clamp(back_.frame, 0, kBackAnimeFrames - 1)]
                      : back_.mode == 1 ? backBits_[0]
                                        : nullptr;
  TZoRGBBits* old = previousBack_.mode == 2 ? previousBits_[std::clamp(previousBack_.frame, 0, kBackAnimeFrames - 1)]
                                            : previousBits_[0];
  if (fadeStep_ >= 0 && fadeStep_ < kFadeSteps && old != nullptr && frame != nullptr) {
    image->AlphaBlend(0, 0, old, 0, 0, frame, 0, 0, kStageWidth, kStageHeight, 8 * fadeStep_);
  } else {
    if (frame != nullptr) image->Draw(0, 0, frame, 0, 0, kStageWidth, kStageHeight);
    if (fadeStep_ >= 0) {
      // The fade is over: the old background goes, and so does a single picture's own copy.
      VXMemMan& mem = *Mem();
      for (auto*& bits : previousBits_) mem.Delete(bits);
      if (back_.mode == 1) mem.Delete(backBits_[0]);
      fadeStep_ = -1;
    }
  }
  BGPanel->SetModify();
}

// ---- Drawing handlers -----------------------------------------------------------------------------------------

bool TMusicUnit::BGPanelDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (TZoRGBBits* image = BGPanel->GetImage()) dest->ClipDraw(x, y, image, sx, sy, dx, dy);
  const VXRect area{sx, sy, sx + dx, sy + dy};
  for (int c : drawOrder_)
    if (characters_[c].shown) DrawCharacter(c, dest, area, x - sx, y - sy);
  return true;
}

bool TMusicUnit::SheetPDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (phase_ != 3) return false;
  if (TZoRGBBits* image = SheetP->GetImage()) dest->ClipDraw(x, y, image, sx, sy, dx, dy);
  const VXRect clip = Intersect({sx, sy, sx + dx, sy + dy}, kSheetClip);
  const int ox = x - sx, oy = y - sy;
  for (int i = 0; i < spriteCount_; ++i) {
    const TSprite& s = sprites_[i];
    const VXRect note = Intersect({s.x, s.y, s.x + kNoteWidth, s.y + kNoteHeight}, clip);
    if (!IsEmpty(note))
      DrawCell(dest, ox, oy, noteBits_, noteAlpha_, (s.frame % 5) * kNoteWidth, s.frame < 5 ? 0 : kNoteHeight, s.x,
               s.y, note);
    const int labelY = s.frame < 5 ? s.y + kLabelOffset : s.y;
    const VXRect label = Intersect({s.x, labelY, s.x + kNoteWidth, labelY + kLabelHeight}, clip);
    if (!IsEmpty(label))
      DrawCell(dest, ox, oy, alphabetBits_, alphabetAlpha_, kNoteWidth * (s.key % 10), kLabelHeight * (s.key / 10),
               s.x, labelY, label);
  }
  return true;
}

bool TMusicUnit::WordPDraw(Classes::TComponent*, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (wordMode_ != 2) return false;
  if (wordBits_ == nullptr || wordAlpha_ == nullptr) return true;
  // The word's band, centred, never wider than the panel (a long word would reach outside the word's plane).
  const int width = WordP->GetSizeX();
  const std::int64_t bandWidth = std::int64_t{12} * wordLength_ + 8;
  const int left = static_cast<int>(std::max<std::int64_t>(0, (width - bandWidth) / 2));
  const VXRect band{left, 0, static_cast<int>(std::min<std::int64_t>(width, left + bandWidth)), WordP->GetSizeY()};
  const VXRect r = Intersect(Intersect(band, {sx, sy, sx + dx, sy + dy}),
                             {0, 0, wordBits_->GetWidth(), wordBits_->GetHeight()});
  if (!IsEmpty(r))
    dest->DrawAlphaMask(x + r.left - sx, y + r.top - sy, wordBits_, r.left, r.top, r.right - r.left, r.bottom - r.top,
                        wordAlpha_);
  return true;
}

void TMusicUnit::PanelCreate(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) LoadPanelImage(panel, dataFiles_, panel->GetText());
}

void TMusicUnit::PanelRelease(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) ReleasePanelImage(panel);
}
