#include "core/vxpack.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "core/vxcompstream.h"
#include "core/vxstd.h"
#include "core/vxsys.h"
#include "platform/fs.h"
#include "platform/text.h"

const char* const kVXPackBrokenMessage = "Packﾌｧｲﾙが壊れています。";

namespace {

constexpr std::int64_t kHeaderSize = 16;
constexpr int kWholeFileChunk = 1 << 20;
constexpr int kEntryChunk = 32768;
constexpr int kPadding = 16;
// Entries of the two older versions carry no time stamp; they get 1989-12-31 15:00:00 UTC.
constexpr FILETIME kOldTime = {0xA8EE9800u, 0x01B41DDEu};

struct VersionLayout {
  std::uint16_t version;
  int entrySize;
  bool hasComp;  // stored size and kind
  bool hasCrc;   // entry CRC, time stamp and the whole-file CRC
};

constexpr VersionLayout kLayouts[] = {
    {VXPackVersion1, sizeof(VXFileTable1), false, false},
    {VXPackVersion2, sizeof(VXFileTable2), true, false},
    {VXPackVersion3, sizeof(VXFileTable3), true, true},
    {VXPackVersion31, sizeof(VXFileTable3), true, true},
};

const VersionLayout* FindLayout(std::uint16_t version) {
  for (const VersionLayout& l : kLayouts)
    if (l.version == version) return &l;
  return nullptr;
}

VXFileTable3 WidenEntry(const unsigned char* p, const VersionLayout& layout) {
  VXFileTable3 e{};
  std::memcpy(e.name, p, kVXPackNameLength);
  std::memcpy(e.ext, p + kVXPackNameLength, kVXPackExtLength);
  e.offset = VXGetLE32(p + 24);
  e.size = VXGetLE32(p + 28);
  e.compSize = layout.hasComp ? VXGetLE32(p + 32) : e.size;
  e.comp = layout.hasComp ? p[36] : static_cast<std::uint8_t>(VXPackCompNone);
  if (layout.hasCrc) {
    e.crcFlag = p[37];
    e.crc = VXGetLE16(p + 38);
    e.time = {VXGetLE32(p + 40), VXGetLE32(p + 44)};
  } else {
    e.time = kOldTime;
  }
  return e;
}

void PutEntry(unsigned char* p, const VXFileTable3& e) {
  std::memcpy(p, e.name, kVXPackNameLength);
  std::memcpy(p + kVXPackNameLength, e.ext, kVXPackExtLength);
  VXPutLE32(p + 24, e.offset);
  VXPutLE32(p + 28, e.size);
  VXPutLE32(p + 32, e.compSize);
  p[36] = e.comp;
  p[37] = e.crcFlag;
  VXPutLE16(p + 38, e.crc);
  VXPutLE32(p + 40, e.time.dwLowDateTime);
  VXPutLE32(p + 44, e.time.dwHighDateTime);
}

bool IsDeleted(const VXFileTable3& e) {
  for (char c : e.name)
    if (c != 0) return false;
  for (char c : e.ext)
    if (c != 0) return false;
  return true;
}

// The kinds whose stored bytes are the data itself, so that their decoded size must lie in the data area too.
bool IsPlainKind(int comp) { return comp == VXPackCompNone || comp == VXPackCompNot; }
bool IsCodedKind(int comp) { return comp == VXPackCompMariel || comp == VXPackCompCocotte; }

// The most a coded entry can decode to: a Mariel match of 3 bytes stands for at most 65,536 bytes, a Cocotte block
// of at least 6 bytes for at most 32,768. A table that claims more is damaged; refusing it keeps a few bytes of a
// damaged file from asking for gigabytes of memory.
std::int64_t MaxDecodedSize(int comp, std::int64_t stored) {
  return comp == VXPackCompMariel ? (stored / 3 + 1) * 65536 : (stored / 6 + 1) * 32768;
}

std::int64_t Padded(std::int64_t n) { return (n + kPadding - 1) / kPadding * kPadding; }

std::string HostOf(const VXString& name) { return platform::fs::ToHostPath(std::string_view(name.c_str())); }

std::string Person(const VXString& cp932) { return platform::text::Cp932ToUtf8(cp932.c_str()); }

std::string BadNameText(const char* name) { return "ファイル名" + Person(name == nullptr ? "" : name) + "が不正です。"; }

// The bytes of a name before its last dot (a leading dot starts no extension): the entry's base name.
std::size_t BaseLength(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot != nullptr && dot != name ? static_cast<std::size_t>(dot - name) : std::strlen(name);
}

// Writer's choice -> coder of the compressing streams (-1: none) and the kind recorded in the entry.
struct AddChoice {
  int coder;
  VXPackComp kind;
};
constexpr AddChoice kAddChoices[] = {
    {-1, VXPackCompNone},                    // VXPackAddStore
    {VXCompMariel, VXPackCompMariel},        // VXPackAddMariel
    {VXCompCocotte, VXPackCompCocotte},      // VXPackAddCocotte
    {-1, VXPackCompNot},                     // VXPackAddNot
    {VXCompCocotteLE, VXPackCompCocotte},    // VXPackAddCocotteLE
    {VXCompCocotteMini, VXPackCompCocotte},  // VXPackAddCocotteMini
};

}  // namespace

