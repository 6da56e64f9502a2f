#include "core/vxfileman.h"

#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "core/vxsys.h"
#include "core/vxtext.h"
#include "platform/fs.h"

VXFileMan::~VXFileMan() {
  if (OnMessage.IsValid()) {
    for (auto it = registry_.rbegin(); it != registry_.rend(); ++it) {
      const auto stream = reinterpret_cast<std::uintptr_t>(it->stream);
      if (it->name.IsEmpty())
        Message("NotClose %08" PRIxPTR ":Call(%08" PRIxPTR ")", stream, it->caller);
      else
        Message("NotClose[%s] %08" PRIxPTR ":Call(%08" PRIxPTR ")", it->name.c_str(), stream, it->caller);
    }
  }
  registry_.clear();
  Finish();
}

void VXFileMan::Message(const char* format, ...) {
  if (!OnMessage.IsValid()) return;
  va_list args;
  va_start(args, format);
  VXString text;
  text.vprintf(format, args);
  va_end(args);
  OnMessage.Invoke(this, text);
}

std::uintptr_t VXFileMan::CallSite(void* returnAddress) const {
  return OnMessage.IsValid() ? VXCallSiteOf(returnAddress) : 0;
}

// ---- Modes

void VXFileMan::Finish() {
  if (ownsPack_) delete pack_;
  pack_ = nullptr;
  ownsPack_ = false;
  folder_.Clear();
  modeSet_ = false;
  EndSearch();
  findPattern_.Clear();
  findIndex_ = -1;
}

bool VXFileMan::InitPack(const VXString& fileName) {
  Finish();
  if (!VXFileIsExistA(fileName.c_str())) return false;
  auto pack = std::make_unique<VXPack>();
  return pack->OpenPack(fileName.c_str()) && UsePack(pack.release(), true);
}

bool VXFileMan::InitPack(VXPack* pack) {
  Finish();
  return pack != nullptr && UsePack(pack, false);
}

bool VXFileMan::InitPack(VXStream* stream) {
  Finish();
  auto pack = std::make_unique<VXPack>();
  return pack->LoadPackStream(stream) && UsePack(pack.release(), true);
}

bool VXFileMan::UsePack(VXPack* pack, bool owned) {
  pack_ = pack;
  ownsPack_ = owned;
  modeSet_ = true;
  return true;
}

bool VXFileMan::InitDir(const VXString& folder) {
  Finish();
  folder_ = folder;
  if (!folder_.IsEmpty() && !folder_.IsPathDelimiter(folder_.Length())) folder_ += "\\";
  modeSet_ = true;
  return true;
}

VXString VXFileMan::GetDir() const { return folder_.IsEmpty() ? VXString() : folder_.SubString(1, folder_.Length() - 1); }

bool VXFileMan::FolderName(const VXString& name, VXString& path) const {
  if (!platform::fs::IsSafeDataName(name.c_str())) return false;
  path = folder_ + name;
  return true;
}

// ---- Opening

VXStream* VXFileMan::Register(VXStream* stream, const VXString& name, void* returnAddress) {
  const std::uintptr_t caller = CallSite(returnAddress);
  if (stream == nullptr) {
    Message("FileOpenErr Call(%08" PRIxPTR ") [%s]", caller, name.c_str());
    return nullptr;
  }
  registry_.push_back({stream, caller, recordNames ? name : VXString()});
  return stream;
}

[[gnu::noinline]] VXStream* VXFileMan::Open(const VXString& name) {
  void* returnAddress = __builtin_return_address(0);
  if (!modeSet_) return nullptr;
  VXStream* stream = nullptr;
  if (FileIsExist(name)) {
    if (pack_ != nullptr) {
      stream = pack_->VXMakeStream(name.c_str());  // an empty entry is an empty memory stream, and opened
    } else {
      VXString path;
      FolderName(name, path);
      stream = new VXFileStream(path, VXFileRead);
      if (!stream->IsOpen()) {
        delete stream;
        stream = nullptr;
      }
    }
  }
  return Register(stream, name, returnAddress);
}

