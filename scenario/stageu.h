// The stage of the adventure: the scene behind the text windows. A background picture (still or animated), up to
// three characters standing at the left, centre and right, weather behind and in front of them, and the changes
// between two states of the scene: transitions (the stage's own `TEffectMan`), characters entering and leaving,
// screen shakes and a white flash.
//
// The unit is a form-designed module ("StageUnit.form"). `StagePanel` is what the adventure host shows: its own
// 640 x 480 picture, a copy of the composed scene or the running transition. The scene is composed in two panel
// trees that are never attached anywhere: layer set 1 (`BGPanel` and its children, the current scene) and layer
// set 2 (`BGPanel2`, the previous scene, shown only while a transition runs). Both are always drawn at (0, 0) of a
// 640 x 480 picture, so the background's alpha plane lines up with the picture they are drawn into.
//
// Driving it (game thread, under the game lock):
//
//   stage.Open(systemFiles);                  // packs "EvBG.pak" / "EvCG.pak" (else folders "EvBG_Pak" / "EvCG_Pak")
//   stage.Attach(hostPanel);
//   stage.SetDayPeriod(..); stage.SetWeatherCode(..); stage.SetStageLevel(..); stage.SetBGCode(..);
//   stage.SetChars(numbers, moveKind);
//   stage.ChangeStage(transition, rate);       // or ChangeChars(), StartShake(kind)
//   every frame: stage.Frame(elapsedFrames, skip);  // true while busy
//
// Time is counted in frames of the game clock: animation waits, the weather timers and the effect progress.
// Random draws (weather, blinks, the random shake) come from the shared generator (core/vxsharedrandom.h).
//
// Background codes. A code c is a digit d = c / 1000 and a number n = c mod 1000 (997 is 999). Numbers below 500
// are places: the pictures r .. r + 7 of a place r = n / 10 x 10 are its periods of day (day, evening, night,
// morning) in fair weather and then in bad weather, chosen by the period and the weather code. 500-899 are event
// pictures shown as they are, 998 white, 999 (and 900 and above without a file) black. d gives the weather flags:
// F1 (1, 4, 5: seen from inside, the weather drawn only through the picture's alpha plane), F2 (2, 4: rain in
// perspective), F3 (3, 5: heavy rain). Pictures are "bg%03d" + ".bmp", ".jpg", ".png" or ".lzh", or animated
// through "an%03d%c.ini" (letter 'a', or 'b' for rain), tried first.
//
// An animated background's definition names its picture, which holds the frames stacked top to bottom, 640 x 480
// each:
//   [BASE]
//   IMAGE=an120a.jpg
//   FRAMES=4        ; 1..16
//   WAIT=8          ; frames of the clock per picture, at least 1
// A definition without a usable IMAGE shows "Dammy.jpg", one frame.
//
// Character definitions ("chr%03d.ini" beside the sheet "chr%03d.png"), read line by line: "[BASE]" (WIDTH,
// HEIGHT: the character's frame), "[IMG]" (ID 0-15, then POSX, POSY, WIDTH, HEIGHT: a rectangle of the sheet;
// WIDTH 0 is no picture), "[ANIM]" (ID 0-3, then ANIMATION = up to 16 items "<image,wait>", "<LOOP>", "<END>"),
// "[ENTRY]" (ID 0-3, then POSX, POSY, IMG_ID, ANIM_ID). Entry 0 and 3 run from the start, entry 1 blinks at
// random intervals, entry 2 is the talking animation (`SetTalk`). Definitions are checked against the sheet: the
// frame is held to 0..kMaxCharSide, rectangles are cut to the sheet, picture numbers outside -2..15 (image
// numbers outside 0..15, animation numbers outside 0..3) count as none, positions are held to the panel limits.
#pragma once

#include <cstdint>
#include <memory>

#include "core/vxcallback.h"
#include "core/vxrect.h"
#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "shell/gameeffect.h"

class TZoAlpha;
class TZoRGBBits;
class VXFileMan;
class VXStringList;

// ---- Character definitions

struct TCharImage {
  int x = 0, y = 0, w = 0, h = 0;  // a rectangle of the sheet; w 0: no picture
};

struct TCharAnimFrame {
  static constexpr int kEnd = -1;   // the animation stops (frames not given hold it)
  static constexpr int kLoop = -2;  // back to frame 0
  int image = kEnd;
  int wait = 1;  // frames, at least 1
};

struct TCharEntry {
  int x = 0, y = 0;  // place inside the character's frame
  int imgId = -1;    // a fixed picture; -1: the animation's
  int animId = -1;   // -1: none
  int run = -1;      // frames shown of the current animation frame; -1: stopped
  int frame = 0;     // current animation frame
};

