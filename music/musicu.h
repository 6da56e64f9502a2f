// The music game's screen: one song from the opening curtain to the closing one. The game thread makes the unit,
// sets its options, opens it on a song (pictures, font, key sounds, chart, stage script, song audio), hangs
// `MusicPanel` under the game window's root, installs `MusicProc` as the window's per-frame input hook, calls
// `Start` and waits; the unit hands back 0 (cleared: gauge 40 or more), 1 (failed) or 2 (aborted: Esc held for a
// second, or any key in demo mode) through the game services' `NotifyMainThread`, and the thread then reads gauge,
// score and check value, calls `Stop` and `Close`.
//
// Phases: 0 idle, 1 opening curtain (60 frames, then 21), 2 the stage's [Before] events, 3 play, 4 [After]
// events, 5 closing curtain and result, 6 continue prompt (after a failed song).
//
// The song clock. Song positions count 88.2 a millisecond. In the "Wave" timing mode (the default) the position
// is the song stream's heard position (bytes / 2 of the 44.1 kHz 16-bit stereo audio: what has left the speaker),
// so notes are judged against the music the player hears; in the "Timer" mode it comes from the game window's
// millisecond clock. Stage events always keep the window's clock.
//
// Judgement: within 20 ms of a note 3 (best), 80 ms 2, 160 ms 1; a note passed by more than 160 ms, or a key
// struck with no note of its key within 160 ms, is a miss. Score: a best judgement scores 20 x combo + 15 (the
// combo counts up to 10; 96 more with a full gauge), a 2 scores 8; anything else breaks the combo. The gauge
// (0..59, from 20) rises by one for a best judgement and for every note the program plays, falls by one for a
// miss or a 1. The check value starts at 0x00FFFFFF and loses each award, so it always equals 0x00FFFFFF - score
// (mod 2^32).
//
// Threads: everything runs on the game thread (the hook under the game lock it takes itself); the sound objects
// are those of the game services' sound device. Bad data never leads the unit outside its arrays: event
// arguments, tone numbers, motion frames and cells are checked where they are used.
#pragma once

#include <array>
#include <cstdint>

#include "core/vxstring.h"
#include "graphics/vxfont.h"
#include "graphics/zorgbpanel.h"
#include "music/musicdef.h"
#include "platform/component.h"

class TDInputUnit;
class TZoAlpha;
class TZoAlphaDib;
class TZoRGBBits;
class VXFileMan;
class VXFileStreamW;
class VXMemMan;
class VXStream;

namespace DirectX {
class TDSoundBuffer;
class TDSoundStream;
}  // namespace DirectX

// What the music game asks of the game window's sound service and screenshot key. The defaults play nothing and
// report that no system sound plays; the game thread sets the window's own through `TMusicUnit::SetWindowCalls`.
class TMusicWindowCalls {
public:
  virtual ~TMusicWindowCalls() = default;
  virtual void PlaySystemSe(int /*index*/) {}
  virtual bool IsSystemSePlaying() { return false; }
  virtual void PlayVoice(VXFileMan* /*source*/, const VXString& /*name*/) {}
  virtual void TakeScreenshot() {}
};

class TMusicUnit : public Classes::TComponent {
public:
  static constexpr int kCurtains = 19;
  static constexpr int kPopBigs = 5;
  static constexpr int kPopSmalls = 10;
  static constexpr int kScoreDigits = 9;
  static constexpr int kMaxSprites = 256;
  static constexpr int kToneCache = 16;
  static constexpr int kMaxKeyEvents = 32;
  static constexpr int kPadButtons = 8;
  static constexpr int kGaugeMax = 59;
  static constexpr int kGaugeStart = 20;
  static constexpr int kGaugeClear = 40;
  static constexpr int kScoreMax = 999999999;
  static constexpr std::uint32_t kCheckStart = 0x00FFFFFF;
  // Judgement windows in song positions (88.2 a millisecond): 20, 80 and 160 ms.
  static constexpr std::uint32_t kWindowBest = 1764;
  static constexpr std::uint32_t kWindowGood = 7056;
  static constexpr std::uint32_t kWindowFair = 14112;

  // Loads the form resource "MusicUnit" (throws platform::form::EFormError when it cannot).
  explicit TMusicUnit(Classes::TComponent* owner);
  ~TMusicUnit() override;

