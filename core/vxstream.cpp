#include "core/vxstream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/vxstring.h"
#include "platform/fs.h"
#include "platform/resource.h"

namespace {

constexpr int kMemoryStep = 8192;
// The largest multiple of the step that an int holds.
constexpr std::int64_t kLargestCapacity = INT_MAX / kMemoryStep * kMemoryStep;

std::int64_t RoundedCapacity(std::int64_t size) { return (size + kMemoryStep - 1) / kMemoryStep * kMemoryStep; }

// Seeks within an in-memory block of `size` bytes: the offset must fit in 32 bits; the result is clamped to the
// block; -1 for an offset out of range or an unknown whence.
std::int64_t SeekInBlock(int& position, int size, std::int64_t offset, VXSeekWhence whence) {
  if (offset < INT_MIN || offset > INT_MAX) return -1;
  std::int64_t target;
  switch (whence) {
    case VXSeekBegin: target = offset; break;
    case VXSeekCurrent: target = position + offset; break;
    case VXSeekEnd: target = size + offset; break;
    default: return -1;
  }
  position = static_cast<int>(std::clamp<std::int64_t>(target, 0, size));
  return position;
}

int ReadFromBlock(const unsigned char* data, int size, int& position, void* buffer, int count) {
  if (count <= 0 || data == nullptr) return 0;
  int n = static_cast<int>(std::min<std::int64_t>(count, std::max(0, size - position)));
  if (n > 0) std::memcpy(buffer, data + position, n);
  position += n;
  return n;
}

}  // namespace

// ---- VXStream

void VXStream::ReadBuffer(void* buffer, int count) {
  if (Read(buffer, count) < count) throw std::runtime_error("Read Error");
}

void VXStream::WriteBuffer(const void* buffer, int count) {
  if (Write(buffer, count) < count) throw std::runtime_error("Write Error");
}

bool VXStream::SetPosition(std::int64_t position) { return Seek(position, VXSeekBegin) >= 0; }

// ---- File streams

VXWinFileStream::~VXWinFileStream() {
  if (fd_ >= 0) close(fd_);
}