VXPack::VXPack() : crc_(new VXCrcCheck()) {}

VXPack::~VXPack() {
  EndPack();
  delete crc_;
}

bool VXPack::Fail(const std::string& reason) {
  lastError_ = reason;
  return false;
}

// ---- Opening and loading

bool VXPack::LoadPack(const char* name) {
  EndPack();
  if (name == nullptr || *name == '\0') return Fail("no pack name");
  auto* file = new VXFileStream(name, VXFileRead);
  if (!file->IsOpen()) {
    delete file;
    return Fail("the pack file cannot be opened");
  }
  if (!readOnly_) {
    // Changes go to a copy beside the pack, renamed over it at the end.
    VXString folder = VXExtractFilePathA(name);
    VXString work;
    VXFileStream* copy = MakeTempFile(folder.IsEmpty() ? VXString(".\\") : folder, work);
    bool copied = false;
    if (copy != nullptr) {
      try {
        FileCopy(file, copy, file->GetSize(), false);
        copied = true;
      } catch (const std::exception&) {
      }
    }
    delete file;
    if (!copied) {
      delete copy;
      if (copy != nullptr) std::remove(HostOf(work).c_str());
      return Fail("no working copy of the pack could be made beside it");
    }
    file = copy;
    workName_ = work;
  }
  stream_ = file;
  streamNotOwned_ = false;
  if (!Load()) {
    ReleasePack();
    return false;
  }
  packName_ = name;
  return true;
}

bool VXPack::LoadPackStream(VXStream* stream) {
  EndPack();
  if (!readOnly_) return Fail("a pack read from a stream must be read-only");
  if (stream == nullptr) return Fail("no stream");
  stream_ = stream;
  streamNotOwned_ = true;
  if (!Load()) {
    ReleasePack();
    return false;
  }
  return true;
}

bool VXPack::OpenPack(const char* name) {
  if (name != nullptr && *name != '\0') return LoadPack(name);
  EndPack();
  return true;
}

bool VXPack::Load() {
  unsigned char raw[kHeaderSize];
  if (stream_->Seek(0, VXSeekBegin) != 0 || stream_->Read(raw, kHeaderSize) != kHeaderSize)
    return Fail("shorter than a pack header");
  std::memcpy(header_.magic, raw, sizeof header_.magic);
  header_.version = VXGetLE16(raw + 6);
  header_.dataSize = VXGetLE32(raw + 8);
  header_.fileNum = VXGetLE32(raw + 12);
  if (!LoadTable(stream_->GetSize())) return false;
  if (verifyMode == VXPackVerifyFile && FindLayout(header_.version)->hasCrc && !VerifyWholeFile()) return false;
  header_.version = VXPackVersion31;
  modified_ = false;
  lastError_.clear();
  return true;
}

bool VXPack::LoadTable(std::int64_t fileSize) {
  const VersionLayout* layout = FindLayout(header_.version);
  if (layout == nullptr) return Fail("unknown pack version");
  const std::int64_t count = header_.fileNum;
  const std::int64_t tableStart = kHeaderSize + header_.dataSize;
  const std::int64_t tableBytes = count * layout->entrySize;
  if (count > INT_MAX || tableStart + tableBytes > fileSize) return Fail("the entry table runs past the end of the file");
  std::vector<unsigned char> raw(static_cast<std::size_t>(tableBytes));
  if (count > 0 && (stream_->Seek(tableStart, VXSeekBegin) != tableStart ||
                    stream_->Read(raw.data(), static_cast<int>(tableBytes)) != tableBytes))
    return Fail("the entry table cannot be read");
  table_.clear();
  table_.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) table_.push_back(WidenEntry(raw.data() + i * layout->entrySize, *layout));
  if (!CheckEntries()) {
    table_.clear();
    return Fail("an entry lies outside the data area");
  }
  RebuildIndex();
  return true;
}

bool VXPack::CheckEntries() const {
  const std::int64_t data = header_.dataSize;
  for (const VXFileTable3& e : table_) {
    const std::int64_t room = data - static_cast<std::int64_t>(e.offset);
    if (room < 0 || e.compSize > room) return false;
    if (IsPlainKind(e.comp) && e.size > room) return false;
  }
  return true;
}