struct TCharDefinition {
  static constexpr int kImages = 16, kAnims = 4, kFrames = 16, kEntries = 4;
  static constexpr int kMaxCharSide = 2048;
  int width = 0, height = 0;
  TCharImage images[kImages];
  TCharAnimFrame anims[kAnims][kFrames];
  TCharEntry entries[kEntries];

  // The picture an entry shows now (0..15), or -1 for none.
  int EntryImage(int entry) const;
  // Where the entry's picture lies in the character's frame; empty when it shows none.
  VXRect EntryRect(int entry) const;
};

// Reads the definition text over `def` (which starts as a default definition).
void ReadCharDefinition(const VXStringList& text, TCharDefinition& def);
// Holds a read definition to what a sheet of sheetWidth x sheetHeight can show (see the header comment).
void FitCharDefinition(TCharDefinition& def, int sheetWidth, int sheetHeight);
// One frame of an entry's animation; true when the picture it shows changed (the rectangles before and after want
// redrawing). Stopped entries, entries without an animation and entries on a picture below 0 stay as they are.
bool AdvanceCharEntry(const TCharDefinition& def, TCharEntry& entry);

// ---- Animated background definitions

struct TBGAnimDefinition {
  static constexpr int kMaxFrames = 16;
  VXString image = "Dammy.jpg";
  int frames = 1;
  int wait = 4;
};
TBGAnimDefinition ReadBGAnimDefinition(const VXStringList& text);

// ---- The unit

class TStageUnit : public Classes::TComponent {
public:
  // Stage modes.
  enum : int { smClosed = 0, smIdle = 1, smTransition = 2, smMove = 3, smShake = 4 };
  static constexpr int kNoBG = 999;
  static constexpr std::uint8_t kStillVariant = 255;
  static constexpr int kParticles = 128;
  static constexpr int kScratchLines = 4;

  // A background slot: 0 the current scene, 1 the previous scene while a transition runs.
  struct BGStat {
    bool created = false;
    TZoRGBBits* image = nullptr;  // 640 x 480 x frameCount, frames stacked from the top
    TZoAlpha* alpha = nullptr;    // storage only when the picture brought an alpha channel
    int weatherKind = 0;          // 0-8
    int weatherTimer = 0;
    std::int16_t px[kParticles] = {};
    std::int16_t py[kParticles] = {};
    int weatherAux[4] = {};  // snow: the drift of the four flake groups; scratches: each line's drift
    int stageLevel = 4;
    int frameCount = 1;
    int frameWait = 0;  // 0: a still picture
    int tickCount = 0;
    int frame = 0;
    bool HasAlpha() const;
  };

  // A character slot: sets 0 standing, 1 previous scene, 2 leaving; in each left, centre, right.
  struct CharStat {
    bool created = false;
    TCharDefinition def;
    TZoRGBBits* sheet = nullptr;
    TZoAlpha* alpha = nullptr;  // storage only when the sheet brought an alpha channel
    int blinkTimer = 0;
  };
  enum : int { csStanding = 0, csPrevious = 1, csLeaving = 2 };

  // Loads the form resource "StageUnit" (platform::form::EFormError when it cannot).
  explicit TStageUnit(Classes::TComponent* owner);
  ~TStageUnit() override;

  // ---- Panels from the form (owned by the unit)
  TZoRGBPanel* StagePanel = nullptr;
  TZoRGBPanel* BGPanel = nullptr;
  TZoRGBPanel* CharLeft = nullptr;
  TZoRGBPanel* CharRight = nullptr;
  TZoRGBPanel* CharCenter = nullptr;
  TZoRGBPanel* OutCharLeft = nullptr;
  TZoRGBPanel* OutCharCenter = nullptr;
  TZoRGBPanel* OutCharRight = nullptr;
  TZoRGBPanel* WeatherBack = nullptr;
  TZoRGBPanel* WeatherFront = nullptr;
  TZoRGBPanel* BGMaskTop = nullptr;
  TZoRGBPanel* BGMaskBtm = nullptr;
  TZoRGBPanel* BGPanel2 = nullptr;
  TZoRGBPanel* CharLeft2 = nullptr;
  TZoRGBPanel* CharCenter2 = nullptr;
  TZoRGBPanel* CharRight2 = nullptr;
  TZoRGBPanel* WeatherBack2 = nullptr;
  TZoRGBPanel* WeatherFront2 = nullptr;
  TZoRGBPanel* BGMaskTop2 = nullptr;
  TZoRGBPanel* BGMaskBtm2 = nullptr;

  // ---- Life cycle
  // The folder that holds the background and character packs (CP932, Windows form, ending in a separator); empty
  // (the default) is the current folder, the game folder.
  void SetDataFolder(const VXString& folder) { dataFolder_ = folder; }
  // Needs the game services (device/gameservices.h) for its pictures. False, with everything it made released,
  // when anything fails ("Snow.bmp" among the system files included).
  bool Open(VXFileMan* systemFiles);
  void Close();
  bool IsOpen() const { return open_; }
  void Attach(TZoRGBPanel* parent);
  void Detach();
  void SetMouseCallback(VXBaseCallback1<bool, int> callback) { mouseCallback_ = callback; }
  // An empty stage: no background (999), no characters, no weather, level 4, idle.
  void Reset();

