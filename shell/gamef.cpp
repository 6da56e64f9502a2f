#include "shell/gamef.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "core/cpuid.h"
#include "core/vxfileman.h"
#include "core/vxsharedrandom.h"
#include "core/vxstream.h"
#include "core/vxtimer.h"
#include "device/dinputu.h"
#include "device/getdxver.h"
#include "device/zoddraw.h"
#include "device/zodsound.h"
#include "graphics/vxfont.h"
#include "graphics/vxgny.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbdib.h"
#include "platform/askbox.h"
#include "platform/fs.h"
#include "platform/input.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "platform/video.h"
#include "shell/startmarks.h"

TGameForm* GameForm = nullptr;
VXMemMan* MemMan = nullptr;
VXFileMan* FileMan = nullptr;
VXFileMan* BgmFileMan = nullptr;
VXFileMan* ScriptFileMan = nullptr;

namespace {

// ---- The window's own texts (UTF-8)

constexpr const char* kGameError = "Game Error";
constexpr const char* kError = "Error";
constexpr const char* kInitFailed = "初期化に失敗しました。";
constexpr const char* kNoMmx = "CPUがMMXに対応していません。";
constexpr const char* kOldDirectX = "DirectX8以上が必要です。";
constexpr const char* kNoSound = "DirectSoundの初期化に失敗しました。";
constexpr const char* kNoDisplay = "DirectDrawの初期化に失敗しました。";
constexpr const char* kAskFullScreen = "ウィンドウモードでの初期化に失敗しました。\nフルスクリーンにしますか？";
constexpr const char* kAskQuit = "ゲームを終了しますか？";

// The two fonts' face, "ＭＳ Ｐゴシック".
const VXString& FontFace() {
  static const VXString face(u"ＭＳ Ｐゴシック");
  return face;
}

constexpr const char* kSystemSoundNames[TGameForm::kSystemSounds] = {
    "SysSEOK",      "SysSEPage",    "SysSEAttention", "SysSEErr",     "SysSEClick01",
    "SysSEClick02", "SysSEClick03", "SysSEClick04",   "SysSEClick05", "SysSEClick06",
};

// Where the wait image and the FPS text go, and the sizes of the overlays.
constexpr int kWaitX = 384, kWaitY = 392, kWaitWidth = 240, kWaitHeight = 72, kWaitFrames = 10;
constexpr int kFpsX = 544, kFpsWidth = 96, kFpsHeight = 26;
constexpr int kCursorCell = 32, kCursorCells = 8;
constexpr int kFrameEventTimeoutMs = 100;
constexpr int kFullModeSleepMs = 3;
constexpr int kDisplayReadyTimeoutMs = 1000;

void ShowMessage(const char* text, const char* caption) {
  platform::msgbox::Show({platform::msgbox::Kind::kError, caption, text});
}

// Frames fall due at these values of the tick counter, which wraps at the last one (every 100 ms).
struct Cadence {
  int interval;
  int ticks[3];
};
constexpr Cadence kCadences[] = {{10, {3, 6, 10}}, {5, {6, 13, 20}}};

const Cadence& CadenceFor(int interval) { return interval == 5 ? kCadences[1] : kCadences[0]; }

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

TShiftState ShiftFromBits(std::uint8_t bits) {
  TShiftState s;
  for (int i = 0; i <= ssDouble; ++i)
    if ((bits >> i & 1) != 0) s << static_cast<TShiftStateItem>(i);
  return s;
}

TMouseButton ButtonOf(platform::input::MouseButton b) {
  switch (b) {
    case platform::input::MouseButton::Right: return mbRight;
    case platform::input::MouseButton::Middle: return mbMiddle;
    case platform::input::MouseButton::Left: break;
  }
  return mbLeft;
}

bool TakesInput(std::uint8_t state) { return state == 3 || state == 5 || state == 6; }
bool IsWaitThreadState(std::uint8_t state) { return state == 7 || state == 8; }

// A bitmap of the given size and depth, created; null when it cannot be made.
TZoRGBBits* NewBits(int width, int height, VXBitDepth depth) {
  TZoRGBBits* bits = MemMan->CreateVCL<TZoRGBBits>(nullptr);
  if (bits == nullptr) return nullptr;
  bits->SetBitDepth(depth);
  if (!bits->Resize(width, height) || !bits->Create()) MemMan->Delete(bits);
  return bits;
}

// The arrow drawn when "Cursor.png" is missing: white with a black edge, in every cell, hot spot at the tip.
void DrawBuiltInCursor(TZoRGBBits* bits, TZoAlpha* alpha) {
  bits->Cls();
  alpha->Fill(0);
  for (int cell = 0; cell < kCursorCells; ++cell) {
    const int ox = cell * kCursorCell + (cell >= 4 ? 15 : 0), oy = cell >= 4 ? 15 : 0;
    for (int y = 0; y < 16 && oy + y < kCursorCell; ++y) {
      const int width = std::min(y / 2 + 1, kCursorCell - (ox - cell * kCursorCell));
      for (int x = 0; x < width; ++x) {
        const bool edge = x == 0 || x == width - 1 || y == 15;
        bits->PSet(ox + x, oy + y, bits->TZoRGBtoPixel(edge ? VXRGB{0, 0, 0} : VXRGB{255, 255, 255}));
        alpha->PSet(ox + x, oy + y, 255);
      }
    }
  }
}

// The memory manager's and file managers' diagnostics go to standard error.
struct MemManLog {
  void Message(VXMemMan*, VXString text) {
    std::fprintf(stderr, "qorm: %s\n", platform::text::Cp932ToUtf8(text.c_str()).c_str());
  }
};

// Keeps a bitmap locked for a scope.
class Locked {
public:
  explicit Locked(TZoRGBBits* bits) : bits_(bits) { bits_->Lock(); }
  ~Locked() { bits_->Unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

private:
  TZoRGBBits* bits_;
};

// Whether a PNG picture of the data is no larger than the screen: the overlays of a screenshot are refused before
// they are read when they would not fit (a damaged file could claim a size of gigabytes).
bool FitsScreen(const char* name) {
  VXStream* s = FileMan->Open(name);
  if (s == nullptr) return false;
  int width = 0, height = 0;
  const bool read = LoadPng(s, nullptr, nullptr, &width, &height, pf24_888);
  FileMan->Close(s);
  return read && width <= TGameForm::kWidth && height <= TGameForm::kHeight;
}

void LogHookError(const char* what) { std::fprintf(stderr, "qorm: a frame hook failed: %s\n", what); }

}  // namespace

void ShowInitFailed() { ShowMessage(kInitFailed, kGameError); }

// ---- Frame rate counter -----------------------------------------------------------------------------------------

void TFpsCounter::Reset(std::uint32_t) { *this = TFpsCounter{}; }

int CountFps(TFpsCounter* c, std::uint32_t now) {
  const int cur = c->current;
  if (now >= c->start[cur] + 1000) {
    c->start[cur] = now;
    c->count[cur] = 1;
    c->result = 0;
    return 0;
  }
  if (now < c->start[cur] + 250) {
    ++c->count[cur];
    return c->result;
  }
  const int next = (cur + 1) % 5;
  c->start[next] = c->start[cur] + 250;
  c->count[next] = 1;
  c->current = next;
  std::uint32_t sum = 0;
  for (int i = 0; i < 5; ++i)
    if (i != next) sum += c->count[i];
  c->result = static_cast<int>(std::min<std::uint32_t>(sum, 999));
  return c->result;
}

// ---- Wait thread --------------------------------------------------------------------------------------------

void TWaitThread::Execute() {
  while (!Terminated()) {
    while (!Terminated() && IsWaitThreadState(form_.GetState())) {
      form_.RunFrame(true, true);
      if (form_.IsApplicationTerminated()) Terminate();
    }
    // A resume that came since the state was read is kept: Suspend then returns at once and the state is read again.
    if (!Terminated()) Suspend();
  }
}

// ---- Construction and tear-down -----------------------------------------------------------------------------

TGameForm::TGameForm(Classes::TComponent* owner, const TGameFormSetup& setup)
    : TComponent(owner), setup_(setup) {
  LoadDisplayConfig(displayConfig_);
  fpsMode_ = displayConfig_.FPSMode;
}

TGameForm::~TGameForm() {
  if (shown_) FormHide();
  SaveDisplayConfig(displayConfig_);
  if (MemMan != nullptr && FileMan != nullptr) {
    ReleaseSoundService();  // what a start that failed after the sound came up left
    MemMan->Delete(timer_);
    for (VXStream*& s : systemSounds_) FileMan->Close(s);
    MemMan->Delete(smallFont_);
    MemMan->Delete(largeFont_);
    MemMan->Delete(root_);
    MemMan->Delete(sound_);
    MemMan->Delete(display_);
    MemMan->Delete(input_);
  }
  for (VXFileMan** man : {&ScriptFileMan, &BgmFileMan, &FileMan}) {
    if (*man == nullptr) continue;
    (*man)->Finish();
    MemMan->Delete(*man);
  }
  if (GameServices() == this) SetGameServices(nullptr);
  if (GameForm == this) GameForm = nullptr;
  delete MemMan;
  MemMan = nullptr;
}

void TGameForm::FormCreate() {
  GameForm = this;
  CheckDisplayCaps();
  auto failed = [this](const char* text) {
    ShowMessage(text, kGameError);
    EndApplication();
  };
#if defined(__x86_64__) || defined(__i386__)
  if (!CPUID().IsMmxSupport()) return failed(kNoMmx);
#endif
  frameEvent_ = std::make_unique<platform::thread::Event>(*setup_.clock);
  if (!CreateDataManagers()) return failed(kInitFailed);
  MarkStart("datafiles");

  timer_ = new VXTimer(*setup_.clock);
  MemMan->AddPtr(timer_);
  timer_->SetInterval(10);
  timer_->SetOnTimer(VXCallback1<TGameForm, void, void*>(this, &TGameForm::OnFrameTimer));

  if (!CreateSoundDevice() || !CreateDisplayDevice() || !CreateInputDevice()) return failed(kInitFailed);
  root_ = MemMan->CreateVCL<TZoRGBPanel>(nullptr);
  if (root_ == nullptr) return failed(kInitFailed);
  root_->SetSizeX(kWidth);
  root_->SetSizeY(kHeight);
  MarkStart("devices");
  if (!CreateFonts()) return failed(kInitFailed);
  MarkStart("fonts");
  OpenSystemSounds();

  const int warmUp = static_cast<int>(setup_.clock->NowMs() & 0xFFF) + 1;
  for (int i = 0; i < warmUp; ++i) VXSharedRnd();
  SetGameServices(this);
}

void TGameForm::CheckDisplayCaps() {
  if (GetDXVersion() < 0x800) ShowMessage(kOldDirectX, kError);
  DirectX::TDDraw probe(nullptr);
  std::vector<DirectX::TDisplayMode> modes;
  probe.ENumDisplayModes(modes, true);
  fullScreenAvailable_ = std::any_of(modes.begin(), modes.end(), [](const DirectX::TDisplayMode& m) {
    return m.bitDepth == bd32 && m.pixFormat != pfNone && m.screenSize == ss640x480;
  });
  fullScreenDepth_ = bd32;
  if (!fullScreenAvailable_) WindowMode = 1;
  TZoRGBDib dib(nullptr);
  dib.SetBitDepth(bd32);
  renderDepth_ = dib.Create() ? bd32 : bd24;
}

VXString TGameForm::DataPath(const VXString& name) const {
  if (setup_.gameFolder.empty()) return name;
  std::string folder = platform::fs::ToWindowsName(setup_.gameFolder);
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return VXString(folder.c_str()) + name;
}

bool TGameForm::CreateDataManagers() {
  MemMan = new VXMemMan();
  static MemManLog log;
  MemMan->OnMessage = VXCallback2<MemManLog, void, VXMemMan*, VXString>(&log, &MemManLog::Message);
  FileMan = MemMan->Create<VXFileMan>();
  BgmFileMan = MemMan->Create<VXFileMan>();
  ScriptFileMan = setup_.scriptName.IsEmpty() ? nullptr : MemMan->Create<VXFileMan>();
  if (FileMan == nullptr || BgmFileMan == nullptr || (!setup_.scriptName.IsEmpty() && ScriptFileMan == nullptr))
    return false;
  if (!FileMan->InitPack(DataPath(setup_.dataName + ".pak"))) FileMan->InitDir(DataPath(setup_.dataName + "_Pak"));
  BgmFileMan->InitDir(DataPath("BGM"));
  if (ScriptFileMan != nullptr &&
      (setup_.scriptFromFolder || !ScriptFileMan->InitPack(DataPath(setup_.scriptName + ".pak"))))
    ScriptFileMan->InitDir(DataPath(setup_.scriptName + "_Pak"));
  return true;
}

bool TGameForm::CreateSoundDevice() {
  // The mixer hears time by the window's clock, so that a test's manual clock also moves the play positions.
  sound_ = new (std::nothrow) DirectX::TDSound(nullptr, *setup_.clock);
  if (sound_ == nullptr) return false;
  MemMan->AddPtr(sound_);
  sound_->SetManualOutput(setup_.manualSound);
  sound_->SetSamplesPerSec(44100);
  sound_->SetBitsPerSample(16);
  sound_->SetUse3D(true);
  return true;
}

bool TGameForm::CreateDisplayDevice() {
  display_ = MemMan->CreateVCL<DirectX::TDDraw>(nullptr);
  if (display_ == nullptr) return false;
  display_->SetPresenter(setup_.presenter);
  return true;
}

bool TGameForm::CreateInputDevice() {
  input_ = MemMan->Create<TDInputUnit>();
  if (input_ == nullptr) return false;
  if (!input_->Init(setup_.input)) {
    MemMan->Delete(input_);
    return false;
  }
  input_->LoadButtonConfig(GetSettingsPath());
  if (keyboardWanted_) input_->SetKeyboardEnabled(true);
  if (joypadWanted_) input_->SetJoypadEnabled(true);
  return true;
}

bool TGameForm::CreateFonts() {
  for (auto [font, height] : {std::pair{&smallFont_, -16}, std::pair{&largeFont_, -24}}) {
    *font = MemMan->Create<VXFont>();
    if (*font == nullptr) return false;
    (*font)->SetName(FontFace());
    (*font)->SetHeight(height);
    if (!(*font)->Create()) return false;
  }
  return true;
}

void TGameForm::OpenSystemSounds() {
  for (int i = 0; i < kSystemSounds; ++i)
    systemSounds_[static_cast<std::size_t>(i)] = FileMan->Open(VXString(kSystemSoundNames[i]) + ".ogg");
}

VXStream* TGameForm::GetSystemSoundStream(int index) const {
  return index >= 0 && index < kSystemSounds ? systemSounds_[static_cast<std::size_t>(index)] : nullptr;
}

void TGameForm::FormShow() {
  if (state_ == 1 || shown_) return;
  shown_ = true;
  bool error = false;
  try {
    sound_->SetEnabled(true);
    if (!sound_->GetEnabled()) {
      // Without an output device the game runs silent: every sound operation succeeds doing nothing.
      platform::msgbox::Show({platform::msgbox::Kind::kWarning, kError, kNoSound});
    } else {
      silentBuffer_ = sound_->CreateBufferMute(1);
      MemMan->AddPtr(silentBuffer_);
    }
    MarkStart("sound");
    if (!SetupDisplay(WindowMode != 0)) {
      ShowMessage(kNoDisplay, kError);
      error = true;
    } else {
      MarkStart("display");
      LoadOverlayPictures();
    }
    root_->SetCreated(true);
    if (!root_->GetCreated()) error = true;
  } catch (const std::exception& e) {
    SetFatalError(e.what());
    error = true;
  }
  timerInterval_ = 5;
  timer_->SetInterval(5);
  if (error) {
    EndApplication();
    return;
  }
  SetState(2);
  {
    const VXSectionHold draw(drawLock_);
    fps_.Reset(static_cast<std::uint32_t>(setup_.clock->NowMs()));
  }
  waitThread_ = std::make_unique<TWaitThread>(*this);
  timer_->SetEnabled(true);
  DrawFullFrame();
  if (setup_.gameThread) gameThread_ = setup_.gameThread(*this);
  waitThread_->Resume();
  if (gameThread_) gameThread_->Resume();
  running_ = true;
}

// Cursor cells, save-unders, the wait image and the screenshot overlays. A missing cursor picture gives a plain
// arrow; the other pictures are optional.
void TGameForm::LoadOverlayPictures() {
  auto load = [](TZoRGBBits* bits, TZoAlpha* alpha, const char* name, bool png) {
    VXStream* s = FileMan->Open(name);
    if (s == nullptr) return false;
    const bool ok = png ? bits->DrawPngStream(s, 0, 0, alpha) : bits->DrawBmpStream(s, 0, 0);
    FileMan->Close(s);
    return ok;
  };
  const VXSectionHold draw(drawLock_);
  cursorBits_ = NewBits(kCursorCell * kCursorCells, kCursorCell, renderDepth_);
  cursorAlpha_ = MemMan->CreateVCL<TZoAlpha>(nullptr);
  if (cursorAlpha_ != nullptr && (!cursorAlpha_->Resize(kCursorCell * kCursorCells, kCursorCell) ||
                                  !cursorAlpha_->Create()))
    MemMan->Delete(cursorAlpha_);
  if (cursorBits_ != nullptr && cursorAlpha_ != nullptr && !load(cursorBits_, cursorAlpha_, "Cursor.png", true))
    DrawBuiltInCursor(cursorBits_, cursorAlpha_);
  cursorIndex_ = cursorBits_ != nullptr && cursorAlpha_ != nullptr ? 0 : -1;
  cursorDepth_ = 0;
  TPoint p;
  GetMousePos(p);
  MoveCursorImage(p.x, p.y);
  cursorSave_ = NewBits(kCursorCell, kCursorCell, renderDepth_);
  fpsSave_ = NewBits(kFpsWidth, kFpsHeight, renderDepth_);

  waitImage_ = MemMan->CreateVCL<TZoRGBBits>(nullptr);
  if (waitImage_ != nullptr) {
    waitImage_->SetBitDepth(renderDepth_);
    if (!load(waitImage_, nullptr, "Wait.bmp", false)) MemMan->Delete(waitImage_);
  }
  for (auto [bits, alpha, name] : {std::tuple{&capLogo_, &capLogoAlpha_, "Cap_Logo.png"},
                                   std::tuple{&capCopy_, &capCopyAlpha_, "Cap_Copy.png"}}) {
    *bits = MemMan->CreateVCL<TZoRGBBits>(nullptr);
    *alpha = MemMan->CreateVCL<TZoAlpha>(nullptr);
    if (*bits == nullptr || *alpha == nullptr || !FitsScreen(name) || !load(*bits, *alpha, name, true)) {
      MemMan->Delete(*bits);
      MemMan->Delete(*alpha);
    }
  }
}

void TGameForm::Close() {
  bool canClose = true;
  FormCloseQuery(canClose);
  if (canClose && shown_) FormHide();
}

void TGameForm::FormCloseQuery(bool& canClose) {
  canClose = true;
  if (state_ == 10) return;
  if (gameThread_) {
    canClose = false;
    RequestQuit(true);
    return;
  }
  state_ = 10;
}

void TGameForm::RequestQuit(bool ask) {
  if (gameThread_) {
    if (ask && WindowMode != 0 && !platform::askbox::Ask({platform::msgbox::Kind::kInformation, kGameTitle, kAskQuit}, true))
      return;
    gameThread_->Terminate();
    PulseFrameEvent();
    return;
  }
  state_ = 10;
  if (setup_.application != nullptr) setup_.application->Post([this] { Close(); });
}

void TGameForm::CloseNow() {
  state_ = 10;
  if (setup_.application != nullptr) setup_.application->Post([this] { Close(); });
}

void TGameForm::EndApplication() {
  std::uint8_t constructed = 0;
  state_.compare_exchange_strong(constructed, 1);
  if (setup_.application != nullptr) setup_.application->Terminate();
}

bool TGameForm::IsApplicationTerminated() const {
  return setup_.application != nullptr && setup_.application->IsTerminated();
}

void TGameForm::SetFatalError(const std::string& textUtf8) {
  std::lock_guard guard(errorLock_);
  if (fatalError_.empty()) fatalError_ = textUtf8.empty() ? "unknown error" : textUtf8;
}

std::string TGameForm::GetFatalError() const {
  std::lock_guard guard(errorLock_);
  return fatalError_;
}

void TGameForm::SetState(std::uint8_t state) {
  const VXSectionHold game(gameLock_);
  state_ = state;
}

void TGameForm::FormHide() {
  if (state_ == 1 || !shown_) return;
  shown_ = false;
  state_ = 10;
  running_ = false;
  timer_->SetEnabled(false);
  StopThreads();
  {
    const VXSectionHold game(gameLock_);
    root_->SetCreated(false);
  }
  ReleaseDevicesForHide();
  EndApplication();
}

// The game thread and the wait thread are told to end and waited for with no lock held: both take the game lock
// or the frame lock on their way out.
void TGameForm::StopThreads() {
  auto stop = [this](Classes::TThread* thread) {
    if (thread == nullptr) return;
    thread->Terminate();
    paceStop_.request_stop();
    PulseFrameEvent();
    thread->WaitFor();
  };
  stop(gameThread_.get());
  if (gameThread_) {
    if (std::exception_ptr fatal = gameThread_->FatalException()) {
      try {
        std::rethrow_exception(fatal);
      } catch (const std::exception& e) {
        SetFatalError(platform::text::Cp932ToUtf8(e.what()));
      } catch (...) {
        SetFatalError("the game thread ended by an unknown exception");
      }
    }
  }
  gameThread_.reset();
  stop(waitThread_.get());
  waitThread_.reset();
  paceStop_ = std::stop_source();
}

void TGameForm::ReleaseDevicesForHide() {
  {
    const VXSectionHold draw(drawLock_);
    for (TZoRGBBits** bits : {&cursorBits_, &cursorSave_, &fpsSave_, &waitImage_, &capLogo_, &capCopy_})
      MemMan->Delete(*bits);
    for (TZoAlpha** alpha : {&cursorAlpha_, &capLogoAlpha_, &capCopyAlpha_}) MemMan->Delete(*alpha);
    cursorIndex_ = -1;
    if (transition_) transition_->Clear();
    ReleaseDisplay();
  }
  const VXSectionHold sound(soundLock_);
  ReleaseSoundService();
  sound_->SetEnabled(false);
}

// ---- Display ------------------------------------------------------------------------------------------------

bool TGameForm::SetupDisplay(bool window) {
  if (!fullScreenAvailable_) window = true;
  WindowMode = window ? 1 : 0;
  display_->SetScreenSize(ss640x480);
  display_->SetBitDepth(window ? DirectX::TDDraw::DesktopBitDepth() : fullScreenDepth_);
  display_->SetFullScreen(!window);
  display_->SetBackType(DirectX::btSystem);
  display_->SetTripleBuffer(true);
  display_->NoVSync = fpsMode_ == kFpsNoSync;
  display_->SetEnabled(true);
  if (!display_->GetEnabled()) {
    if (window && fullScreenAvailable_ &&
        platform::askbox::Ask({platform::msgbox::Kind::kError, kError, kAskFullScreen}, false))
      return SetupDisplay(false);
    return false;
  }
  fullRedraw_ = true;
  if (window || display_->GetBitDepth() != renderDepth_) {
    composeSurface_ = renderDepth_ == bd32 ? display_->CreateSurface(bd32, pf32_888, kWidth, kHeight, false)
                                           : display_->CreateSurface(bd24, pf24_888, kWidth, kHeight, false);
    if (composeSurface_ == nullptr) return false;
    MemMan->AddPtr(composeSurface_);
  }
  return true;
}

void TGameForm::ReleaseDisplay() {
  if (MemMan != nullptr) MemMan->Delete(composeSurface_);
  if (display_ != nullptr) display_->SetEnabled(false);
}

bool TGameForm::IsDisplayEnabled() const { return display_ != nullptr && display_->GetEnabled(); }

void TGameForm::NotifyScreenChange(bool before) {
  const auto callbacks = screenCallbacks_;  // a callback may remove itself
  for (const TScreenChangeCallback& cb : callbacks) cb.Invoke(display_, before ? 1 : 0);
}

bool TGameForm::ChangeWindowMode(bool window) {
  running_ = false;
  const bool result = SwitchDisplay(window);
  running_ = true;
  return result;
}

// The display released and set up again in the other mode, under the game lock and the draw lock; the previous
// mode again when the new one cannot be set up.
bool TGameForm::SwitchDisplay(bool window) {
  const VXSectionHold game(gameLock_);
  const VXSectionHold draw(drawLock_);
  if (!IsDisplayEnabled()) return false;
  const bool previous = WindowMode != 0;
  NotifyScreenChange(true);
  ReleaseDisplay();
  const bool result = SetupDisplay(window);
  // A mode that cannot be set up leaves the player the one that worked.
  if (!result) {
    ReleaseDisplay();
    SetupDisplay(previous);
  }
  if (IsDisplayEnabled()) {
    root_->SetModify();
    display_->SetModifyRect({0, 0, kWidth, kHeight});
  }
  NotifyScreenChange(false);
  return result;
}

void TGameForm::OnHotKey(int id) {
  if (!shown_) return;
  if (id == 0 || id == 1) {
    TakeSnapshot(id == 1);
    return;
  }
  if (id != 2) return;
  if (WindowMode == 0 || fullScreenAvailable_) ChangeWindowMode(WindowMode == 0);
  if (!IsDisplayEnabled()) RequestQuit(false);
}

void TGameForm::RequestWindowMode(bool window) {
  if (setup_.application == nullptr) return;
  setup_.application->Post([this, window] {
    if (!shown_ || (!window && !fullScreenAvailable_) || window == (WindowMode != 0)) return;
    ChangeWindowMode(window);
    if (!IsDisplayEnabled()) RequestQuit(false);
  });
}

void TGameForm::AddScreenChangeCallback(TScreenChangeCallback callback) {
  if (!callback.IsValid()) return;
  const VXSectionHold game(gameLock_);
  screenCallbacks_.push_back(callback);
}

void TGameForm::RemoveScreenChangeCallback(TScreenChangeCallback callback) {
  const VXSectionHold game(gameLock_);
  const auto it = std::find(screenCallbacks_.begin(), screenCallbacks_.end(), callback);
  if (it != screenCallbacks_.end()) screenCallbacks_.erase(it);
}

// ---- Input devices and pointer ------------------------------------------------------------------------------

void TGameForm::SetKeyboardEnabled(bool on) {
  keyboardWanted_ = on;
  if (input_ != nullptr) input_->SetKeyboardEnabled(on);
}

void TGameForm::SetJoypadEnabled(bool on) {
  joypadWanted_ = on;
  if (input_ != nullptr) input_->SetJoypadEnabled(on);
}

void TGameForm::GetMousePos(TPoint& p) const {
  p = {};
  if (setup_.input == nullptr) return;
  p.x = setup_.input->MouseX();
  p.y = setup_.input->MouseY();
  if (WindowMode == 0) {
    p.x = std::clamp(p.x, 0, kWidth - 1);
    p.y = std::clamp(p.y, 0, kHeight - 1);
  }
}

void TGameForm::SetMousePos(int x, int y) {
  if (WindowMode == 0) {
    x = std::clamp(x, 0, kWidth - 1);
    y = std::clamp(y, 0, kHeight - 1);
  }
  if (setup_.input != nullptr) setup_.input->SetMousePos(x, y);
}

// ---- Frame clock and tick -----------------------------------------------------------------------------------

void TGameForm::OnFrameTimer(void* sender) {
  const std::uint8_t state = state_;
  if (state < 1 || state > 9) return;
  const auto* timer = static_cast<const VXTimer*>(sender);
  const std::uint64_t ticks = timer != nullptr ? std::max<std::uint64_t>(1, timer->GetCallTicks()) : 1;
  const int interval = timerInterval_;
  const Cadence& cadence = CadenceFor(interval);
  bool due = false;
  {
    std::lock_guard guard(clockLock_);
    for (std::uint64_t i = 0; i < ticks; ++i) {
      msTotal_ += interval;
      ++tickCounter_;
      if (std::find(std::begin(cadence.ticks), std::end(cadence.ticks), tickCounter_) != std::end(cadence.ticks)) {
        ++framesDue_;
        due = true;
      }
      if (tickCounter_ >= cadence.ticks[2]) tickCounter_ = 0;
    }
  }
  gameClock_ += static_cast<int>(static_cast<std::int64_t>(interval) * static_cast<std::int64_t>(ticks));
  if (due) PulseFrameEvent();
}

// The frame event stays set until a tick takes it, so a frame that falls due while the tick is still busy wakes
// the next wait at once instead of being lost.
void TGameForm::PulseFrameEvent() {
  if (frameEvent_) frameEvent_->Set();
}

void TGameForm::ResetFrameClock() {
  std::lock_guard guard(clockLock_);
  tickCounter_ = 0;
  framesDue_ = framesDone_ = 0;
  msTotal_ = msDone_ = 0;
}

int TGameForm::GetFramesDue() const {
  std::lock_guard guard(clockLock_);
  return ClampToInt(framesDue_);
}

int TGameForm::GetFramesDone() const {
  std::lock_guard guard(clockLock_);
  return ClampToInt(framesDone_);
}

void TGameForm::SetFpsMode(std::uint8_t mode) {
  if (mode > kFpsNoSync || mode == fpsMode_) return;
  fpsMode_ = mode;
  {
    const VXSectionHold draw(drawLock_);
    if (display_ != nullptr) display_->NoVSync = mode == kFpsNoSync;
  }
  if (mode >= kFpsFull) PulseFrameEvent();
  displayConfig_.FPSMode = mode;
  SaveDisplayConfig(displayConfig_);
}

int TGameForm::GetFps() const {
  const VXSectionHold draw(drawLock_);
  return fps_.GetFps();
}

void TGameForm::SetOnFrame(TFrameHook hook) { SetHook(onFrame_, hook); }

void TGameForm::SetOnFrameInput(TFrameInputHook hook) { SetHook(onFrameInput_, hook); }

void GameFrame(TGameForm* form) {
  if (form != nullptr) form->RunFrame(true, false);
}

void TGameForm::StepFrame() { RunFrame(false, false); }

void TGameForm::BetweenFrames(const std::function<void()>& reader) {
  const VXSectionHold frame(frameLock_);
  const VXSectionHold game(gameLock_);
  reader();
}

void TGameForm::PaceFrame() {
  if (fpsMode_ < kFpsFull) {
    frameEvent_->WaitMs(kFrameEventTimeoutMs);
    return;
  }
  platform::thread::Clock& clock = *setup_.clock;
  clock.SleepUntil(clock.NowNs() + kFullModeSleepMs * 1'000'000LL, paceStop_.get_token());
}

namespace {

// Reports the frames a tick advanced and the time from its making to its end when somebody listens.
class FrameWorkTimer {
public:
  explicit FrameWorkTimer(const std::function<void(int, std::int64_t)>& sink)
      : sink_(sink), start_(sink ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{}) {}
  ~FrameWorkTimer() {
    if (!sink_) return;
    const auto spent = std::chrono::steady_clock::now() - start_;
    sink_(frames, std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count());
  }
  FrameWorkTimer(const FrameWorkTimer&) = delete;
  FrameWorkTimer& operator=(const FrameWorkTimer&) = delete;