bool VXPack::VerifyWholeFile() {
  const std::int64_t total = kHeaderSize + header_.dataSize + static_cast<std::int64_t>(table_.size()) * 48;
  Report(0, total);
  std::vector<unsigned char> buffer(kWholeFileChunk);
  unsigned short crc = 0xFFFF;
  bool ok = stream_->Seek(0, VXSeekBegin) == 0;
  for (std::int64_t done = 0; ok && done < total;) {
    const int n = static_cast<int>(std::min<std::int64_t>(kWholeFileChunk, total - done));
    Report(done + n, total);
    ok = stream_->Read(buffer.data(), n) == n;
    crc = crc_->UpDateCrc(crc, buffer.data(), n);
    done += n;
  }
  unsigned char stored[2];
  if (!ok || stream_->Read(stored, 2) != 2 || VXGetLE16(stored) != crc) {
    std::fprintf(stderr, "%s\n", kVXPackBrokenMessage);
    table_.clear();
    return Fail("the pack's checksum does not match");
  }
  return true;
}

void VXPack::RebuildIndex() {
  index_.clear();
  for (int i = static_cast<int>(table_.size()) - 1; i >= 0; --i) IndexEntry(i);
}

void VXPack::IndexEntry(int index) {
  char name[kVXPackFullNameLength + 1];
  FullName(table_[index], name);
  if (*name != '\0') index_[VXString(name).UpperCase().c_str()] = index;
}

// ---- Closing

bool VXPack::EndPack() {
  if (!IsOpen()) return true;
  CloseFile();
  const bool ok = !modified_ || workName_.IsEmpty() || Finish();
  ReleasePack();
  return ok;
}

void VXPack::DiscardPack() {
  if (!IsOpen()) return;
  CloseFile();
  ReleasePack();
}

void VXPack::ReleasePack() {
  if (!streamNotOwned_) delete stream_;
  stream_ = nullptr;
  streamNotOwned_ = false;
  if (!workName_.IsEmpty()) std::remove(HostOf(workName_).c_str());
  workName_.Clear();
  table_.clear();
  index_.clear();
  header_ = {};
  modified_ = false;
  packName_.Clear();
}

bool VXPack::Finish() {
  try {
    WriteTable();
    auto* file = dynamic_cast<VXWinFileStream*>(stream_);
    if (file == nullptr || !file->Sync()) throw std::runtime_error("the pack cannot be written to the disk");
    delete stream_;
    stream_ = nullptr;
    if (std::rename(HostOf(workName_).c_str(), HostOf(packName_).c_str()) != 0)
      throw std::runtime_error("the finished pack cannot take the place of " + Person(packName_));
    workName_.Clear();
    platform::fs::ClearCache();
    return true;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return false;
  }
}

void VXPack::WriteTable() {
  const std::int64_t tableStart = kHeaderSize + header_.dataSize;
  const std::int64_t total = tableStart + static_cast<std::int64_t>(table_.size()) * 48;
  unsigned char hed[kHeaderSize];
  std::memcpy(hed, "ZoPack", 6);
  VXPutLE16(hed + 6, header_.version);
  VXPutLE32(hed + 8, header_.dataSize);
  VXPutLE32(hed + 12, static_cast<std::uint32_t>(table_.size()));
  if (stream_->Seek(0, VXSeekBegin) != 0) throw std::runtime_error("the pack cannot be written");
  stream_->WriteBuffer(hed, kHeaderSize);
  std::vector<unsigned char> raw(table_.size() * 48);
  for (std::size_t i = 0; i < table_.size(); ++i) PutEntry(raw.data() + i * 48, table_[i]);
  if (stream_->Seek(tableStart, VXSeekBegin) != tableStart) throw std::runtime_error("the pack cannot be written");
  stream_->WriteBuffer(raw.data(), static_cast<int>(raw.size()));

  Report(0, total);
  std::vector<unsigned char> buffer(kWholeFileChunk);
  unsigned short crc = 0xFFFF;
  if (stream_->Seek(0, VXSeekBegin) != 0) throw std::runtime_error("the pack cannot be read back");
  for (std::int64_t done = 0; done < total;) {
    const int n = static_cast<int>(std::min<std::int64_t>(kWholeFileChunk, total - done));
    Report(done + n, total);
    stream_->ReadBuffer(buffer.data(), n);
    crc = crc_->UpDateCrc(crc, buffer.data(), n);
    done += n;
  }
  unsigned char tail[2];
  VXPutLE16(tail, crc);
  stream_->WriteBuffer(tail, 2);
  // The working file may hold an older, longer table past the new end.
  if (!stream_->SetSize(total + 2)) throw std::runtime_error("the pack cannot be written");
}

void VXPack::SetReadOnly(bool readOnly) {
  if (!IsOpen()) readOnly_ = readOnly;
}

// ---- Queries

int VXPack::GetFileNum() const { return IsOpen() ? static_cast<int>(table_.size()) : 0; }

const VXFileTable3* VXPack::GetFileTable(int index) const {
  if (!IsOpen() || index < 0 || index >= static_cast<int>(table_.size())) return nullptr;
  return &table_[index];
}