  // ---- What the host hands over before a rebuild
  void SetDayPeriod(int period) { period_ = period; }  // TDayPeriod
  void SetWeatherCode(int code) { weatherCode_ = code; }  // 0-5
  void SetBGCode(int code) { bgCode_ = code; }
  void SetChars(const int numbers[3], int moveKind);
  void SetStageLevel(int level);  // kept only for 0-4

  // ---- Changes; each returns whether the stage is busy afterwards
  bool ChangeStage(int transition, int ratePercent);
  bool ChangeStage(int transition) { return ChangeStage(transition, 100); }
  bool ChangeChars();
  bool StartShake(int kind);  // 0-3 shakes, 4 a white flash; others nothing
  // The frame's update after `ticks` frames (0 only asks); `skip` ends a running change at once.
  bool Frame(int ticks, bool skip);
  // A transition, movement, shake or flash runs (a closed stage is not busy).
  bool IsBusy() const { return mode_ >= smTransition; }
  void SetTalk(int slot, bool on);
  void ResetCharEntries();

  // ---- Slots
  void BGStatCreate(BGStat& slot, int frames);  // throws std::runtime_error "TStageUnit::BGStatCreate ..."
  void BGStatRelease(BGStat& slot);
  void BGStatShare(BGStat& dst, BGStat& src);
  void BGStatMove(BGStat& dst, BGStat& src);
  void CharStatCreate(CharStat& slot);  // throws std::runtime_error "TStageUnit::CharStatCreate Alloc Error"
  void CharStatRelease(CharStat& slot);
  void CharStatMove(CharStat& dst, CharStat& src);

  // ---- Draw handlers (the panels' OnDraw) and input
  bool StagePanelDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool BGPanelDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool BGPanel2Draw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool CharLeftDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool CharCenterDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool CharRightDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool OutCharLeftDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool OutCharCenterDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool OutCharRightDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool CharLeft2Draw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool CharCenter2Draw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool CharRight2Draw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool WeatherBackDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool WeatherFrontDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool WeatherBack2Draw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool WeatherFront2Draw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  void StagePanelMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);

  // ---- State, for the host and for tests
  int GetMode() const { return mode_; }
  int GetShownBG() const { return shownBG_; }
  std::uint8_t GetShownVariant() const { return shownVariant_; }
  int GetColourMode() const { return colourMode_; }
  int GetCharTint() const { return charTint_; }
  int GetStageLevel() const { return stageLevel_; }
  int GetShownChar(int slot) const;  // -1 outside 0-2
  int GetMoveStep() const { return moveStep_; }
  int GetDrawRate(int set, int slot) const;  // standing or leaving rate; -1 outside
  int GetEffectKind() const { return effectKind_; }  // the running transition's effect kind, -1 none
  int GetShakeKind() const { return shakeKind_; }
  int GetShakeX() const { return shakeX_; }
  int GetShakeY() const { return shakeY_; }
  bool GetSet2ShowsSlot1() const { return set2Slot1_; }
  bool GetPrevOwn(int slot) const { return slot >= 0 && slot < 3 && prevOwn_[slot]; }
  const BGStat& GetBGStat(int index) const { return bg_[index == 1 ? 1 : 0]; }
  const CharStat& GetCharStat(int set, int slot) const { return chars_[Clamp3(set)][Clamp3(slot)]; }
  TEffectMan& GetEffects() { return effects_; }
  // The standing, leaving and previous-scene panel of a slot (0-2).
  TZoRGBPanel* GetCharPanel(int set, int slot) const { return charPanels_[Clamp3(set)][Clamp3(slot)]; }

  // The weather table: whether the back and the front panel show kind k.
  static bool WeatherShowsBack(int kind);
  static bool WeatherShowsFront(int kind);
  // How many rain streaks a layer draws for a kind at a stage level (held to 0-4).
  static int BackStreaks(int kind, int level);
  static int FrontStreaks(int kind, int level);
  // Shake offsets at step t of a kind; false when the shake is over (offsets 0).
  static bool ShakeOffsets(int kind, int t, int& dx, int& dy);

