// The album: the event pictures that the player has seen, in 20 entries shown as thumbnails on a 5 x 4 grid. The
// table "AlbumTbl.csv" (main data) lists each entry's picture numbers (500-699); a number stays when its picture
// has been seen (TSystemData::GetEventSeen(number - 500)) or when AlbumShowAll is on, at most eight an entry.
// Clicking an entry with pictures shows them full screen one after another ("bg%03d" with the first of ".bmp",
// ".jpg", ".png", ".lzh" found in the event files: the pack "EvBG.pak", else the folder "EvBG_Pak" beside the
// game), each click the next, then the grid again; the changes are plain cross-fades of the game window when it has
// a transition effect, and immediate without one.
//
// A picture larger than the screen scrolls: the pointer near an edge shows the direction as the cursor, and each
// frame moves the view 8 pixels that way. The two axes have offsets of their own, each held within the picture.
// The cursor rests (hides) after 60 frames without a mouse move. Pictures that cannot be loaded, and pictures with
// a side above 4096 pixels, are passed over; an entry without any loadable picture does not leave the grid.
//
// The thumbnails change along the diagonals when a page is shown: each over 32 frames after a delay of row +
// column frames, from the page shown before.
//
// The panels come from the form "AlbumMenu". The title flow installs `Frame` as the game window's frame callback
// and hears 0 (`ExitBtn`) through NotifyMainThread. Game thread; `Frame` takes the game lock.
#pragma once

#include <array>
#include <cstdint>

#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"

class TZoRGBBits;
class TZoRGBBtn;
class TZoRGBNum;
class VXFileMan;
class VXRectSet;

class TAlbumMenu : public Classes::TComponent {
public:
  static constexpr int kEntries = 20;
  static constexpr int kPictures = 8;
  static constexpr int kThumbWidth = 106, kThumbHeight = 80;
  static constexpr int kMaxPictureSide = 4096;
  static constexpr int kShowFrames = 39;
  enum TViewState : std::uint8_t { vsGrid = 0, vsOpening = 1, vsShown = 2, vsClosing = 3 };

  struct TEntry {
    int count = 0;
    std::array<int, kPictures> pictures{-1, -1, -1, -1, -1, -1, -1, -1};
  };

  // Loads the form resource "AlbumMenu" (throws platform::form::EFormError when it cannot); Page -1.
  explicit TAlbumMenu(Classes::TComponent* owner);
  ~TAlbumMenu() override;

  // Keeps the main data files, opens the event files, creates the panels and the thumbnail pictures; false
  // (released again) on any failure.
  bool Init(VXFileMan* files);
  // Reads the table again and shows page 0 (the background is loaded on the first show).
  void Prepare();
  void Release();
  // The frame callback: the page's thumbnails, the picture view's transitions, cursor and scrolling.
  void Frame(int frames);

  int GetPage() const { return page_; }
  int GetHoverEntry() const { return hoverEntry_; }
  int GetShowCounter() const { return showCounter_; }
  int GetViewState() const { return viewState_; }
  int GetViewEntry() const { return viewEntry_; }
  int GetViewIndex() const { return viewIndex_; }
  int GetScrollX() const { return scrollX_; }
  int GetScrollY() const { return scrollY_; }
  const TEntry& GetEntry(int e) const { return entries_[static_cast<std::size_t>(e)]; }
  bool IsLoaded(int i) const { return loaded_[static_cast<std::size_t>(i)]; }
  // The picture being viewed (null in the grid).
  TZoRGBBits* GetPicture() const { return picture_; }

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void PageBtnClick(Classes::TComponent* sender);
  void ThumbNailMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void ThumbNailMouseEnter(Classes::TComponent* sender);
  bool ThumbNailDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void ExitBtnClick(Classes::TComponent* sender);
  void PicturePanelMouseDown(Classes::TComponent* sender, TMouseButton button, TShiftState shift, int x, int y);
  void PicturePanelMouseMove(Classes::TComponent* sender, TShiftState shift, int x, int y);

  // ---- Published components (filled by the form)
  TZoRGBPanel* AlbumPanel = nullptr;
  TZoRGBBtn* PageBtn1 = nullptr;
  TZoRGBBtn* PageBtn2 = nullptr;
  TZoRGBBtn* PageBtn3 = nullptr;
  TZoRGBPanel* ThumbNail01 = nullptr;
  TZoRGBPanel* ThumbNail02 = nullptr;
  TZoRGBPanel* ThumbNail03 = nullptr;
  TZoRGBPanel* ThumbNail04 = nullptr;
  TZoRGBPanel* ThumbNail05 = nullptr;
  TZoRGBPanel* ThumbNail06 = nullptr;
  TZoRGBPanel* ThumbNail07 = nullptr;
  TZoRGBPanel* ThumbNail08 = nullptr;
  TZoRGBPanel* ThumbNail09 = nullptr;
  TZoRGBPanel* ThumbNail10 = nullptr;
  TZoRGBPanel* ThumbNail11 = nullptr;
  TZoRGBPanel* ThumbNail12 = nullptr;
  TZoRGBPanel* ThumbNail13 = nullptr;
  TZoRGBPanel* ThumbNail14 = nullptr;
  TZoRGBPanel* ThumbNail15 = nullptr;
  TZoRGBPanel* ThumbNail16 = nullptr;
  TZoRGBPanel* ThumbNail17 = nullptr;
  TZoRGBPanel* ThumbNail18 = nullptr;
  TZoRGBPanel* ThumbNail19 = nullptr;
  TZoRGBPanel* ThumbNail20 = nullptr;
  TZoRGBBtn* ExitBtn = nullptr;
  TZoRGBPanel* LightPanel = nullptr;
  TZoRGBNum* GoodEndNum = nullptr;
  TZoRGBNum* GoodEndMax = nullptr;
  TZoRGBNum* BadEndNum = nullptr;
  TZoRGBNum* BadEndMax = nullptr;
  TZoRGBPanel* PicturePanel = nullptr;

  // Thumbnail i (0-19).
  TZoRGBPanel* ThumbNail(int i) const;

  // The drawing hooks of a running transition.
  void DrawTransitionFull(TZoRGBBits* target);
  void DrawTransitionUpdate(TZoRGBBits* target, VXRectSet* dirty);

private:
  void ReadTable();
  void ShowPage(int page);
  // Loads the first picture from ViewIndex on that can be had (ViewIndex moves to it); false when none is left.
  bool LoadPicture();
  void DrawView();
  // A cross-fade from the screen as it is to `to` drawn into a screen picture; false without a transition.
  bool StartFade(TZoRGBPanel* to);
  void EndFade();
  void OpenPicture();
  void CloseView();
  void StepView(int frames);
  void Scroll(int direction);
  void DeletePicture();

  bool opened_ = false;
  VXFileMan* files_ = nullptr;
  VXFileMan* eventFiles_ = nullptr;
  std::array<TZoRGBBits*, kEntries> thumbs_{};
  std::array<TZoRGBBits*, kEntries> oldThumbs_{};
  std::array<TEntry, kEntries> entries_{};
  std::array<bool, kEntries> loaded_{};
  std::array<bool, kEntries> oldLoaded_{};
  int page_ = -1;
  int hoverEntry_ = -1;
  int showCounter_ = -1;
  std::uint8_t viewState_ = vsGrid;
  int viewEntry_ = 0;
  int viewIndex_ = 0;
  TZoRGBBits* picture_ = nullptr;
  int scrollX_ = 0, scrollY_ = 0;
  int restCountdown_ = 0;
  bool fading_ = false;
};

extern TAlbumMenu* AlbumMenu;
