#include "shell/maint.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>

#include "core/vxsharedrandom.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "shell/gameeffect.h"

TMainThread* MainThread = nullptr;

namespace {

// What a transition kind loads before it starts.
enum class TResource { kNone, kWater, kHalo, kMask };

struct TTransitionPlan {
  int effectKind;
  TResource resource;
  const char* mask;
};

// The mask fades: transition kind kFirstMaskKind + i fades in the order of kMaskFades[i].
constexpr int kFirstMaskKind = 13;
constexpr struct {
  const char* picture;
  int effectKind;
} kMaskFades[] = {
    {"FadeMask00_BlindR.bmp", ekMaskEdge},    {"FadeMask01_BlindL.bmp", ekMaskEdge},
    {"FadeMask02_LucasR.bmp", ekMaskEdge},    {"FadeMask03_LucasL.bmp", ekMaskEdge},
    {"FadeMask04_Circle.bmp", ekMaskEdge},    {"FadeMask05_CircleR.bmp", ekMaskEdge},
    {"FadeMask06_Clock.bmp", ekMaskEdge},     {"FadeMask07_Swirl.bmp", ekMaskEdge},
    {"FadeMask08_Crystal.bmp", ekMaskEdge},   {"FadeMask09_StripesB.bmp", ekMask},
    {"FadeMask10_StripesN.bmp", ekMaskEdge},  {"FadeMask11_Star.bmp", ekMaskEdge},
    {"FadeMask12_Radiation.bmp", ekMaskEdge}, {"FadeMask13_RadiationR.bmp", ekMaskEdge},
    {"FadeMask14_Windmill.bmp", ekMaskEdge},  {"FadeMask15_Naruto.bmp", ekMaskEdge},
    {"FadeMask16_Noise.bmp", ekMaskEdge},     {"FadeMask17_GhostD.bmp", ekMask},
    {"FadeMask18_GhostU.bmp", ekMask},
};
constexpr int kLastMaskKind = kFirstMaskKind + static_cast<int>(std::size(kMaskFades)) - 1;

TTransitionPlan PlanTransition(int kind) {
  if (kind <= ekZoomOut) return {kind, TResource::kNone, nullptr};
  if (kind == ekWater) return {ekWater, TResource::kWater, nullptr};
  if (kind == ekHalation) return {ekHalation, TResource::kHalo, nullptr};
  if (kind <= kLastMaskKind) {
    const auto& fade = kMaskFades[kind - kFirstMaskKind];
    return {fade.effectKind, TResource::kMask, fade.picture};
  }
  return {ekCrossFade, TResource::kNone, nullptr};
}

void Load(TGameForm& form, const TTransitionPlan& plan) {
  switch (plan.resource) {
    case TResource::kNone: break;
    case TResource::kWater: form.LoadWaterEffect(); break;
    case TResource::kHalo: form.LoadHaloEffect(); break;
    case TResource::kMask: form.LoadMaskEffect(plan.mask); break;
  }
}

void Release(TGameForm& form, const TTransitionPlan& plan) {
  switch (plan.resource) {
    case TResource::kNone: break;
    case TResource::kWater: form.ReleaseWaterEffect(); break;
    case TResource::kHalo: form.ReleaseHaloEffect(); break;
    case TResource::kMask: form.ReleaseMaskEffect(); break;
  }
}

// Gives a lock up completely for a scope and takes it back as deep at the end, unless abandoned.
class GivenUp {
public:
  explicit GivenUp(VXCriticalSection& lock) : lock_(lock), depth_(lock.LeaveAll()) {}
  ~GivenUp() {
    if (!abandoned_) lock_.Reenter(depth_);
  }
  GivenUp(const GivenUp&) = delete;
  GivenUp& operator=(const GivenUp&) = delete;
  void Abandon() { abandoned_ = true; }

private:
  VXCriticalSection& lock_;
  int depth_;
  bool abandoned_ = false;
};

}  // namespace

// The result and the mark, written together by the notifier and read by the game thread. The window's result
// handler holds it too, so a late notification never reaches a thread object that has gone.
struct TMainThread::HandOff {
  std::mutex lock;
  int result = 0;
  bool notified = false;
};