  int frames = 0;

private:
  const std::function<void(int, std::int64_t)>& sink_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

// The pacing waits outside the frame lock: a reader between frames (BetweenFrames) must not wait for a pace that
// only a moved clock ends.
void TGameForm::RunFrame(bool paced, bool byWaitThread) {
  if (paced && frameEvent_) PaceFrame();
  const VXSectionHold frame(frameLock_);
  FrameWorkTimer timer(setup_.onFrameWork);
  const std::uint8_t state = state_;
  if (state == 10) return;

  std::int64_t frames = 0, ms = 0;
  {
    std::lock_guard guard(clockLock_);
    if (msDone_ > 100'000'000) {
      msTotal_ -= msDone_;
      msDone_ = 0;
    }
    if (framesDone_ > 1'000'000) {
      framesDue_ -= framesDone_;
      framesDone_ = 0;
    }
    frames = framesDue_ - framesDone_;
    ms = msTotal_ - msDone_;
  }
  const std::uint8_t mode = fpsMode_;
  const bool draw = mode == kFps30 ? frames >= 1 : mode == kFps15 ? frames >= 2 : true;
  timer.frames = ClampToInt(frames);
  if (!byWaitThread) CheckInputDevices(ClampToInt(frames));
  if (!draw && state != 6) return;
  {
    std::lock_guard guard(clockLock_);
    framesDone_ += frames;
    msDone_ += ms;
  }
  try {
    if (state_ != 10) UpdateFrameParts(ClampToInt(frames), byWaitThread);
    if (state_ == 6)
      DrawSurfaceFrame();
    else if (fullRedraw_)
      DrawFullFrame();
    else
      DrawUpdateFrame(ClampToInt(frames));
  } catch (const std::exception& e) {
    if (state_ != 10) {
      SetFatalError(platform::text::Cp932ToUtf8(e.what()));
      RequestQuit(false);
    }
  } catch (...) {
    if (state_ != 10) {
      SetFatalError("unknown exception in a frame");
      RequestQuit(false);
    }
  }
}

void TGameForm::CheckInputDevices(int frames) {
  inputCheckCounter_ += std::max(frames, 0);
  if (inputCheckCounter_ <= 30 || input_ == nullptr) return;
  inputCheckCounter_ = 0;
  if (keyboardWanted_ && !input_->IsKeyboardEnabled()) input_->SetKeyboardEnabled(true);
  if (joypadWanted_ && !input_->IsJoypadEnabled() && input_->FindJoypad()) input_->SetJoypadEnabled(true);
}

void TGameForm::UpdateFrame(int frames, int) { UpdateFrameParts(frames, false); }

// Frames that the wait thread steps while the game thread is busy (states 7 and 8) leave the game's own parts
// alone: the panel tree, the frame hooks, the input unit and the transition belong to the game thread.
void TGameForm::UpdateFrameParts(int frames, bool byWaitThread) {
  const std::uint8_t state = state_;
  if (!byWaitThread) {
    if (state != 9) DrainInput();
    if (state >= 3 && state <= 5 && !resultPending_ && frames > 0) {
      const VXSectionHold game(gameLock_);
      for (int i = 0; i < frames && root_ != nullptr; ++i) root_->Anime();
    }
    if (state != 9) {
      const TFrameHook frameHook = CopyHook(onFrame_);
      const TFrameInputHook inputHook = CopyHook(onFrameInput_);
      try {
        if (!resultPending_ && frames > 0 && input_ != nullptr) {
          input_->Update(frames);
          if (inputHook.IsValid()) inputHook.Invoke(frames, input_);
        }
        if (!resultPending_ && frameHook.IsValid()) frameHook.Invoke(frames);
      } catch (const std::exception& e) {
        LogHookError(platform::text::Cp932ToUtf8(e.what()).c_str());
      } catch (...) {
        LogHookError("unknown exception");
      }
    }
    if (state == 9 && !resultPending_ && StepTransition(frames)) NotifyMainThread(0);
  }
  if (frames > 0) {
    const VXSectionHold sound(soundLock_);
    UpdateSoundVolumes(frames);
  }
}

// One transition step under the game lock; true when the transition was done and has ended (state 2 again).
bool TGameForm::StepTransition(int frames) {
  const VXSectionHold game(gameLock_);
  if (!IsTransitionDone()) {
    AdvanceTransition(frames);
    return false;
  }
  ClearTransition();
  SetState(2);
  return true;
}

// ---- Composition --------------------------------------------------------------------------------------------

TZoRGBBits* TGameForm::Target() const {
  if (composeSurface_ != nullptr) return composeSurface_;
  return display_ != nullptr ? display_->GetBackSurface() : nullptr;
}

bool TGameForm::ShouldFlip() const {
  return WindowMode != 0 || setup_.input == nullptr || setup_.input->HasFocus();
}

// The common frame of the composers: the compose guard (a busy guard drops the frame), the game lock outside the
// wait thread's states, the draw lock, a ready display, and the frame counted. What it took is given back when it
// goes, also when the drawing throws.
TGameForm::Compose::Compose(TGameForm& form) : form_(form) {
  if (!form_.composeGuard_.Check()) return;
  guarded_ = true;
  state = form_.state_;
  gameLocked_ = !IsWaitThreadState(state);
  if (gameLocked_) form_.gameLock_.Enter();
  form_.drawLock_.Enter();
  if (form_.state_ == 10 || form_.Target() == nullptr || !form_.WaitDisplayReady()) return;
  CountFps(&form_.fps_, static_cast<std::uint32_t>(form_.setup_.clock->NowMs()));
  ++form_.composedFrames_;
  ready = true;
}

TGameForm::Compose::~Compose() {
  if (!guarded_) return;
  form_.drawLock_.Leave();
  if (gameLocked_) form_.gameLock_.Leave();
  form_.composeGuard_.Release();
}

// Waits for the display to take drawing and flips. The draw lock is given up between two looks, so the main
// thread's display work (which needs it) is never kept waiting by this wait.
bool TGameForm::WaitDisplayReady() {
  if (!IsDisplayEnabled()) return false;
  platform::thread::Clock& clock = *setup_.clock;
  const std::int64_t deadline = clock.NowMs() + kDisplayReadyTimeoutMs;
  drawLock_.Enter();
  bool ready = false;
  while (IsDisplayEnabled() && !(ready = display_->CanDraw() && display_->CanFlip())) {
    if (clock.NowMs() >= deadline) break;
    const int depth = drawLock_.LeaveAll();
    clock.SleepUntil(clock.NowNs() + 1'000'000, {});
    drawLock_.Reenter(depth);
  }
  drawLock_.Leave();
  return ready;
}

void TGameForm::SetOnDrawFull(TDrawFullHook hook) { SetHook(onDrawFull_, hook); }

void TGameForm::SetOnDrawUpdate(TDrawUpdateHook hook) { SetHook(onDrawUpdate_, hook); }

void TGameForm::SetOnDrawSurface(TDrawSurfaceHook hook) { SetHook(onDrawSurface_, hook); }

void TGameForm::DrawFullFrame() {
  const Compose frame(*this);
  if (!frame.ready) return;
  const std::uint8_t state = frame.state;
  TZoRGBBits* target = Target();
  const TDrawFullHook hook = CopyHook(onDrawFull_);
  if (hook.IsValid()) {
    const Locked locked(target);
    hook.Invoke(target);
  } else if (state >= 3 && state <= 5) {
    const Locked locked(target);
    root_->Draw(target);
  } else if (state == 7) {
    target->Cls();
    if (waitLevel_ > 0) BlendWaitImage(target, waitLevel_ < 32 ? waitLevel_ * 4 : 128);
  } else if (state == 9) {
    const Locked locked(target);
    DrawTransition(target, nullptr);
  }
  DrawOverlays(target, nullptr);
  if (composeSurface_ != nullptr) display_->GetBackSurface()->ConvertCopy(0, 0, composeSurface_, 0, 0, kWidth, kHeight);
  const bool flipped = ShouldFlip() && display_->Flip();
  Presented(flipped);
  RemoveOverlays(target);
  fullRedraw_ = false;
}

void TGameForm::DrawUpdateFrame(int frames) {
  const Compose frame(*this);
  if (!frame.ready) return;
  const std::uint8_t state = frame.state;
  TZoRGBBits* target = Target();
  VXRectSet dirty;
  const TDrawUpdateHook hook = CopyHook(onDrawUpdate_);
  if (hook.IsValid()) {
    const Locked locked(target);
    hook.Invoke(target, &dirty);
  } else if (state >= 3 && state <= 5) {
    VXRectSet modified;
    root_->GetModifiedRectSet(&modified);
    if (!modified.IsRectEmpty()) {
      const Locked locked(target);
      root_->Update(target);
      dirty.UnionRectSet(modified);
    }
  } else if (state == 7 && frames > 0) {
    StepWaitImage(target, dirty);
  } else if (state == 9) {
    const Locked locked(target);
    DrawTransition(target, &dirty);
  }
  if (dirty.IsRectEmpty() && !OverlaysChanged()) return;
  // The cursor of the last frame is wiped where it was.
  if (cursorX_ > -kCursorCell && cursorX_ < kWidth && cursorY_ > -kCursorCell && cursorY_ < kHeight)
    dirty.UnionRect({cursorX_, cursorY_, cursorX_ + kCursorCell, cursorY_ + kCursorCell});
  DrawOverlays(target, &dirty);
  if (composeSurface_ != nullptr && !dirty.IsRectEmpty()) {
    TZoRGBBits* back = display_->GetBackSurface();
    const Locked locked(back);
    for (const VXRect& r : dirty)
      back->ConvertCopy(r.left, r.top, composeSurface_, r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  const bool flipped = ShouldFlip() && display_->FlipModifyRect(dirty);
  Presented(flipped);
  RemoveOverlays(target);
}

// Whether the cursor or the FPS figure would look different from the picture last presented.
bool TGameForm::OverlaysChanged() const {
  TPoint p;
  GetMousePos(p);
  const int hot = cursorIndex_ >= 4 ? 15 : 0;
  const int index = cursorBits_ != nullptr && cursorSave_ != nullptr ? cursorIndex_ : -1;
  if (index != shownCursorIndex_ || (index >= 0 && (p.x - hot != shownCursorX_ || p.y - hot != shownCursorY_)))
    return true;
  const int fps = ShowFPS != 0 ? fps_.GetFps() : -1;
  return fps != shownFps_;
}

// Records what the picture just presented shows; after a frame that was not presented, the next one is.
void TGameForm::Presented(bool flipped) {
  shownCursorIndex_ = !flipped ? -2 : cursorDrawn_ ? cursorIndex_ : -1;
  shownCursorX_ = cursorX_;
  shownCursorY_ = cursorY_;
  shownFps_ = fpsDrawn_ ? fps_.GetFps() : -1;
}

void TGameForm::DrawSurfaceFrame() {
  const Compose frame(*this);
  if (!frame.ready) return;
  const TDrawSurfaceHook hook = CopyHook(onDrawSurface_);
  if (hook.IsValid()) hook.Invoke(display_->GetBackSurface());
  if (ShouldFlip()) display_->Flip();
  shownCursorIndex_ = -2;  // a movie frame covers the overlays
}

// The wait picture fades in after five seconds of drawn frames, then keeps cycling its ten frames.
void TGameForm::StepWaitImage(TZoRGBBits* target, VXRectSet& dirty) {
  ++waitCounter_;
  bool changed = false;
  if (waitLevel_ == 0) {
    if (waitCounter_ > 150) {
      waitLevel_ = 1;
      waitCounter_ = 0;
      changed = true;
    }
  } else if (waitCounter_ >= 2) {
    if (waitLevel_ < 32) ++waitLevel_;
    waitCounter_ = 0;
    ++waitFrame_;
    changed = true;
  }
  if (!changed) return;
  const int rate = waitLevel_ < 32 ? waitLevel_ * 4 : 128;
  waitCounter_ = 0;
  if (++waitFrame_ >= kWaitFrames) waitFrame_ = 0;
  if (rate < 128) target->Cls();
  BlendWaitImage(target, rate);
  dirty.UnionRect({kWaitX, kWaitY, kWaitX + kWaitWidth, kWaitY + kWaitHeight});
}

void TGameForm::BlendWaitImage(TZoRGBBits* target, int rate) {
  if (waitImage_ == nullptr) return;
  const int frame = std::clamp(waitFrame_, 0, kWaitFrames - 1);
  target->AlphaBlend(kWaitX, kWaitY, waitImage_, 0, frame * kWaitHeight, kWaitWidth, kWaitHeight, rate);
}

void TGameForm::DrawOverlays(TZoRGBBits* target, VXRectSet* dirty) {
  fpsDrawn_ = ShowFPS != 0 && fpsSave_ != nullptr;
  if (fpsDrawn_) {
    fpsSave_->Draw(0, 0, target, kFpsX, 0, kFpsWidth, kFpsHeight);
    target->ToneChange(kFpsX, 0, kWidth - 1, kFpsHeight - 1, 0x404040);
    DrawFpsText(target);
    if (dirty != nullptr) dirty->UnionRect({kFpsX, 0, kWidth, kFpsHeight});
  }
  TPoint p;
  GetMousePos(p);
  MoveCursorImage(p.x, p.y);
  cursorDrawn_ = cursorIndex_ >= 0 && cursorBits_ != nullptr && cursorSave_ != nullptr;
  if (cursorDrawn_) {
    if (dirty != nullptr) dirty->UnionRect({cursorX_, cursorY_, cursorX_ + kCursorCell, cursorY_ + kCursorCell});
    cursorSave_->ClipDraw(0, 0, target, cursorX_, cursorY_, kCursorCell, kCursorCell);
    target->DrawAlphaMask(cursorX_, cursorY_, cursorBits_, cursorIndex_ * kCursorCell, 0, kCursorCell, kCursorCell,
                          cursorAlpha_);
  }
}

void TGameForm::DrawFpsText(TZoRGBBits* target) {
  void* dc = nullptr;
  if (largeFont_ == nullptr || !target->GetDC(&dc)) return;
  VXString text;
  text.sprintf("%2d FPS", fps_.GetFps());
  if (largeFont_->StartTextOut(static_cast<platform::font::TextTarget*>(dc), 0)) {
    VXSize size;
    const int width = largeFont_->GetExtentPoint(text, &size) ? std::min(size.cx, kFpsWidth) : 0;
    largeFont_->Write(635 - width, 1, text);
    largeFont_->SetColor(0xFFFFFFFF);
    largeFont_->Write(634 - width, 0, text);
    largeFont_->EndTextOut();
  }
  target->ReleaseDC(dc);
}

void TGameForm::RemoveOverlays(TZoRGBBits* target) {
  if (cursorDrawn_) target->ClipDraw(cursorX_, cursorY_, cursorSave_, 0, 0, kCursorCell, kCursorCell);
  if (fpsDrawn_) target->Draw(kFpsX, 0, fpsSave_, 0, 0, kFpsWidth, kFpsHeight);
  cursorDrawn_ = fpsDrawn_ = false;
}

// ---- Wait modes ---------------------------------------------------------------------------------------------

// The entry shared by the wait modes: the root shown; unless the window is already in the state, the panels'
// hover and capture cleared, the pointer entering again, the input dropped and the frame clock restarted. False
// when it was already in the state.
bool TGameForm::EnterWaitMode(std::uint8_t state) {
  SetRootVisible(true);
  if (state_ == state) return false;
  RestartPanelInput();
  ClearInput();
  ResetFrameClock();
  SetState(state);
  return true;
}

// The panels forget hover, capture and pressed states and the pointer enters them again where it is.
void TGameForm::RestartPanelInput() {
  const VXSectionHold game(gameLock_);
  TPoint p;
  GetMousePos(p);
  root_->StatusClear();
  root_->MouseEnter(p.x, p.y);
}

void TGameForm::BeginPanelMode() {
  if (EnterWaitMode(3)) DrawFullFrame();
}

void TGameForm::BeginMusicMode() {
  if (EnterWaitMode(4)) DrawFullFrame();
}

void TGameForm::BeginAdventureMode() {
  if (EnterWaitMode(5)) DrawFullFrame();
}

void TGameForm::BeginMovieMode() {
  if (EnterWaitMode(6)) DrawSurfaceFrame();
}

void TGameForm::BeginWaitImageMode() {
  if (!EnterWaitMode(7)) return;
  {
    const VXSectionHold draw(drawLock_);
    waitLevel_ = waitCounter_ = waitFrame_ = 0;
    if (WaitDisplayReady()) {
      display_->GetBackSurface()->Cls();
      display_->SetModifyRect({0, 0, kWidth, kHeight});
      if (composeSurface_ != nullptr) composeSurface_->Cls();
    }
  }
  DrawFullFrame();
  if (waitThread_) waitThread_->Resume();
}

void TGameForm::BeginBusyMode() {
  if (EnterWaitMode(8) && waitThread_) waitThread_->Resume();
}

bool TGameForm::BeginTransition(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) {
  const VXSectionHold game(gameLock_);
  SetState(9);
  if (!StartTransition(kind, from, to, rate)) {
    SetState(2);
    return false;
  }
  ResetFrameClock();
  DrawFullFrame();
  return true;
}

// ---- Transitions --------------------------------------------------------------------------------------------

void TGameForm::SetTransitionEffect(std::unique_ptr<TTransitionEffect> effect) {
  const VXSectionHold game(gameLock_);
  if (transition_) transition_->Clear();
  transition_ = std::move(effect);
}

bool TGameForm::StartTransition(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) {
  const VXSectionHold game(gameLock_);
  if (transition_) {
    transition_->Clear();
    return transition_->Start(kind, from, to, rate);
  }
  if (MemMan != nullptr) {
    MemMan->Delete(from);
    MemMan->Delete(to);
  }
  return false;
}

void TGameForm::AdvanceTransition(int frames) {
  if (transition_) transition_->Advance(frames);
}

void TGameForm::ClearTransition() {
  const VXSectionHold game(gameLock_);
  if (transition_) transition_->Clear();
}

bool TGameForm::IsTransitionDone() const { return !transition_ || transition_->IsDone(); }

void TGameForm::DrawTransition(TZoRGBBits* target, VXRectSet* dirty) {
  if (transition_) transition_->Draw(target, dirty);
}

// ---- Panel tree and screen ----------------------------------------------------------------------------------

void TGameForm::AttachPanel(TZoRGBPanel* panel) {
  if (panel == nullptr || root_ == nullptr) return;
  const VXSectionHold game(gameLock_);
  panel->SetParent(root_);
}

void TGameForm::DetachPanel(TZoRGBPanel* panel) {
  if (panel == nullptr) return;
  const VXSectionHold game(gameLock_);
  panel->SetParent(nullptr);
}

void TGameForm::SetRootVisible(bool on) {
  if (root_ == nullptr) return;
  const VXSectionHold game(gameLock_);
  root_->SetVisible(on);
}

void TGameForm::RefreshPanelStatus() {
  if (state_ == 3 && root_ != nullptr) RestartPanelInput();
}

void TGameForm::CopyScreen(TZoRGBBits* dst) {
  if (dst == nullptr) return;
  const VXSectionHold game(gameLock_);
  const VXSectionHold draw(drawLock_);
  if (WaitDisplayReady()) dst->ConvertCopy(0, 0, Target(), 0, 0, kWidth, kHeight);
}

void TGameForm::DrawPanels(TZoRGBBits* dst) {
  if (dst == nullptr || root_ == nullptr) return;
  const VXSectionHold game(gameLock_);
  root_->Draw(dst);
}

void TGameForm::ClearBits(TZoRGBBits* bits) {
  if (bits == nullptr) return;
  const VXSectionHold game(gameLock_);
  const VXSectionHold draw(drawLock_);
  bits->Cls();
}

// ---- Software cursor ----------------------------------------------------------------------------------------

void TGameForm::SetCursorType(int type) {
  if (type < -1 || type >= kCursorCells) return;
  const VXSectionHold draw(drawLock_);
  cursorIndex_ = type;
}

int TGameForm::GetCursorType() const {
  const VXSectionHold draw(drawLock_);
  return cursorIndex_;
}

bool TGameForm::PushCursorType() {
  const VXSectionHold draw(drawLock_);
  const bool stored = cursorDepth_ < static_cast<int>(cursorStack_.size());
  if (stored) cursorStack_[static_cast<std::size_t>(cursorDepth_)] = cursorIndex_;
  ++cursorDepth_;
  return stored;
}

bool TGameForm::PopCursorType() {
  const VXSectionHold draw(drawLock_);
  if (cursorDepth_ <= 0) return false;
  --cursorDepth_;
  if (cursorDepth_ >= static_cast<int>(cursorStack_.size())) return false;
  SetCursorType(cursorStack_[static_cast<std::size_t>(cursorDepth_)]);
  return true;
}

void TGameForm::MoveCursorImage(int x, int y) {
  const VXSectionHold draw(drawLock_);
  const int hot = cursorIndex_ >= 4 ? 15 : 0;
  cursorX_ = x - hot;
  cursorY_ = y - hot;
}

// ---- Input queue --------------------------------------------------------------------------------------------

void TGameForm::PostInput(const TInputEvent& event) {
  if (TakesInput(state_)) QueueInput(event);
}

// Consecutive pointer moves join into the latest one; beyond kMaxQueuedInput events the oldest goes.
void TGameForm::QueueInput(const TInputEvent& event) {
  const VXSectionHold input(inputLock_);
  if (event.kind == ikMouseMove && !inputQueue_.empty() && inputQueue_.back().kind == ikMouseMove) {
    inputQueue_.back() = event;
  } else {
    if (inputQueue_.size() >= kMaxQueuedInput) inputQueue_.pop_front();
    inputQueue_.push_back(event);
  }
}

void TGameForm::DrainInput() {
  if (!TakesInput(state_) || root_ == nullptr) return;
  for (;;) {
    TInputEvent e;
    if (!TakeInput(e)) return;
    switch (e.kind) {
      case ikMouseMove: root_->MouseMove(e.shift, e.x, e.y); break;
      case ikMouseDown: root_->MouseDown(e.button, e.shift, e.x, e.y); break;
      case ikMouseUp: root_->MouseUp(e.button, e.shift, e.x, e.y); break;
      case ikMouseWheel: {
        bool handled = false;
        root_->MouseWheel(e.shift, e.wheelDelta, TPoint{e.x, e.y}, handled);
        break;
      }
      case ikMouseEnter: root_->MouseEnter(e.x, e.y); break;
      case ikMouseLeave: root_->MouseLeave(); break;
      case ikKeyDown: root_->KeyDown(e.key, e.shift); break;
      case ikKeyUp: root_->KeyUp(e.key, e.shift); break;
      case ikKeyPress: {
        char c = static_cast<char>(e.key);
        root_->KeyPress(c);
        break;
      }
    }
    if (resultPending_) return;
  }
}

bool TGameForm::TakeInput(TInputEvent& e) {
  const VXSectionHold input(inputLock_);
  if (inputQueue_.empty()) return false;
  e = inputQueue_.front();
  inputQueue_.pop_front();
  return true;
}

void TGameForm::ClearInput() {
  const VXSectionHold input(inputLock_);
  inputQueue_.clear();
}

std::size_t TGameForm::QueuedInput() const {
  const VXSectionHold input(inputLock_);
  return inputQueue_.size();
}

void TGameForm::DispatchInput() {
  if (setup_.input == nullptr) return;
  using Kind = platform::input::Message::Kind;
  platform::input::Message m;
  // Printable characters in a row are one input-method result; they go whole to the input-method hook.
  const TImeResultHook ime = CopyHook(onImeResult_);
  std::string composed;
  auto deliverComposed = [&] {
    if (!composed.empty()) ime.Invoke(VXString(composed.data(), static_cast<unsigned int>(composed.size())));
    composed.clear();
  };
  while (setup_.input->PollMessage(m)) {
    const TShiftState shift = ShiftFromBits(m.shift);
    const bool printable = m.kind == Kind::Char && static_cast<unsigned char>(m.chars[0]) >= 0x20;
    if (ime.IsValid() && printable) {
      composed += m.Text();
      continue;
    }
    deliverComposed();
    switch (m.kind) {
      case Kind::KeyDown: FormKeyDown(m.vk, shift); break;
      case Kind::KeyUp: FormKeyUp(m.vk, shift); break;
      case Kind::Char:
        for (char c : m.Text()) FormKeyPress(c);
        break;
      case Kind::MouseDown: FormMouseDown(ButtonOf(m.button), shift, m.x, m.y); break;
      case Kind::MouseUp: FormMouseUp(ButtonOf(m.button), shift, m.x, m.y); break;
      case Kind::MouseMove: FormMouseMove(shift, m.x, m.y); break;
      case Kind::MouseWheel: {
        bool handled = false;
        FormMouseWheel(shift, m.wheelDelta, m.x, m.y, handled);
        break;
      }
    }
  }
  deliverComposed();
}

void TGameForm::FormMouseMove(TShiftState shift, int x, int y) {
  PostInput({ikMouseMove, x, y, shift, mbLeft, 0, 0});
}

void TGameForm::FormMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  PostInput({ikMouseDown, x, y, shift, button, 0, 0});
}

void TGameForm::FormMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  PostInput({ikMouseUp, x, y, shift, button, 0, 0});
}

void TGameForm::FormMouseWheel(TShiftState shift, int wheelDelta, int x, int y, bool& handled) {
  PostInput({ikMouseWheel, x, y, shift, mbLeft, wheelDelta, 0});
  handled = true;
}

void TGameForm::CMMouseEnter() {
  TPoint p;
  GetMousePos(p);
  PostInput({ikMouseEnter, p.x, p.y, {}, mbLeft, 0, 0});
}

void TGameForm::CMMouseLeave() { PostInput({ikMouseLeave, 0, 0, {}, mbLeft, 0, 0}); }

void TGameForm::FormKeyDown(unsigned short key, TShiftState shift) { PostInput({ikKeyDown, 0, 0, shift, mbLeft, 0, key}); }

void TGameForm::FormKeyUp(unsigned short key, TShiftState shift) { PostInput({ikKeyUp, 0, 0, shift, mbLeft, 0, key}); }

void TGameForm::FormKeyPress(char key) {
  const auto character = static_cast<unsigned short>(static_cast<short>(static_cast<signed char>(key)));
  PostInput({ikKeyPress, 0, 0, {}, mbLeft, 0, character});
}

// ---- Game services ------------------------------------------------------------------------------------------

void TGameForm::SetOnImeResult(TImeResultHook hook) { SetHook(onImeResult_, hook); }

void TGameForm::SetResultHandler(std::function<void(int)> handler) {
  std::lock_guard guard(hookLock_);
  resultHandler_ = std::move(handler);
}

void TGameForm::NotifyMainThread(int result) {
  std::function<void(int)> handler;
  {
    std::lock_guard guard(hookLock_);
    handler = resultHandler_;
  }
  if (!handler) return;
  SetResultPending(true);
  handler(result);
}

bool TGameForm::LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString fileName) {
  if (panel == nullptr || files == nullptr || MemMan == nullptr) return false;
  std::string ext = fileName.c_str();
  const auto dot = ext.find_last_of('.');
  ext = dot == std::string::npos ? "" : VXString(ext.substr(dot + 1).c_str()).UpperCase().c_str();
  if (ext != "BMP" && ext != "JPG" && ext != "PNG" && ext != "LZH") return false;
  VXStream* stream = files->Open(fileName);
  if (stream == nullptr) return false;
  TZoRGBBits* image = MemMan->CreateVCL<TZoRGBBits>(nullptr);
  TZoAlpha* alpha = nullptr;
  bool ok = image != nullptr;
  if (ok) {
    image->SetBitDepth(renderDepth_);
    if (ext == "PNG") {
      if (ChkChannelPng(stream) == 4) alpha = MemMan->CreateVCL<TZoAlpha>(nullptr);
      ok = stream->Seek(0, VXSeekBegin) == 0 && image->DrawPngStream(stream, 0, 0, alpha);
    } else if (ext == "BMP") {
      ok = image->DrawBmpStream(stream, 0, 0);
    } else if (ext == "JPG") {
      ok = image->DrawJpegStream(stream, 0, 0);
    } else {
      ok = image->DrawGnyStream(stream, 0, 0, GnyKey(0));
    }
  }
  files->Close(stream);
  if (!ok) {
    MemMan->Delete(image);
    MemMan->Delete(alpha);
    return false;
  }
  panel->SetImage(image);
  panel->SetMaskMode(alpha != nullptr ? mmAlpha : mmOpaque);
  if (alpha != nullptr) panel->SetAlpha(alpha);
  return true;
}

void TGameForm::ReleasePanelImage(TZoRGBPanel* panel) {
  if (panel == nullptr || MemMan == nullptr) return;
  TZoRGBBits* image = panel->GetImage();
  TZoAlpha* alpha = panel->GetAlpha();
  panel->SetImage(nullptr);
  panel->SetAlpha(nullptr);
  MemMan->Delete(image);
  MemMan->Delete(alpha);
}

// ---- The window's transition effects ------------------------------------------------------------------------

namespace {

// The effect manager behind the transition seam. The manager never owns pictures; this keeps the pair it was given
// and deletes it when the transition is cleared, replaced or refused.
class TEffectManTransition final : public TTransitionEffect {
public:
  explicit TEffectManTransition(TEffectMan& effects) : effects_(effects) {}
  TEffectManTransition(const TEffectManTransition&) = delete;
  TEffectManTransition& operator=(const TEffectManTransition&) = delete;