void VXPack::FullName(const VXFileTable3& entry, char* buffer) const {
  int n = 0;
  for (int i = 0; i < kVXPackNameLength && entry.name[i] != 0; ++i) buffer[n++] = entry.name[i];
  if (entry.ext[0] != 0) {
    buffer[n++] = '.';
    for (int i = 0; i < kVXPackExtLength && entry.ext[i] != 0; ++i) buffer[n++] = entry.ext[i];
  }
  buffer[n] = '\0';
}

bool VXPack::GetFileName(int index, char* buffer) const {
  const VXFileTable3* e = GetFileTable(index);
  if (e == nullptr || buffer == nullptr) return false;
  FullName(*e, buffer);
  return true;
}

int VXPack::GetFileSize(int index) const {
  const VXFileTable3* e = GetFileTable(index);
  return e == nullptr ? 0 : static_cast<int>(e->size);
}

int VXPack::GetFileComp(int index) const {
  const VXFileTable3* e = GetFileTable(index);
  return e == nullptr ? 0 : e->comp;
}

bool VXPack::GetFileTime(int index, FILETIME* time) const {
  const VXFileTable3* e = GetFileTable(index);
  if (e == nullptr || IsDeleted(*e) || time == nullptr) return false;
  *time = e->time;
  return true;
}

int VXPack::CheckFileName(const char* name) const {
  if (!IsOpen() || name == nullptr || std::strlen(name) > kVXPackFullNameLength) return -1;
  auto it = index_.find(VXString(name).UpperCase().c_str());
  return it == index_.end() ? -1 : it->second;
}

void VXPack::MakeFTName(VXFileTable3& entry, const char* name) {
  std::memset(entry.name, 0, sizeof entry.name);
  std::memset(entry.ext, 0, sizeof entry.ext);
  const std::size_t length = std::strlen(name);
  const std::size_t base = BaseLength(name);
  std::memcpy(entry.name, name, std::min<std::size_t>(base, kVXPackNameLength));
  if (base < length) std::memcpy(entry.ext, name + base + 1, std::min<std::size_t>(length - base - 1, kVXPackExtLength));
}

void VXPack::NotCoding(void* buffer, int length) {
  auto* p = static_cast<unsigned char*>(buffer);
  int i = 0;
  for (; i + 4 <= length; i += 4) {
    std::uint32_t w;
    std::memcpy(&w, p + i, 4);
    w = ~w;
    std::memcpy(p + i, &w, 4);
  }
  for (; i < length; ++i) p[i] = static_cast<unsigned char>(~p[i]);
}

bool VXPack::VerifyFileCrc(int index) {
  const VXFileTable3* e = GetFileTable(index);
  if (e == nullptr || IsDeleted(*e) || e->crcFlag == 0) return true;
  const std::int64_t start = kHeaderSize + e->offset;
  if (stream_->Seek(start, VXSeekBegin) != start) return false;
  std::vector<unsigned char> buffer(kEntryChunk);
  unsigned short crc = 0xFFFF;
  for (std::int64_t left = e->compSize; left > 0;) {
    const int n = static_cast<int>(std::min<std::int64_t>(kEntryChunk, left));
    if (stream_->Read(buffer.data(), n) != n) return false;
    crc = crc_->UpDateCrc(crc, buffer.data(), n);
    left -= n;
  }
  return crc == e->crc;
}

bool VXPack::CheckEntryCrc(int index) {
  if (verifyMode != VXPackVerifyEntry || table_[index].crcFlag == 0 || VerifyFileCrc(index)) return true;
  std::fprintf(stderr, "%s\n", kVXPackBrokenMessage);
  return Fail("the entry's checksum does not match");
}

// ---- Coder callbacks and copies

int VXPack::CallbackRead(void* buffer, int count) { return codecSrc_->Read(buffer, count); }

int VXPack::CallbackWrite(void* buffer, int count) { return codecDst_->Write(buffer, count); }

bool VXPack::CallbackProgress(int percent) {
  progress_ = percent;
  if (OnProgress.IsValid()) OnProgress.Invoke(percent);
  return true;
}

void VXPack::Report(std::int64_t done, std::int64_t total) { progress_ = VXReportProgress(OnProgress, done, total); }

unsigned short VXPack::FileCopy(VXStream* from, VXStream* to, std::int64_t length, bool complement) {
  std::vector<unsigned char> buffer(kEntryChunk);
  unsigned short crc = 0xFFFF;
  Report(0, length);
  for (std::int64_t done = 0; done < length;) {
    const int n = static_cast<int>(std::min<std::int64_t>(kEntryChunk, length - done));
    from->ReadBuffer(buffer.data(), n);
    Report(done + n, length);
    if (complement) NotCoding(buffer.data(), n);
    to->WriteBuffer(buffer.data(), n);
    crc = crc_->UpDateCrc(crc, buffer.data(), n);
    done += n;
  }
  return crc;
}