namespace {

class WindowSound final : public TGameThreadSound {
public:
  explicit WindowSound(TGameForm& form) : form_(form) {}
  void PlayBgm(int track, bool loop, bool fade) override { form_.PlayBgm(track, loop, fade); }
  void StopBgm(bool fade) override { form_.StopBgm(fade); }
  bool IsVoicePlaying() override { return form_.IsVoicePlaying(); }

private:
  TGameForm& form_;
};

// Whether two screen pictures hold the same pixels: a transition between them would show nothing for its length
// (the title loop's first fade to black starts from a black screen).
bool SamePixels(TZoRGBBits* a, TZoRGBBits* b) {
  if (a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() || a->GetBitDepth() != b->GetBitDepth())
    return false;
  if (!a->Lock()) return false;
  if (!b->Lock()) {
    a->Unlock();
    return false;
  }
  const std::size_t row = static_cast<std::size_t>(a->GetWidth()) * static_cast<std::size_t>(a->GetBitDepth());
  bool same = true;
  for (int y = 0; same && y < a->GetHeight(); ++y)
    same = std::memcmp(a->GetBits() + static_cast<std::ptrdiff_t>(y) * a->GetPitch(),
                       b->GetBits() + static_cast<std::ptrdiff_t>(y) * b->GetPitch(), row) == 0;
  b->Unlock();
  a->Unlock();
  return same;
}

}  // namespace

TMainThread::TMainThread(TGameForm& form)
    : form_(form),
      handOff_(std::make_shared<HandOff>()),
      windowSound_(std::make_unique<WindowSound>(form)),
      sound_(windowSound_.get()) {
  const int draws = static_cast<int>(form_.GetClock().NowMs() & 0xFFF);
  for (int i = 0; i < draws; ++i) VXSharedRnd();
  form_.SetResultHandler([handOff = handOff_, &form](int result) {
    std::lock_guard guard(handOff->lock);
    handOff->result = result;
    handOff->notified = true;
    form.SetResultPending(true);
  });
  MainThread = this;
}

TMainThread::~TMainThread() {
  form_.SetResultHandler({});
  if (MainThread == this) MainThread = nullptr;
}

void NotifyMainThread(int result) {
  if (MainThread != nullptr) MainThread->GetForm().NotifyMainThread(result);
}

int TMainThread::GetResult() const {
  std::lock_guard guard(handOff_->lock);
  return handOff_->result;
}

void TMainThread::SetResult(int result) {
  std::lock_guard guard(handOff_->lock);
  handOff_->result = result;
}

// ---- Waits --------------------------------------------------------------------------------------------------

template <class Waiting, class Step>
void TMainThread::WaitWhile(Waiting waiting, Step step) {
  GivenUp given(form_.GetGameLock());
  for (;;) {
    if (form_.IsApplicationTerminated()) {
      // The main loop has gone: the flow runs down without the game lock and without touching the window.
      given.Abandon();
      Terminate();
      throw EGameEnd();
    }
    if (Terminated() || !waiting()) break;
    step();
  }
  CheckTerminated();
}

void TMainThread::WaitForNotify() {
  {
    std::lock_guard guard(handOff_->lock);
    handOff_->notified = false;
    form_.SetResultPending(false);
  }
  WaitWhile(
      [this] {
        std::lock_guard guard(handOff_->lock);
        return !handOff_->notified;
      },
      [this] { GameFrame(&form_); });
}

bool TMainThread::IsVoicePlaying() const { return sound_ != nullptr && sound_->IsVoicePlaying(); }

void TMainThread::WaitWhileVoice() {
  WaitWhile([this] { return IsVoicePlaying(); }, [this] { GameFrame(&form_); });
}

void TMainThread::SleepWhileVoice() {
  platform::thread::Clock& clock = form_.GetClock();
  WaitWhile([this] { return IsVoicePlaying(); },
            [&clock] { clock.SleepUntil(clock.NowNs() + kVoiceSleepMs * 1'000'000LL, {}); });
}

void TMainThread::CheckTerminated() {
  if (Terminated()) throw EGameEnd();
}

void TMainThread::Quit() {
  Terminate();
  throw EGameEnd();
}

void TMainThread::QuitUnopened(const char* what) {
  const std::string text =
      std::string(what) + " could not be opened: its files in the game folder are missing or damaged";
  form_.SetFatalError(text);
  Quit();
}

// ---- Callback slots -----------------------------------------------------------------------------------------

void TMainThread::SetFrameProc(TFrameHook proc) { StoreSlot(slotLock_, frameProc_, proc); }

TFrameHook TMainThread::GetFrameProc() const { return CopySlot(slotLock_, frameProc_); }