  bool Start(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) override {
    Clear();
    from_ = from;
    to_ = to;
    if (effects_.Start(kind, from, to, rate)) return true;
    Clear();
    return false;
  }
  void Advance(int frames) override { effects_.Advance(frames); }
  bool IsDone() const override { return effects_.IsDone(); }
  void Draw(TZoRGBBits* target, VXRectSet* dirty) override { effects_.Draw(target, dirty); }
  void Clear() override {
    effects_.Clear();
    DeleteScreenBits(from_);
    DeleteScreenBits(to_);
  }

private:
  TEffectMan& effects_;
  TZoRGBBits* from_ = nullptr;
  TZoRGBBits* to_ = nullptr;
};

}  // namespace

std::unique_ptr<TTransitionEffect> MakeEffectTransition(TEffectMan& effects) {
  return std::make_unique<TEffectManTransition>(effects);
}

void TGameForm::LoadWaterEffect() {
  const VXSectionHold game(gameLock_);
  effects_.Water().Load(FileMan);
}

void TGameForm::ReleaseWaterEffect() {
  const VXSectionHold game(gameLock_);
  effects_.Water().Release();
}

void TGameForm::LoadHaloEffect() {
  const VXSectionHold game(gameLock_);
  effects_.Halo().Load(FileMan, renderDepth_);
}

void TGameForm::ReleaseHaloEffect() {
  const VXSectionHold game(gameLock_);
  effects_.Halo().Release();
}

void TGameForm::LoadMaskEffect(VXString name) {
  const VXSectionHold game(gameLock_);
  effects_.Mask().Load(FileMan, name);
}

void TGameForm::ReleaseMaskEffect() {
  const VXSectionHold game(gameLock_);
  effects_.Mask().Release();
}