bool VXPack::DecodeInto(VXFILE* file, VXStream* destination, bool presize) {
  if (IsCodedKind(file->comp) && file->size > MaxDecodedSize(file->comp, file->compSize)) return false;
  if (presize && !destination->SetSize(file->size)) return false;
  destination->Seek(0, VXSeekBegin);
  if (file->size == 0) return true;
  if (stream_->Seek(file->offset, VXSeekBegin) != file->offset) return false;
  if (file->comp == VXPackCompNot) {
    try {
      FileCopy(stream_, destination, file->size, true);
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }
  codecSrc_ = stream_;
  codecDst_ = destination;
  const bool ok = VXRunDecoder(file->comp == VXPackCompMariel ? VXCompMariel : VXCompCocotte, file->compSize,
                               file->size, VXCallback2<VXPack, int, void*, int>(this, &VXPack::CallbackRead),
                               VXCallback2<VXPack, int, void*, int>(this, &VXPack::CallbackWrite),
                               VXCallback1<VXPack, bool, int>(this, &VXPack::CallbackProgress));
  codecSrc_ = codecDst_ = nullptr;
  return ok;
}

// ---- Reading entries

VXFILE* VXPack::MakeRecord(int index) const {
  const VXFileTable3& e = table_[index];
  if (e.size > INT_MAX || e.compSize > INT_MAX || kHeaderSize + e.offset > INT_MAX) return nullptr;
  auto* f = new VXFILE{};
  f->index = index;
  f->offset = static_cast<int>(kHeaderSize + e.offset);
  f->size = static_cast<int>(e.size);
  f->compSize = static_cast<int>(e.compSize);
  f->comp = static_cast<signed char>(e.comp);  // sign-extended, as the record always held it
  return f;
}

namespace {

int EndOf(const VXFILE* f) { return f->comp == VXPackCompNone || f->stream != nullptr ? f->size : f->compSize; }

}  // namespace

VXFILE* VXPack::VXfopenComp(const char* name, bool decode) {
  const int index = CheckFileName(name);
  if (index < 0 || !CheckEntryCrc(index)) return nullptr;
  VXFILE* f = MakeRecord(index);
  if (f == nullptr) {
    Fail("the entry is too large");
    return nullptr;
  }
  const int comp = table_[index].comp;
  if (decode && (IsCodedKind(comp) || comp == VXPackCompNot)) {
    auto* decoded = new VXMemoryStream();
    if (!DecodeInto(f, decoded, true)) {
      delete decoded;
      delete f;
      Fail("the entry does not decode");
      return nullptr;
    }
    decoded->Seek(0, VXSeekBegin);
    f->stream = decoded;
  }
  return f;
}

bool VXPack::VXfclose(VXFILE* file) {
  if (file == nullptr) return false;
  delete file->stream;
  delete file;
  return true;
}

int VXPack::VXfsize(VXFILE* file) const { return IsOpen() && file != nullptr ? file->size : 0; }
int VXPack::VXdsize(VXFILE* file) const { return IsOpen() && file != nullptr ? file->compSize : 0; }
int VXPack::VXIsComp(VXFILE* file) const { return IsOpen() && file != nullptr ? file->comp : 0; }

bool VXPack::VXfseek(VXFILE* file, int offset, int whence) {
  if (!IsOpen() || file == nullptr) return false;
  const std::int64_t end = EndOf(file);
  std::int64_t position = file->position;
  switch (whence) {
    case VXSeekBegin: position = offset; break;
    case VXSeekCurrent: position += offset; break;
    case VXSeekEnd: position = end + offset; break;
    default: break;
  }
  file->position = static_cast<int>(std::clamp<std::int64_t>(position, 0, end));
  return true;
}

bool VXPack::VXfgetpos(VXFILE* file, int* position) const {
  if (!IsOpen() || file == nullptr || position == nullptr) return false;
  *position = file->position;
  return true;
}

bool VXPack::VXfsetpos(VXFILE* file, const int* position) {
  return position != nullptr && VXfseek(file, *position, VXSeekBegin);
}

unsigned VXPack::VXfread(void* buffer, unsigned size, unsigned count, VXFILE* file) {
  if (!IsOpen() || file == nullptr || size == 0 || buffer == nullptr) return 0;
  const std::int64_t end = EndOf(file);
  const std::int64_t position = std::clamp<std::int64_t>(file->position, 0, end);
  VXStream* source = file->stream != nullptr ? file->stream : stream_;
  const std::int64_t at = file->stream != nullptr ? position : file->offset + position;
  if (source->GetPosition() != at && source->Seek(at, VXSeekBegin) != at) return 0;
  // 64-bit: size * count must not wrap.
  std::uint64_t items = count;
  if (position + static_cast<std::uint64_t>(size) * items > static_cast<std::uint64_t>(end))
    items = static_cast<std::uint64_t>(end - position) / size;
  if (items == 0) return 0;
  const int bytes = static_cast<int>(items * size);
  const int got = source->Read(buffer, bytes);
  file->position = static_cast<int>(position + std::max(got, 0));
  return got == bytes ? static_cast<unsigned>(items) : 0;
}

bool VXPack::VXIsCrc(VXFILE* file) const {
  const VXFileTable3* e = file == nullptr ? nullptr : GetFileTable(file->index);
  return e != nullptr && e->crcFlag == 1;
}

unsigned short VXPack::VXGetCrc(VXFILE* file) const {
  const VXFileTable3* e = file == nullptr ? nullptr : GetFileTable(file->index);
  return e == nullptr ? 0 : e->crc;
}

bool VXPack::VXGetFileTime(VXFILE* file, FILETIME* time) const {
  return file != nullptr && GetFileTime(file->index, time);
}

VXStream* VXPack::VXMakeStream(const char* name) {
  VXFILE* f = VXfopenComp(name, true);
  if (f == nullptr) return nullptr;
  if (f->stream != nullptr) {
    VXStream* s = f->stream;
    delete f;
    return s;
  }
  auto* s = new VXMemoryStream();
  const int size = EndOf(f);
  bool ok = s->SetSize(size);
  if (ok && size > 0) {
    // Straight into the stream's own block: it is ours until the stream is handed out.
    auto* memory = const_cast<unsigned char*>(s->GetMemory());
    ok = VXfseek(f, 0, VXSeekBegin) && VXfread(memory, static_cast<unsigned>(size), 1, f) == 1;
  }
  VXfclose(f);
  if (!ok) {
    delete s;
    Fail("the entry cannot be read");
    return nullptr;
  }
  s->Seek(0, VXSeekBegin);
  return s;
}

bool VXPack::VXfopenToStream(VXStream* destination, const char* name, bool decode) {
  const int index = CheckFileName(name);
  if (index < 0 || !CheckEntryCrc(index)) return false;
  if (destination == nullptr) return true;
  std::unique_ptr<VXFILE> f(MakeRecord(index));
  if (f == nullptr) return Fail("the entry is too large");
  if (decode && (IsCodedKind(f->comp) || f->comp == VXPackCompNot)) {
    if (!DecodeInto(f.get(), destination, false)) return Fail("the entry does not decode");
    destination->Seek(0, VXSeekBegin);
    return true;
  }
  // Stored bytes, or coded ones asked for as they are: the readable length is the entry's end.
  const int length = EndOf(f.get());
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min(length, kWholeFileChunk)));
  Report(0, length);
  for (int done = 0; done < length;) {
    const int n = std::min(kWholeFileChunk, length - done);
    if (VXfread(buffer.data(), static_cast<unsigned>(n), 1, f.get()) != 1 || destination->Write(buffer.data(), n) != n)
      return Fail("the entry cannot be copied");
    done += n;
    Report(done, length);
  }
  destination->Seek(0, VXSeekBegin);
  return true;
}