  // ---- Components of the form (owned by the unit).
  TZoRGBPanel* MusicPanel = nullptr;
  TZoRGBPanel* BGPanel = nullptr;
  TZoRGBPanel* TitleP = nullptr;
  TZoRGBPanel* SheetP = nullptr;
  TZoRGBPanel* ScoreFrameP = nullptr;
  TZoRGBPanel* FrameBottom = nullptr;
  TZoRGBPanel* FrameLeft = nullptr;
  TZoRGBPanel* FrameRight = nullptr;
  TZoRGBPanel* FrameTop = nullptr;
  TZoRGBPanel* HitLamp = nullptr;
  TZoRGBPanel* GClef = nullptr;
  TZoRGBPanel* WordP = nullptr;
  TZoRGBPanel* ContinueCount = nullptr;
  TZoRGBPanel* ContinueInfo = nullptr;
  TZoRGBPanel* CaptionPanel = nullptr;

  // ---- Options: ignored while loaded, except the event number (which takes effect at the next Open).
  void SetTimingMode(std::uint8_t mode);  // 0 timer, 1 wave
  void SetVolumes(int main, int key);     // percent: the song, and the key and stage sounds
  void SetRankMode(std::uint8_t level);   // 0 normal, 1 hard, 2 easy
  void SetAutoMode(std::uint8_t mode);    // 0 off, 1 auto, 2 demo (any key ends the song)
  void SetWordMode(std::uint8_t mode);    // lyrics: 0 none, 1 normal, 2 high quality
  void SetCharAnime(std::uint8_t on);
  void SetBGAnime(std::uint8_t on);
  void SetMemorySave(std::uint8_t on);  // key sounds kept encoded in memory and decoded when played
  void SetEventNumber(int number);      // below 2 the main part, 2 "event", n "event<n - 1>"
  // Background animation 0 becomes the game's "SongBG<nn><i>.png" (no operation of the unit sets this).
  void SetStandardBack(std::uint8_t on, int number);
  void SetShowFrames(std::uint8_t on);
  // The window's sound service and screenshot (not owned; null: the defaults).
  void SetWindowCalls(TMusicWindowCalls* calls);

  // ---- Life cycle
  // Prepares the screen from the game's data (system pictures) and loads the song; false, with everything
  // released, when anything is missing or broken.
  bool Open(VXFileMan* dataFiles, TSongID id);
  bool LoadSong();
  void ReleaseSong();
  // Releases whatever Open made, also after an Open that failed half way.
  void Close();
  bool IsLoaded() const { return loaded_ != 0; }

  // ---- The song
  bool LoadSongText();
  bool LoadAnimeScript();
  // The cursor at the first event of section 0..3 (-1: the section is empty or there is no such section).
  void SetEventSection(int section);
  int NextEventTime() const;
  // Performs the event at the cursor when it lies in section `section`, and moves on; the cursor becomes -1 at the
  // section's end, at END, and at a record that does not fit the section.
  void PerformEvent(int section);
  bool StepBeforeEvents();
  bool StepAfterEvents();

  // ---- The play
  void Start();
  void Stop();
  // The per-frame hook: `frames` frames passed since the last call.
  void MusicProc(int frames, TDInputUnit* input);
  int AskContinue(int frames, TDInputUnit* input);  // 1 yes, 0 no, -1 undecided
  void Restart();
  void ResetPlay();
  void JudgeNotes(int frames, TDInputUnit* input);
  int ReadKeys(TDInputUnit* input);
  void ReadPad(TDInputUnit* input);
  void PressKey(int key);
  void AddScore(int judgement);
  void UpdateGauge(int judgement);
  void ShowJudgement(int judgement);
  void DecayJudgement(int frames);
  void DrawJudgement();
  void DrawGauge();
  void DrawScore();
  static void SubtractCheck(std::uint32_t* value, std::uint32_t amount);
  void PlayTone(int pitch);
  void ShowWord(const VXString& word);

  int GetGauge() const { return gauge_; }
  int GetScore() const { return score_; }
  std::uint32_t GetCheckValue() const { return checkValue_; }