private:
  static int Clamp3(int i) { return i < 0 ? 0 : i > 2 ? 2 : i; }
  struct TransitionRule;
  static const TransitionRule* FindTransition(int transition);

  void FinishChanges();
  bool BuildBackground(bool withTransition);  // true when the character tint or the colour mode changed
  bool LoadBackgroundPicture(BGStat& slot, int number, const VXString& file);
  void ApplyColourMode(TZoRGBBits* bits) const;
  void LoadChar(int slot, bool keepOld);
  bool LoadCharPicture(CharStat& cs, int number);
  void PlaceChar(int slot, int rate);
  void UnloadChar(int slot, bool keepOld);
  void MoveOut(int slot, int leaveMode);
  void TakeChar(int to, int from);
  void CopyGeometry(TZoRGBPanel* dst, const TZoRGBPanel* src);
  void SetMovePositions();
  void EndMove();
  bool StartEffect(int kind, int dataKind, const char* mask, int rate);
  void ReleaseEffect();    // the running effect, its data and its pictures
  void ReleasePrevious();  // background slot 1, the previous-scene characters, layer set 2
  void DrawScene(TZoRGBBits* picture);
  void ShowWeatherPanels(TZoRGBPanel* back, TZoRGBPanel* front, int kind);

  // Per-frame pieces.
  // Each marks the panel that shows what changed, and `mirror` (when given) as well: the previous-scene layer set
  // showing the same slot.
  void TickBackground(BGStat& slot, TZoRGBPanel* panel, TZoRGBPanel* mirror);
  enum : int { kBackChanged = 1, kFrontChanged = 2 };
  int TickWeather(BGStat& slot, int ticks);  // which layers changed
  void MarkWeather(int changed, TZoRGBPanel* back, TZoRGBPanel* front);
  void TickChar(CharStat& cs, TZoRGBPanel* panel, TZoRGBPanel* mirror, bool blink);
  void InitParticles(BGStat& slot);
  void PlaceStreaks(BGStat& slot);
  bool MoveSnow(BGStat& slot);
  void MarkEntry(TZoRGBPanel* panel, const CharStat& cs, int entry, TZoRGBPanel* mirror = nullptr);
  bool StepShake(bool skip);
  bool StepFlash(bool skip, int ticks);
  void RedrawStage(bool whole);

  // Drawing.
  bool DrawChar(const CharStat& cs, int rate, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  bool DrawBG(const BGStat& slot, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  void DrawWeather(const BGStat& slot, bool front, TZoRGBBits* dest, int x, int y, int sx, int sy, int w, int h);
  void DrawStreaks(const BGStat& slot, int from, int count, bool perspective, bool withAlpha, TZoRGBBits* dest,
                   const VXRect& clip, int ox, int oy);
  void DrawFlakes(const BGStat& slot, int from, int to, int size, int snowX, bool withAlpha, TZoRGBBits* dest,
                  const VXRect& clip, int ox, int oy);
  void DrawScratches(const BGStat& slot, TZoRGBBits* dest, const VXRect& clip, int ox, int oy);
  const BGStat& Set2Slot() const { return set2Slot1_ ? bg_[1] : bg_[0]; }

  bool open_ = false;
  int mode_ = smClosed;
  VXString dataFolder_;
  VXFileMan* systemFiles_ = nullptr;
  std::unique_ptr<VXFileMan> bgFiles_;
  std::unique_ptr<VXFileMan> charFiles_;
  VXBaseCallback1<bool, int> mouseCallback_;

  int bgCode_ = kNoBG;
  int shownBG_ = kNoBG;
  std::uint8_t shownVariant_ = kStillVariant;
  int colourMode_ = 0;  // 0 none, 1 sepia, 2 monochrome and negative
  int charTint_ = 0;    // 0-6
  int period_ = 0;
  int weatherCode_ = 0;
  int stageLevel_ = 4;

  BGStat bg_[2];
  bool bgShared_ = false;  // slot 1 shows slot 0's pictures
  bool set2Slot1_ = false;  // layer set 2 shows slot 1 (else slot 0)
  CharStat chars_[3][3];
  TZoRGBPanel* charPanels_[3][3] = {};
  int requested_[3] = {-1, -1, -1};
  int shown_[3] = {-1, -1, -1};
  int enterMode_[3] = {};
  int leaveMode_[3] = {};
  int standRate_[3] = {128, 128, 128};
  int leaveRate_[3] = {128, 128, 128};
  bool prevOwn_[3] = {};
  int moveKind_ = 0;
  int moveStep_ = 0;

  TZoRGBBits* snow_ = nullptr;
  TZoRGBBits* work_ = nullptr;

  TEffectMan effects_;
  TZoRGBBits* from_ = nullptr;
  TZoRGBBits* to_ = nullptr;
  int effectKind_ = -1;
  int effectData_ = -1;  // the kind whose data was loaded (11 water, 12 halation, 13/14 mask), -1 none
  bool simpleAtChange_ = false;
  bool justEnded_ = false;

  int shakeKind_ = 0;
  int shakeCounter_ = 0;
  int shakeX_ = 0;
  int shakeY_ = 0;
};