bool VXPack::GetFile(const char* destination, const char* name) {
  if (destination == nullptr || !WriteEntry(HostOf(destination), name)) return false;
  SetFileWriteTimeA(destination, table_[CheckFileName(name)].time);
  return true;
}

bool VXPack::GetFileW(const char16_t* destination, const char* name) {
  if (destination == nullptr || !WriteEntry(platform::fs::ToHostPath(std::u16string_view(destination)), name))
    return false;
  SetFileWriteTimeW(destination, table_[CheckFileName(name)].time);
  return true;
}

bool VXPack::WriteEntry(const std::string& hostPath, const char* name) {
  if (CheckFileName(name) < 0) return Fail("no such entry");
  // Decoded whole first: an entry that does not decode leaves no file behind, and an old file stays.
  std::unique_ptr<VXStream> stream(VXMakeStream(name));
  auto* decoded = dynamic_cast<VXMemoryStream*>(stream.get());
  if (decoded == nullptr) return false;
  const std::string_view bytes(reinterpret_cast<const char*>(decoded->GetMemory()),
                               static_cast<std::size_t>(decoded->GetSize()));
  switch (platform::fs::ReplaceFile(hostPath, bytes)) {
    case platform::fs::ReplaceResult::Done: return true;
    case platform::fs::ReplaceResult::CannotCreate: return Fail("the file cannot be created");
    case platform::fs::ReplaceResult::WriteFailed: break;
  }
  return Fail("the file cannot be written");
}

bool VXPack::OpenFile(const char* name) {
  CloseFile();
  if (name == nullptr || *name == '\0') return true;
  fileStream_ = VXMakeStream(name);
  if (fileStream_ == nullptr) return false;
  fileName_ = name;
  return true;
}

void VXPack::CloseFile() {
  delete fileStream_;
  fileStream_ = nullptr;
  fileName_.Clear();
}

// ---- Writing

VXFileStream* VXPack::MakeTempFile(const VXString& folder, VXString& path) {
  std::string dir = folder.c_str();
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = platform::fs::ToWindowsName(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
  }
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned long long r = 0;
    if (getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) return nullptr;
    char tail[40];
    std::snprintf(tail, sizeof tail, "ZoTmp%016llx.tmp", r);
    const VXString name = (dir + tail).c_str();
    errno = 0;
    auto* s = new VXFileStream(name, VXFileCreateNew);
    if (s->IsOpen()) {
      path = name;
      return s;
    }
    const int error = errno;
    delete s;
    if (error != EEXIST) return nullptr;
  }
  return nullptr;
}