  // ---- Form handlers
  bool SheetPDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool BGPanelDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  bool WordPDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);

  // ---- What the play shows, for the game thread, tests and tools.
  struct TSprite {
    int x, y, frame, key;
  };
  struct TMove {
    int fromX = 0, fromY = 0, toX = 0, toY = 0, elapsed = 0, duration = 0;
  };
  struct TCharacterPlay {
    bool shown = false;
    int base = 0;
    TMotionPlay basePlay;
    int interrupt = -1;
    TMotionPlay interruptPlay;
    TMotionPlay errorPlay{-1, 0};  // state -1: not running
    int x = 0, y = 0;
    TMove move;
  };
  struct TBackState {
    int mode = 0;  // 0 none, 1 picture, 2 animation
    int index = 0;
    int frame = 0;
    int tick = 0;
  };

  std::uint8_t GetPhase() const { return phase_; }
  int GetSongVersion() const { return songVersion_; }
  int GetKeyCount() const { return keyCount_; }
  const char* GetKeyName(int index) const;  // null outside 0 .. count - 1
  int GetNoteCount() const { return noteCount_; }
  const TMusicNote* GetNotes() const { return notes_; }
  const char* GetLyric(int offset) const;  // null for a word that is not in the pool
  const TStageData& GetStage() const { return stage_; }
  int GetEventCursor() const { return stage_.eventCursor; }
  int GetCombo() const { return combo_; }
  int GetJudgementDisplay() const { return judgeValue_; }
  int GetLastPitch() const { return lastPitch_; }
  std::uint32_t GetPosition() const { return position_; }  // of the last step
  int GetSpriteCount() const { return spriteCount_; }
  const TSprite& GetSprite(int index) const { return sprites_[index]; }
  const TCharacterPlay& GetCharacter(int index) const { return characters_[index]; }
  const std::array<int, kCharacters>& GetDrawOrder() const { return drawOrder_; }
  const TBackState& GetBack() const { return back_; }
  bool IsAborted() const { return aborted_ != 0; }
  DirectX::TDSoundStream* GetSongStream() const { return songStream_; }
  DirectX::TDSoundBuffer* GetToneBuffer(int pitch) const;  // the loaded or cached buffer of a tone; null if none