[[gnu::noinline]] VXStream* VXFileMan::Create(const VXString& name) {
  void* returnAddress = __builtin_return_address(0);
  if (!modeSet_ || pack_ != nullptr) return nullptr;
  VXStream* stream = nullptr;
  VXString path;
  if (FolderName(name, path)) {
    stream = new VXFileStream(path, VXFileCreate);
    if (!stream->IsOpen()) {
      delete stream;
      stream = nullptr;
    }
  }
  return Register(stream, name, returnAddress);
}

void VXFileMan::Close(VXStream*& stream) {
  if (stream == nullptr) return;
  for (auto it = registry_.begin(); it != registry_.end(); ++it)
    if (it->stream == stream) {
      registry_.erase(it);
      break;
    }
  delete stream;
  stream = nullptr;
}

bool VXFileMan::FileIsExist(const VXString& name) {
  if (!modeSet_) return false;
  if (pack_ != nullptr) return pack_->CheckFileName(name.c_str()) >= 0;
  VXString path;
  return FolderName(name, path) && VXFileIsExistA(path.c_str());
}

bool VXFileMan::GetFileTime(const VXString& name, FILETIME* time) {
  if (!modeSet_ || time == nullptr) return false;
  if (pack_ != nullptr) return pack_->GetFileTime(pack_->CheckFileName(name.c_str()), time);
  VXString path;
  return FolderName(name, path) && VXFileIsExistA(path.c_str()) && GetFileWriteTimeA(path.c_str(), time);
}

// ---- Searching

void VXFileMan::FindSet(const VXString& pattern) {
  findPattern_ = pattern;
  findIndex_ = 0;
  EndSearch();
}

void VXFileMan::EndSearch() {
  found_.clear();
  foundIndex_ = -1;
}

bool VXFileMan::FindFile(VXString& name) {
  if (!modeSet_ || findPattern_.IsEmpty()) return false;
  const bool found = pack_ != nullptr ? FindInPack(name) : FindInFolder(name);
  if (!found) findPattern_.Clear();
  return found;
}

bool VXFileMan::FindInPack(VXString& name) {
  char entry[kVXPackFullNameLength + 1];
  while (findIndex_ >= 0 && findIndex_ < pack_->GetFileNum()) {
    pack_->GetFileName(findIndex_++, entry);
    if (entry[0] != '\0' && VXWildCardCmp(findPattern_.c_str(), entry)) {
      name = entry;
      return true;
    }
  }
  findIndex_ = -1;
  return false;
}

bool VXFileMan::FindInFolder(VXString& name) {
  // The folder part of the pattern names the folder to list; the rest is the wildcard.
  const int cut = findPattern_.LastDelimiter("\\/");
  const VXString sub = findPattern_.SubString(1, cut);
  VXString wildcard = findPattern_.SubString(cut + 1, findPattern_.Length());
  if (std::strcmp(wildcard.c_str(), "*.*") == 0) wildcard = "*";  // every file, with or without an extension
  if (foundIndex_ < 0) {
    VXString path;
    if (!sub.IsEmpty() && !FolderName(sub, path)) return false;
    const VXString folder = folder_ + sub;
    const std::string host = platform::fs::ToHostPath(std::string_view(folder.IsEmpty() ? "." : folder.c_str()));
    for (const platform::fs::Entry& e : platform::fs::ListFolder(host))
      if (!e.isFolder) found_.push_back(platform::fs::ToWindowsName(e.name).c_str());
    foundIndex_ = 0;
  }
  while (foundIndex_ < static_cast<int>(found_.size())) {
    const VXString& candidate = found_[foundIndex_++];
    if (VXWildCardCmp(wildcard.c_str(), candidate.c_str())) {
      name = candidate;
      return true;
    }
  }
  EndSearch();
  return false;
}