bool VXPack::NewPack(const char* fileName) {
  if (readOnly_) return Fail("the pack is read-only");
  EndPack();
  if (fileName == nullptr || *fileName == '\0') return Fail("no pack name");
  VXString folder = VXExtractFilePathA(fileName);
  VXString work;
  VXFileStream* file = MakeTempFile(folder.IsEmpty() ? VXString(".\\") : folder, work);
  if (file == nullptr) return Fail("no temporary file can be created beside the pack");
  std::memcpy(header_.magic, "ZoPack", 6);
  header_.version = VXPackVersion3;
  header_.dataSize = 0;
  header_.fileNum = 0;
  unsigned char hed[kHeaderSize] = {'Z', 'o', 'P', 'a', 'c', 'k', 0x00, 0x03};
  stream_ = file;
  streamNotOwned_ = false;
  workName_ = work;
  if (file->Write(hed, kHeaderSize) != kHeaderSize) {
    ReleasePack();
    return Fail("the new pack cannot be written");
  }
  modified_ = true;
  packName_ = fileName;
  lastError_.clear();
  return true;
}

std::string VXPack::NameRefusal(const char* name) const {
  if (name == nullptr || *name == '\0') return "the name is empty";
  const std::size_t length = std::strlen(name);
  if (length > kVXPackFullNameLength)
    return "the name is " + std::to_string(length) + " bytes long in CP932; an entry holds at most 25";
  const std::size_t base = BaseLength(name);
  if (base > kVXPackNameLength) return "the part before the last dot is longer than 21 bytes";
  if (base < length && length - base - 1 > kVXPackExtLength)
    return "the extension \"" + Person(name + base + 1) + "\" is longer than 3 bytes";
  VXFileTable3 e{};
  MakeFTName(e, name);
  char back[kVXPackFullNameLength + 1];
  FullName(e, back);
  if (std::strcmp(back, name) != 0) return "the table cannot keep a name that ends with a dot";
  if (!platform::fs::IsSafeDataName(name)) return "the name is absolute or climbs out of its folder with \"..\"";
  const VXString text(name);
  if (text.IsPathDelimiter(text.Length()) || name[length - 1] == '/') return "the name ends with a folder separator";
  const int existing = CheckFileName(name);
  if (existing < 0) return {};
  char other[kVXPackFullNameLength + 1];
  GetFileName(existing, other);
  if (std::strcmp(other, name) == 0) return "the pack already holds an entry of that name";
  return "the pack already holds \"" + Person(other) + "\", a name that differs only in case";
}

void VXPack::AppendEntry(VXFileTable3& entry) {
  const std::int64_t padded = Padded(entry.compSize);
  static const unsigned char zeros[kPadding] = {};
  stream_->WriteBuffer(zeros, static_cast<int>(padded - entry.compSize));
  table_.push_back(entry);
  header_.dataSize = static_cast<std::uint32_t>(header_.dataSize + padded);
  header_.fileNum = static_cast<std::uint32_t>(table_.size());
  IndexEntry(static_cast<int>(table_.size()) - 1);
  modified_ = true;
}

void VXPack::CheckRoom(std::int64_t stored) const {
  // Offsets and sizes are 32-bit; the data area and the table must stay addressable.
  if (kHeaderSize + header_.dataSize + Padded(stored) + static_cast<std::int64_t>(table_.size() + 1) * 48 > INT32_MAX)
    throw std::runtime_error("the pack would grow past 2 GiB");
}

int VXPack::FileEncode(VXStream* from, VXStream* to, int size, int coder) {
  codecSrc_ = from;
  codecDst_ = to;
  int result = 0;
  const std::int64_t limit = std::min<std::int64_t>(2 * static_cast<std::int64_t>(size), INT32_MAX);
  const bool ok = VXRunEncoder(coder, size, static_cast<int>(limit),
                               VXCallback2<VXPack, int, void*, int>(this, &VXPack::CallbackRead),
                               VXCallback2<VXPack, int, void*, int>(this, &VXPack::CallbackWrite),
                               VXCallback1<VXPack, bool, int>(this, &VXPack::CallbackProgress), &result);
  codecSrc_ = codecDst_ = nullptr;
  return ok ? result : -1;
}

bool VXPack::AddFile(const char* name, const char* sourcePath, int comp, bool keepSmaller) {
  if (readOnly_) return Fail("the pack is read-only");
  if (!IsOpen()) return Fail("no pack is open");
  bool ok = false;
  if (!NameRefusal(name).empty()) {
    Fail(BadNameText(name));
  } else {
    VXFileStream source(sourcePath, VXFileRead);
    FILETIME time{};
    if (!source.IsOpen()) {
      Fail("ファイル" + Person(sourcePath == nullptr ? "" : sourcePath) + "が開けません。");
    } else {
      GetFileWriteTimeA(sourcePath, &time);
      ok = AddStream(name, &source, time, comp, keepSmaller);
    }
  }
  if (!ok) std::fprintf(stderr, "%s\n", lastError_.c_str());
  return ok;
}

