// The one way the game opens its data files by name: from a pack archive (pack mode) or from a folder (folder
// mode). Callers get a stream either way and give it back with `Close`.
//
//   VXFileMan man;
//   man.InitPack("data.pak");            // or man.InitDir("BGM")
//   VXStream* s = man.Open("Title.png");
//   ...
//   man.Close(s);
//
// In folder mode names pass through the platform's name boundary (`Song\QM01\SONG.ID` finds song/qm01/Song.ID);
// names may not be absolute or climb out of the folder with "..". Searches list files only, in the order of the
// upper-cased names; the pattern "*.*" means every file. Streams handed out and never closed are reported, through
// `OnMessage`, when the manager is destroyed.
#pragma once

#include <cstdint>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxpack.h"
#include "core/vxstream.h"
#include "core/vxstring.h"
#include "core/widefile.h"

struct VXFilePointer {
  VXStream* stream = nullptr;
  std::uintptr_t caller = 0;  // the call instruction that opened it; 0 while OnMessage is unbound
  VXString name;              // only when record names is set
};

class VXFileMan {
public:
  VXFileMan() = default;
  ~VXFileMan();
  VXFileMan(const VXFileMan&) = delete;
  VXFileMan& operator=(const VXFileMan&) = delete;

  // Each of these ends the previous mode first, also when it then fails.
  bool InitPack(const VXString& fileName);  // a pack file the manager opens and owns
  bool InitPack(const char* fileName) { return InitPack(VXString(fileName)); }
  bool InitPack(VXPack* pack);              // the caller's open pack
  bool InitPack(VXStream* stream);          // a pack read from the caller's stream; the pack object is owned
  bool SetPack(VXPack* pack) { return InitPack(pack); }
  VXPack* GetPack() const { return pack_; }
  bool InitDir(const VXString& folder);  // always true; an empty folder is the current directory
  bool SetDir(const VXString& folder) { return InitDir(folder); }
  VXString GetDir() const;  // without the final backslash
  void Finish();
  bool ChkIsPack() const { return modeSet_ && pack_ != nullptr; }

  VXStream* Open(const VXString& name);    // reading; null on failure
  VXStream* Create(const VXString& name);  // folder mode only: creates or truncates
  void Close(VXStream*& stream);           // deletes the stream, registered or not, and nulls the pointer

  bool FileIsExist(const VXString& name);
  void FindSet(const VXString& pattern);
  bool FindFile(VXString& name);
  bool GetFileTime(const VXString& name, FILETIME* time);

  VXBaseCallback2<void, VXFileMan*, VXString> OnMessage;
  bool recordNames = false;

private:
  VXStream* Register(VXStream* stream, const VXString& name, void* returnAddress);
  std::uintptr_t CallSite(void* returnAddress) const;
  void Message(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool UsePack(VXPack* pack, bool owned);  // sets pack mode; true
  bool FolderName(const VXString& name, VXString& path) const;  // folder + name; false for an unsafe name
  bool FindInPack(VXString& name);
  bool FindInFolder(VXString& name);
  void EndSearch();

  bool modeSet_ = false;
  bool ownsPack_ = false;
  VXPack* pack_ = nullptr;
  VXString folder_;
  std::vector<VXFilePointer> registry_;
  // Folder search: the files of the searched folder in listing order, and the next one to look at (-1: none).
  std::vector<VXString> found_;
  int foundIndex_ = -1;
  int findIndex_ = -1;  // pack search position
  VXString findPattern_;
};
