// The song select of free play: every playable song, one at a time with its title and information pictures, the
// level (easy, normal, hard) and the auto setting, and the song to play. The panels come from the form
// "SongSelectMenu"; the game thread opens the screen with the data files, calls Refresh, hangs `SongSelPanel` under
// the root and waits. The screen reports 0 (play `GetSelectedSong()`) or 1 (leave) through NotifyMainThread; the
// level and auto choice are written to the user configuration (MusicRankMode, MusicAutoMode) at once.
//
// The list. The story songs "QM01" .. "QM32" that exist come first: one whose "SONG.ID" (version 200) carries
// STORY=ON is listed only once the story has opened it (the system record's story-song flag) or with the setting
// MusicSongAll. Then every other folder "Song\????" whose "SONG.ID" is valid, unless a version-200 song says
// COMPATIBLE=OFF. The list is sorted by song order (CompareSongId); a song is listed once, whatever the case of its
// folder's name.
//
// Keys: Left and Right step through the list (wrapping around), Enter or Space plays, Escape leaves; each only
// while its button is enabled. Next, Back and Play do nothing while the list is empty.
//
// Game thread, under the game lock.
#pragma once

#include <vector>

#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "shell/systemdata.h"

class TZoAlpha;
class TZoRGBBits;
class TZoRGBBtn;
class TZoRGBText;
class VXFileMan;

class TSongSelectMenu : public Classes::TComponent {
public:
  enum TResult : int { kPlay = 0, kExit = 1 };
  static constexpr int kStorySongs = 32;

  // Loads the form resource "SongSelectMenu" (throws platform::form::EFormError when it cannot).
  explicit TSongSelectMenu(Classes::TComponent* owner);
  ~TSongSelectMenu() override;

  // Creates the panels and their pictures, the title's mask ("SSelTitleMask.bmp") and the song list; the first
  // song is current. False (closed again) when a picture is missing or no song can be played.
  bool Open(VXFileMan* dataFiles);
  // The level and auto buttons as the user configuration says, and the current song; false when its pictures
  // cannot be shown.
  bool Refresh();
  void Close();
  bool IsOpen() const { return open_; }

  // Builds the song list again; the number of songs. A current index the new list does not hold goes back to 0.
  int ScanSongs();
  // The title and information pictures of song `index`; false (the pictures shown before stay) for an index
  // outside the list or a song whose main part is gone.
  bool ShowSong(int index);

  int GetSongCount() const { return static_cast<int>(songs_.size()); }
  TSongID GetSong(int index) const;  // all zero outside the list
  int GetIndex() const { return index_; }
  // The song chosen with Play; all zero before.
  TSongID GetSelectedSong() const { return selected_; }

  // ---- Handlers the form binds
  void PanelCreate(Classes::TComponent* sender);
  void PanelRelease(Classes::TComponent* sender);
  void BtnMouseEnter(Classes::TComponent* sender);
  void SongSelPanelKeyDown(Classes::TComponent* sender, unsigned short& key, TShiftState shift);
  void SongSelPanelAnime(Classes::TComponent* sender);
  void BtnNextClick(Classes::TComponent* sender);
  void BtnBackClick(Classes::TComponent* sender);
  void BtnPlayClick(Classes::TComponent* sender);
  void BtnExitClick(Classes::TComponent* sender);
  void BtnEasyClick(Classes::TComponent* sender);
  void BtnNormalClick(Classes::TComponent* sender);
  void BtnHardClick(Classes::TComponent* sender);
  void BtnAutoOnClick(Classes::TComponent* sender);
  void BtnAutoOffClick(Classes::TComponent* sender);
  bool SongIDBackDraw(Classes::TComponent* sender, TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy);
  void SongIDTextCreate(Classes::TComponent* sender);
  void SongIDTextRelease(Classes::TComponent* sender);

  // ---- Published components (filled by the form)
  TZoRGBPanel* SongSelPanel = nullptr;
  TZoRGBPanel* PanelSongTitle = nullptr;
  TZoRGBPanel* PanelSongInfo = nullptr;
  TZoRGBBtn* BtnNext = nullptr;
  TZoRGBBtn* BtnBack = nullptr;
  TZoRGBBtn* BtnPlay = nullptr;
  TZoRGBBtn* BtnExit = nullptr;
  TZoRGBPanel* PanelSongFrame = nullptr;
  TZoRGBBtn* BtnEasy = nullptr;
  TZoRGBBtn* BtnNormal = nullptr;
  TZoRGBBtn* BtnHard = nullptr;
  TZoRGBBtn* BtnAutoOn = nullptr;
  TZoRGBBtn* BtnAutoOff = nullptr;
  TZoRGBPanel* SongIDBack = nullptr;
  TZoRGBText* SongIDText = nullptr;

private:
  void ShowLevel();
  void ShowAuto();
  void Step(int by);
  // The song's title picture into PanelSongTitle's picture.
  bool DrawTitle(VXFileMan& songFiles);

  bool open_ = false;
  // Set while the form's panels are being created, cleared by a picture that does not load.
  bool picturesLoaded_ = true;
  VXFileMan* dataFiles_ = nullptr;
  std::vector<TSongID> songs_;
  int index_ = 0;
  TSongID selected_{};
};

extern TSongSelectMenu* SongSelectMenu;