void VXWinFileStream::Open(const char* hostPath, VXFileMode mode) {
  static const struct {
    int flags;
    int lock;
  } kModes[] = {
      {O_RDWR | O_CREAT, LOCK_EX},  // create; truncated once the lock is held
      {O_RDONLY, LOCK_SH},          // read, shared with other readers
      {O_RDWR, LOCK_EX},            // read and write, not shared
      {O_RDWR | O_CREAT | O_EXCL, LOCK_EX},  // create new: fails when the name exists
  };
  if (mode < 0 || mode > 3 || hostPath == nullptr || *hostPath == '\0') return;
  int fd = ::open(hostPath, kModes[mode].flags | O_CLOEXEC, 0644);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || flock(fd, kModes[mode].lock | LOCK_NB) != 0 ||
      (mode == VXFileCreate && ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

bool VXWinFileStream::IsOpen() { return fd_ >= 0; }

bool VXWinFileStream::IsSeekable() { return true; }

int VXWinFileStream::Read(void* buffer, int count) {
  if (fd_ < 0 || count <= 0) return 0;
  int done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

int VXWinFileStream::Write(const void* buffer, int count) {
  if (fd_ < 0 || count <= 0) return 0;
  int done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

std::int64_t VXWinFileStream::Seek(std::int64_t offset, VXSeekWhence whence) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (fd_ < 0 || whence < 0 || whence > 2) return -1;
  off_t r = ::lseek(fd_, offset, kWhence[whence]);
  return r < 0 ? -1 : r;
}

std::int64_t VXWinFileStream::GetSize() {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
  return st.st_size;
}

bool VXWinFileStream::SetSize(std::int64_t size) {
  if (fd_ < 0 || size < 0 || Seek(size, VXSeekBegin) != size) return false;
  return ftruncate(fd_, size) == 0;
}

std::int64_t VXWinFileStream::GetPosition() { return Seek(0, VXSeekCurrent); }

bool VXWinFileStream::Reset() { return Seek(0, VXSeekBegin) == 0; }

bool VXWinFileStream::Sync() { return fd_ >= 0 && fsync(fd_) == 0; }

VXFileStream::VXFileStream(const char* name, VXFileMode mode) {
  if (name != nullptr) Open(platform::fs::ToHostPath(std::string_view(name)).c_str(), mode);
}

VXFileStream::VXFileStream(const VXString& name, VXFileMode mode) : VXFileStream(name.c_str(), mode) {}

VXFileStreamW::VXFileStreamW(const VXWideStr& name, VXFileMode mode) : VXFileStreamW(name.c_wstr(), mode) {}

VXFileStreamW::VXFileStreamW(const char16_t* name, VXFileMode mode) {
  if (name != nullptr) Open(platform::fs::ToHostPath(std::u16string_view(name)).c_str(), mode);
}

// ---- Memory stream

VXMemoryStream::VXMemoryStream(int size) {
  if (size > 0) SetSize(size);
}

VXMemoryStream::VXMemoryStream(const void* data, int size) {
  if (size > 0 && data != nullptr && SetMemorySize(size)) std::memcpy(memory_, data, size);
}

VXMemoryStream::~VXMemoryStream() { std::free(memory_); }

bool VXMemoryStream::SetMemorySize(int size) {
  if (size < 0 || RoundedCapacity(size) > INT_MAX || !Reallocate(RoundedCapacity(size))) return false;
  size_ = size;
  position_ = std::min(position_, size_);
  return true;
}

bool VXMemoryStream::Reallocate(std::int64_t capacity) {
  if (capacity > INT_MAX) return false;
  if (capacity == capacity_) return true;
  if (capacity == 0) {
    std::free(memory_);
    memory_ = nullptr;
  } else {
    void* block = std::realloc(memory_, static_cast<std::size_t>(capacity));
    if (block == nullptr) return false;  // the old block stays as it was
    memory_ = static_cast<unsigned char*>(block);
  }
  capacity_ = static_cast<int>(capacity);
  return true;
}

bool VXMemoryStream::IsOpen() { return memory_ != nullptr; }

bool VXMemoryStream::IsSeekable() { return memory_ != nullptr; }

int VXMemoryStream::Read(void* buffer, int count) { return ReadFromBlock(memory_, size_, position_, buffer, count); }

int VXMemoryStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  const std::int64_t end = static_cast<std::int64_t>(position_) + count;
  if (end > INT_MAX) return 0;
  if (end > capacity_) {
    // The block at least doubles, so that a long run of small writes copies each byte a bounded number of times.
    const std::int64_t grown = std::max<std::int64_t>(2 * static_cast<std::int64_t>(capacity_), end);
    if (!Reallocate(std::min(RoundedCapacity(grown), kLargestCapacity)) && !Reallocate(RoundedCapacity(end))) return 0;
  }
  size_ = std::max(size_, static_cast<int>(end));  // the position never lies past the size: no gap to clear
  std::memcpy(memory_ + position_, buffer, count);
  position_ += count;
  return count;
}

std::int64_t VXMemoryStream::Seek(std::int64_t offset, VXSeekWhence whence) {
  return SeekInBlock(position_, size_, offset, whence);
}

std::int64_t VXMemoryStream::GetSize() { return size_; }

bool VXMemoryStream::SetSize(std::int64_t size) {
  if (size < 0 || size > INT_MAX) return false;
  const int old = size_;
  if (size != old) {
    if (!SetMemorySize(static_cast<int>(size))) return false;
    if (size_ > old) std::memset(memory_ + old, 0, size_ - old);
  }
  position_ = std::min(position_, size_);
  return true;
}

std::int64_t VXMemoryStream::GetPosition() { return position_; }

bool VXMemoryStream::Reset() {
  position_ = 0;
  return true;
}

// ---- Resource stream

VXResourceStream::VXResourceStream(void* module, const char* name, const char* type) { Initialize(module, name, type); }

VXResourceStream::VXResourceStream(void* module, const VXString& name, const char* type) {
  Initialize(module, name.c_str(), type);
}

VXResourceStream::VXResourceStream(void* module, int id, const char* type) {
  Initialize(module, ("#" + std::to_string(id)).c_str(), type);
}

bool VXResourceStream::Initialize(void*, const char* name, const char* type) {
  if (name == nullptr || type == nullptr) return false;
  const platform::Resource* r = platform::FindResource(type, name);
  if (r == nullptr || r->size > static_cast<std::size_t>(INT_MAX)) return false;
  data_ = r->data;
  size_ = static_cast<int>(r->size);
  position_ = 0;
  return true;
}

bool VXResourceStream::IsOpen() { return data_ != nullptr; }
bool VXResourceStream::IsSeekable() { return data_ != nullptr; }
int VXResourceStream::Read(void* buffer, int count) { return ReadFromBlock(data_, size_, position_, buffer, count); }
int VXResourceStream::Write(const void*, int) { return 0; }
std::int64_t VXResourceStream::Seek(std::int64_t offset, VXSeekWhence whence) {
  return SeekInBlock(position_, size_, offset, whence);
}
std::int64_t VXResourceStream::GetSize() { return size_; }
bool VXResourceStream::SetSize(std::int64_t) { return false; }
std::int64_t VXResourceStream::GetPosition() { return position_; }
bool VXResourceStream::Reset() {
  position_ = 0;
  return true;
}

// ---- Adapters

bool T2VXStream::IsOpen() { return true; }
bool T2VXStream::IsSeekable() { return true; }
int T2VXStream::Read(void* buffer, int count) { return count <= 0 ? 0 : stream_->Read(buffer, count); }
int T2VXStream::Write(const void* buffer, int count) { return count <= 0 ? 0 : stream_->Write(buffer, count); }
std::int64_t T2VXStream::Seek(std::int64_t offset, VXSeekWhence whence) {
  if (whence < 0 || whence > 2) return -1;
  return stream_->Seek(offset, static_cast<Classes::TSeekOrigin>(whence));
}
std::int64_t T2VXStream::GetSize() { return stream_->GetSize(); }
bool T2VXStream::SetSize(std::int64_t size) {
  stream_->SetSize(size);
  return true;
}
std::int64_t T2VXStream::GetPosition() { return stream_->GetPosition(); }
bool T2VXStream::Reset() { return stream_->Seek(0, Classes::soBeginning) == 0; }

VX2TStream::VX2TStream(VXStream* stream)
    : stream_(stream), position_(stream->GetPosition()), size_(stream->GetSize()) {}

std::int64_t VX2TStream::Seek(std::int64_t offset, Classes::TSeekOrigin origin) {
  switch (origin) {
    case Classes::soBeginning: position_ = offset; break;
    case Classes::soCurrent: position_ += offset; break;
    case Classes::soEnd: position_ = size_ + offset; break;
  }
  return position_;
}

bool VX2TStream::Reach() {
  return stream_->GetPosition() == position_ || stream_->Seek(position_, VXSeekBegin) == position_;
}

int VX2TStream::Read(void* buffer, int count) {
  if (!Reach()) return 0;
  int n = stream_->Read(buffer, count);
  position_ = stream_->GetPosition();
  return n;
}

int VX2TStream::Write(const void* buffer, int count) {
  if (!Reach()) return 0;
  int n = stream_->Write(buffer, count);
  position_ = stream_->GetPosition();
  size_ = stream_->GetSize();
  return n;
}