bool VXPack::AddStream(const char* name, VXStream* source, const FILETIME& time, int comp, bool keepSmaller) {
  if (readOnly_) return Fail("the pack is read-only");
  if (!IsOpen()) return Fail("no pack is open");
  std::unique_ptr<VXFileStream> temp;
  VXString tempPath;
  try {
    if (!NameRefusal(name).empty()) throw std::runtime_error(BadNameText(name));
    if (comp < VXPackAddStore || comp > VXPackAddCocotteMini) throw std::runtime_error("unknown compression choice");
    if (source == nullptr || source->Seek(0, VXSeekBegin) != 0) throw std::runtime_error("the source cannot be read");
    const std::int64_t size = source->GetSize();
    if (size > INT32_MAX) throw std::runtime_error("the source is larger than 2 GiB");
    CheckRoom(size);

    VXFileTable3 entry{};
    MakeFTName(entry, name);
    entry.offset = header_.dataSize;
    entry.size = static_cast<std::uint32_t>(size);
    entry.time = time;
    AddChoice choice = size == 0 ? kAddChoices[VXPackAddStore] : kAddChoices[comp];
    VXStream* from = source;
    std::int64_t length = size;
    if (choice.coder >= 0) {
      temp.reset(MakeTempFile(VXString(), tempPath));
      if (temp == nullptr) throw std::runtime_error("テンポラリファイルが作れません。");
      const int encoded = FileEncode(source, temp.get(), static_cast<int>(size), choice.coder);
      // An encoder that fails, or (when asked) one that does not shrink the file, leaves the file stored.
      if (encoded < 0 || (keepSmaller && (encoded == 0 || encoded >= size))) {
        choice = kAddChoices[VXPackAddStore];
        if (source->Seek(0, VXSeekBegin) != 0) throw std::runtime_error("the source cannot be read again");
      } else {
        if (temp->Seek(0, VXSeekBegin) != 0) throw std::runtime_error("ファイル" + Person(tempPath) + "が開けません。");
        from = temp.get();
        length = encoded;
        CheckRoom(length);
      }
    }
    entry.comp = choice.kind;
    entry.crcFlag = 1;
    const std::int64_t start = kHeaderSize + header_.dataSize;
    if (stream_->Seek(start, VXSeekBegin) != start) throw std::runtime_error("the pack cannot be written");
    entry.crc = FileCopy(from, stream_, length, choice.kind == VXPackCompNot);
    entry.compSize = static_cast<std::uint32_t>(length);
    AppendEntry(entry);
  } catch (const std::exception& e) {
    lastError_ = e.what();
    temp.reset();
    if (!tempPath.IsEmpty()) std::remove(HostOf(tempPath).c_str());
    return false;
  }
  temp.reset();
  if (!tempPath.IsEmpty()) std::remove(HostOf(tempPath).c_str());
  lastError_.clear();
  return true;
}

bool VXPack::AddPack(const char* name, VXPack* source, const char* sourceName) {
  if (readOnly_) return Fail("the pack is read-only");
  if (!IsOpen()) return Fail("no pack is open");
  const std::string refusal = NameRefusal(name);
  if (!refusal.empty()) return Fail(refusal);
  if (source == nullptr) return Fail("no source pack");
  const int index = source->CheckFileName(sourceName);
  VXMemoryStream stored;
  if (index < 0 || !source->VXfopenToStream(&stored, sourceName, false)) return Fail("the source entry cannot be read");
  const VXFileTable3& from = source->table_[index];
  VXFileTable3 entry{};
  MakeFTName(entry, name);
  entry.offset = header_.dataSize;
  entry.size = from.size;
  entry.comp = from.comp;
  entry.time = from.time;
  entry.crcFlag = 1;
  try {
    CheckRoom(stored.GetSize());
    const std::int64_t start = kHeaderSize + header_.dataSize;
    if (stream_->Seek(start, VXSeekBegin) != start) throw std::runtime_error("the pack cannot be written");
    entry.crc = FileCopy(&stored, stream_, stored.GetSize(), false);
    entry.compSize = static_cast<std::uint32_t>(stored.GetSize());
    AppendEntry(entry);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  lastError_.clear();
  return true;
}

bool VXPack::DelFile(const char* name) {
  if (readOnly_) return Fail("the pack is read-only");
  if (!IsOpen()) return Fail("no pack is open");
  const int index = CheckFileName(name);
  if (index < 0) return Fail("no such entry");
  std::memset(table_[index].name, 0, sizeof table_[index].name);
  std::memset(table_[index].ext, 0, sizeof table_[index].ext);
  RebuildIndex();
  modified_ = true;
  return true;
}
