// The movie screen: shows a movie either embedded, as the picture of `MoviePanel` inside another screen, or full
// screen, where the game presents each picture itself through its surface-draw hook. A click on the panel skips
// the movie when skipping is allowed and the movie is showing. When the movie ends or is skipped, the unit stops
// it and, given a result code that is not negative, hands that code to the waiting game thread.
//
// `Update` is called once per frame tick with the frames that passed. The first picture shows 30 frames after
// `Start`; a picture that has not come yet is simply drawn in a later tick, so a tick never waits. The frame work
// runs inside the game lock and the second display lock (in that order), so that it never overlaps the
// composition of a frame or a display switch.
#pragma once

#include "core/vxstring.h"
#include "device/dshow.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class VXFileMan;

class TMovieUnit : public Classes::TComponent {
public:
  static constexpr int kStartDelay = 30;

  // Loads the form resource "MovieUnit" (throws platform::form::EFormError when it cannot).
  explicit TMovieUnit(Classes::TComponent* owner);
  ~TMovieUnit() override;

  TZoRGBPanel* MoviePanel = nullptr;  // from the form, owned by the unit

  // The adventure plays embedded with result code -1, the movie sequences full screen with 0.
  bool Open(VXFileMan* parts, bool embedded, int resultCode);
  void Close();
  void SetCanSkip(bool on) { canSkip_ = on; }
  bool GetCanSkip() const { return canSkip_; }

  // Loads "Movie\<name>" of the movie folder, paused. Always true: `IsPlaying` tells whether the movie opened.
  bool Play(VXString name);
  void Start();
  void Stop();
  // From a `Play` that opened the movie until it ends, is skipped or is stopped: the adventure polls this to learn
  // that its movie is over (it asks for no result code).
  bool IsPlaying() const { return player_.IsOpen() && playing_ && !finished_; }
  void Update(int elapsedFrames);
  void Finish();

  void MoviePanelMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  // The surface-draw hook of full-screen play.
  void DrawSurface(TZoRGBBits* surface);

  // The folder that holds the "Movie" folder (CP932, ending in a separator); the program's folder by default.
  void SetProgramFolder(const VXString& folder) { programFolder_ = folder; }
  const VXString& GetProgramFolder() const { return programFolder_; }
  TDShowPlayer& GetPlayer() { return player_; }
  bool IsOpen() const { return open_; }
  bool IsStarted() const { return started_; }
  bool IsReady() const { return ready_; }

private:
  bool open_ = false;
  VXFileMan* parts_ = nullptr;
  bool embedded_ = false;
  int resultCode_ = -1;
  bool canSkip_ = true;
  bool playing_ = false;
  bool started_ = false;
  bool ready_ = false;
  bool finished_ = false;  // ended or skipped, not yet stopped
  int startDelay_ = 0;
  VXString programFolder_;
  TDShowPlayer player_;
};