void TMainThread::SetInputProc(TFrameInputHook proc) { StoreSlot(slotLock_, inputProc_, proc); }

TFrameInputHook TMainThread::GetInputProc() const { return CopySlot(slotLock_, inputProc_); }

void TMainThread::CallFrameProc(int frames) {
  const TFrameHook proc = GetFrameProc();
  if (proc.IsValid()) proc.Invoke(frames);
}

void TMainThread::CallInputProc(int frames, TDInputUnit* input) {
  const TFrameInputHook proc = GetInputProc();
  if (proc.IsValid()) proc.Invoke(frames, input);
}

// ---- Sound and wait modes -----------------------------------------------------------------------------------

template <class Call>
void TMainThread::Unlocked(Call call) {
  if (form_.IsApplicationTerminated()) return;
  const GivenUp given(form_.GetGameLock());
  call();
}

void TMainThread::PlayBgm(int track, bool loop, bool fade) {
  Unlocked([&] {
    if (sound_ != nullptr) sound_->PlayBgm(track, loop, fade);
  });
}

void TMainThread::StopBgm(bool fade) {
  Unlocked([&] {
    if (sound_ != nullptr) sound_->StopBgm(fade);
  });
}

void TMainThread::EnterWaitMode() {
  Unlocked([this] { form_.BeginWaitImageMode(); });
}

void TMainThread::EnterHoldMode() {
  Unlocked([this] { form_.BeginBusyMode(); });
}

void TMainThread::EnterPanelMode() {
  Unlocked([this] { form_.BeginPanelMode(); });
}

void TMainThread::EnterMusicMode() {
  Unlocked([this] { form_.BeginMusicMode(); });
}

void TMainThread::EnterAdventureMode() {
  Unlocked([this] { form_.BeginAdventureMode(); });
}

void TMainThread::EnterMovieMode() {
  Unlocked([this] { form_.BeginMovieMode(); });
}

// ---- Transitions --------------------------------------------------------------------------------------------

void TMainThread::RunTransition(int kind, TZoRGBBits* from, TZoRGBBits* to) {
  const int result = GetResult();
  const TTransitionPlan plan = PlanTransition(kind);
  try {
    Load(form_, plan);
  } catch (...) {
    DeleteScreenBits(from);
    DeleteScreenBits(to);
    throw;
  }
  // Terminated during the wait, the flow ends here and what was loaded stays with the window.
  if (form_.BeginTransition(plan.effectKind, from, to, transitionRate_)) WaitForNotify();
  Release(form_, plan);
  SetResult(result);
  transitionRate_ = kNormalRate;
}

template <class Fill>
void TMainThread::TransitionFromScreen(int kind, Fill fill) {
  TZoRGBBits *from = nullptr, *to = nullptr;
  CreateScreenBitsPair(&from, &to);
  try {
    form_.CopyScreen(from);
    fill(to);
  } catch (...) {
    DeleteScreenBits(from);
    DeleteScreenBits(to);
    throw;
  }
  if (SamePixels(from, to)) {
    DeleteScreenBits(from);
    DeleteScreenBits(to);
    transitionRate_ = kNormalRate;
    return;
  }
  RunTransition(kind, from, to);
}

void TMainThread::TransitionToBlack(int kind) {
  TransitionFromScreen(kind, [this](TZoRGBBits* to) { form_.ClearBits(to); });
}

void TMainThread::TransitionToWhite(int kind) {
  TransitionFromScreen(kind, [](TZoRGBBits* to) {
    to->BoxFill(0, 0, TGameForm::kWidth - 1, TGameForm::kHeight - 1, 0xFFFFFF);
  });
}

void TMainThread::TransitionToPanel(int kind, TZoRGBPanel* panel) {
  TransitionFromScreen(kind, [panel](TZoRGBBits* to) {
    if (panel != nullptr) panel->Draw(to);
  });
}

// ---- Thread body --------------------------------------------------------------------------------------------

void TMainThread::Execute() {
  form_.GetGameLock().Enter();
  try {
    SetResult(0);
    EnterWaitMode();
    for (;;) WaitForNotify();
  } catch (...) {
    // EGameEnd is the way out; anything else ends the thread all the same.
  }
  RunDown();
}

void TMainThread::RunDown() {
  if (!form_.IsApplicationTerminated()) form_.CloseNow();
  form_.GetGameLock().LeaveAll();
}