private:
  struct TToneSlot {
    int pitch = -1;
    DirectX::TDSoundBuffer* buffer = nullptr;
  };

  bool FindArrays();
  bool OpenPictures();
  bool OpenFrames();
  bool OpenLyrics();
  bool LoadKeySounds();
  bool OpenSongAudio();
  void ReleaseKeySounds();
  void ReleaseSongAudio();
  void ResetStage();
  void ReleaseBackBits();
  void ReleasePictures();
  VXMemMan* Mem() const;

  // Phases.
  void TestAbort(int frames, TDInputUnit* input);
  void StepPhase(int frames, TDInputUnit* input);
  void StepOpening(int frames);
  void StepClosing(int frames);
  void BeginPlay();
  void EndPlay();
  void EndAfter();
  void StepContinue(int frames, TDInputUnit* input);
  void NotifyResult(int result);
  void StopSong();
  void BlinkCaption(int frames);
  bool StepEvents(int section);
  void PerformDueEvents(int section);
  void ReadClock(std::uint32_t& position, std::uint32_t& ms) const;
  void ResetPositions();

  // Events.
  void PerformRecord(const std::uint32_t* record, int arguments);
  void ShowBackPicture(int picture, int fade);
  void ShowBackAnime(int anime, int fade);
  void PlaceCharacter(int character, int x, int y, int steps);
  void SetCharacterMotion(int character, int motion, bool interrupt);

  // Judgement.
  void ScanNotes(std::uint32_t position);
  void TakeKeys(TDInputUnit* input);
  void TakePad(TDInputUnit* input);
  void BuildSprites(int frames, std::uint32_t position);
  void MarkSprite(int x, int y);
  void MissReaction();
  int MapKey(std::uint32_t code) const;
  void PlayCachedTone(int pitch);

  // Stage drawing.
  void StepCharacters(int frames);
  void StepBackground(int frames);
  bool StartFade(int fade);
  void ShowBackFrame();
  bool DecodeBackPicture(const TBackPicture& picture, TZoRGBBits* into);
  TZoRGBBits* NewBackBits();
  void SortCharacters();
  const TMotion* CharacterMotion(int character, int* frame) const;
  VXRect CharacterRect(int character) const;
  void RedrawCharacter(int character);
  void DrawCharacter(int character, TZoRGBBits* dest, const VXRect& area, int dx, int dy);
  void RenderWord(const VXString& word);

  // Options.
  std::uint8_t timingMode_ = 1;
  int mainVolume_ = 100;
  int keyVolume_ = 100;
  std::uint8_t level_ = 0;
  std::uint8_t autoMode_ = 0;
  std::uint8_t wordMode_ = 1;
  std::uint8_t charAnime_ = 1;
  std::uint8_t backAnime_ = 1;
  std::uint8_t memorySave_ = 0;
  int eventNumber_ = 0;
  std::uint8_t showFrames_ = 1;
  std::uint8_t standardBack_ = 0;
  int standardBackNumber_ = 0;
  TMusicWindowCalls defaultCalls_;
  TMusicWindowCalls* calls_ = &defaultCalls_;

  // What Open made.
  std::uint8_t loaded_ = 0;
  VXFileMan* dataFiles_ = nullptr;
  VXFileMan* keyFiles_ = nullptr;
  VXFileMan* songFiles_ = nullptr;
  TSongID songId_{};
  int songVersion_ = 0;
  std::array<TZoRGBPanel*, kCurtains> curtains_{};
  std::array<TZoRGBPanel*, kPopBigs> popBigs_{};
  std::array<TZoRGBPanel*, kPopSmalls> popSmalls_{};
  std::array<TZoRGBPanel*, kScoreDigits> scores_{};
  TZoRGBBits* noteBits_ = nullptr;
  TZoAlpha* noteAlpha_ = nullptr;
  TZoRGBBits* alphabetBits_ = nullptr;
  TZoAlpha* alphabetAlpha_ = nullptr;
  TZoRGBBits* clefBits_ = nullptr;
  TZoAlpha* clefAlpha_ = nullptr;
  TZoRGBBits* wordBits_ = nullptr;   // high quality: the word's picture (text over its shadow)
  TZoAlpha* wordAlpha_ = nullptr;    // high quality: its plane, reduced from the work plane
  TZoAlphaDib* wordWork_ = nullptr;  // high quality: the word at double size
  VXFont wordFont_;
  int wordLength_ = 0;

  // The song's data.
  char* keyNames_ = nullptr;  // kKeySoundCapacity names of kKeyNameSize bytes
  int keyCount_ = 0;
  std::array<DirectX::TDSoundBuffer*, kKeySoundCapacity> keyBuffers_{};
  std::array<VXStream*, kKeySoundCapacity> keyStreams_{};  // memory save: the encoded sounds, in memory
  std::array<std::uint8_t, kKeySoundCapacity> keyKinds_{};
  std::array<TToneSlot, kToneCache> toneCache_{};
  std::array<int, kToneCache> toneOrder_{};
  char* lyrics_ = nullptr;
  TMusicNote* notes_ = nullptr;
  int noteCount_ = 0;
  VXFileStreamW* songFile_ = nullptr;
  DirectX::TDSoundStream* songStream_ = nullptr;
  TStageData stage_;

  // Phases.
  std::uint8_t phase_ = 0;
  int subStep_ = 0;
  int tick_ = 0;
  int escHeld_ = 0;
  std::uint8_t aborted_ = 0;
  int blink_ = 0;

  // Play state.
  std::uint32_t previousPosition_ = 0;
  std::uint32_t previousMs_ = 0;
  std::uint32_t position_ = 0;
  int firstNote_ = 0;
  int lowNote_ = 0;
  std::array<int, kKeyIndices> bestJudgement_{};
  std::array<int, kKeyIndices> bestNote_{};
  int lastPitch_ = -1;
  int hitLamp_ = 0;
  int judgeValue_ = 2;
  int judgeDecay_ = 0;
  int judgeDrawn_ = -1;
  int flashPhase_ = 0;
  int flashCount_ = 0;
  int gauge_ = kGaugeStart;
  int score_ = 0;
  int combo_ = 0;
  std::uint32_t checkValue_ = 0xFFFFFFFFu;
  struct TKeyEvent {
    std::uint32_t key;
    std::uint8_t pressed;
  };
  std::array<TKeyEvent, kMaxKeyEvents> keyEvents_{};
  std::array<std::uint8_t, kPadButtons> pad_{};
  std::array<std::uint8_t, kPadButtons> previousPad_{};
  std::array<TSprite, kMaxSprites> sprites_{};
  int spriteCount_ = 0;

  // Stage.
  std::array<TCharacterPlay, kCharacters> characters_{};
  std::array<int, kCharacters> drawOrder_{};
  TBackState back_;
  TBackState previousBack_;
  std::array<TZoRGBBits*, kBackAnimeFrames> backBits_{};
  std::array<TZoRGBBits*, kBackAnimeFrames> previousBits_{};
  int fadeLength_ = 0;
  int fadeElapsed_ = 0;
  int fadeStep_ = -1;  // -1: no fade
};
