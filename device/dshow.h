// The movie player: plays an MPEG file (platform/movie) picture by picture into a panel's picture surface (a movie
// inside a screen) or onto any surface the caller gives (the display's back surface, full screen).
//
// Frames. `RequestFrame` asks for the next picture and `CheckFrame` asks, without waiting, whether it has come: a
// picture has come when the movie's clock has reached it. Once it has, both answer true until the next request.
// The end of the movie, or a failure while decoding, sets the ended flag and stops the player, which stays open.
//
// Display switches. The player registers with the game's display-switch callbacks: before the display goes
// (phase 1) it notes the playing time, deletes its picture surface and closes the movie; after the display is
// back (phase 0) it reopens the file, makes a new picture surface and runs on from the noted time. A paused or
// ended movie is reopened but not restarted.
//
// The picture surface has two owners: the display that made it (which deletes every surface it made when it is
// disabled) and the memory manager, through which the player deletes it. The player watches the surface, so that
// a surface the display deleted first is only struck from the memory manager and never deleted twice.
//
// File names are used whole, whatever their length. Everything runs on the game's thread under the game's locks.
#pragma once

#include <cstdint>
#include <memory>

#include "core/vxstring.h"
#include "graphics/vxrgbraw.h"
#include "platform/component.h"
#include "platform/movie.h"

class TZoRGBBits;
class TZoRGBPanel;
namespace DirectX {
class TDDraw;
class TDSurface;
}

class TDShowPlayer {
public:
  TDShowPlayer();
  ~TDShowPlayer();
  TDShowPlayer(const TDShowPlayer&) = delete;
  TDShowPlayer& operator=(const TDShowPlayer&) = delete;

  // False, with everything released, when the file cannot be opened as a movie, when no game services are
  // installed, or when the picture surface cannot be made. With `paused` false the movie runs at once.
  bool Open(TZoRGBPanel* panel, bool paused, VXString file);
  bool Open(bool paused, VXString file);
  void Close();
  void Start();  // from the beginning
  void Stop();
  // Plays from `position` in units of 100 ns and shows the picture there at once.
  void Run(std::int64_t position);

  bool RequestFrame();
  bool CheckFrame();

  bool IsOpen() const { return movie_ != nullptr; }
  bool IsPlaying() const { return IsOpen() && playing_; }
  bool IsEnded() const { return !IsOpen() || ended_; }

  // The current picture onto the picture surface, marking the panel for redrawing; true at once without a panel.
  bool DrawToPanel();
  // The current picture at (0, 0) of `target`, converted when its format differs.
  bool DrawTo(TZoRGBBits* target);

  void OnDisplayChange(DirectX::TDDraw* display, int phase);

  // The wall clock of movies without sound (tests and tools); null takes the monotonic clock.
  void SetClock(platform::thread::Clock* clock) { clock_ = clock; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  const VXString& GetFileName() const { return fileName_; }
  DirectX::TDSurface* GetPictureSurface() const { return surface_; }
  TZoRGBPanel* GetPanel() const { return panel_; }
  bool IsSuspended() const { return suspended_; }
  std::int64_t GetSavedPosition() const { return savedPosition_; }
  // The picture last taken; null before the first.
  const platform::movie::Frame* GetFrame() const;

private:
  class SurfaceWatch : public Classes::TComponent {
  public:
    explicit SurfaceWatch(TDShowPlayer& player) : Classes::TComponent(nullptr), player_(player) {}

  protected:
    void Notification(Classes::TComponent* component, Classes::TOperation operation) override;

  private:
    TDShowPlayer& player_;
  };

  bool OpenStream(VXBitDepth depth, const VXString& file);
  void CloseStream();
  bool MakePictureSurface();
  void DeletePictureSurface();
  bool TakeFrame();
  void End();

  VXString fileName_;
  std::unique_ptr<platform::movie::Movie> movie_;
  bool completed_ = false;  // the requested picture has come
  bool playing_ = false;
  bool ended_ = false;
  bool suspended_ = false;
  std::int64_t savedPosition_ = -1;
  int width_ = 0;
  int height_ = 0;
  TZoRGBPanel* panel_ = nullptr;
  DirectX::TDSurface* surface_ = nullptr;
  SurfaceWatch watch_{*this};
  platform::thread::Clock* clock_ = nullptr;
};
