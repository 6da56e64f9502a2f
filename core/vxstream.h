// Byte streams: the abstract stream that every reader and decoder consumes, and its concrete forms: a file opened by
// narrow (CP932) or UTF-16 name, a growable memory block, a read-only embedded resource, and two adapters that join
// it to the framework's stream class in both directions. Positions and sizes are 64-bit.
#pragma once

#include <cstdint>

#include "platform/vclstream.h"

class VXString;
class VXWideStr;

enum VXSeekWhence : int { VXSeekBegin = 0, VXSeekCurrent = 1, VXSeekEnd = 2 };

// 0: create (an existing file is replaced), read and write, not shared.
// 1: open an existing file read-only, others may read it too.
// 2: open an existing file for reading and writing, not shared.
// 3: create a file that must not exist yet (exclusive creation, for temporary files), read and write, not shared.
enum VXFileMode : int { VXFileCreate = 0, VXFileRead = 1, VXFileReadWrite = 2, VXFileCreateNew = 3 };

class VXStream {
public:
  virtual ~VXStream() = default;
  virtual bool IsOpen() = 0;
  virtual bool IsSeekable() = 0;
  // The count actually transferred; 0 on failure. A negative count transfers nothing.
  virtual int Read(void* buffer, int count) = 0;
  virtual int Write(const void* buffer, int count) = 0;
  // The new position; -1 when the stream cannot move there.
  virtual std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) = 0;
  virtual std::int64_t GetSize() = 0;
  virtual bool SetSize(std::int64_t size) = 0;
  virtual std::int64_t GetPosition() = 0;
  virtual bool Reset() = 0;

  void ReadBuffer(void* buffer, int count);         // throws std::runtime_error "Read Error" when short
  void WriteBuffer(const void* buffer, int count);  // throws std::runtime_error "Write Error" when short
  bool SetPosition(std::int64_t position);
};

// A stream over a file descriptor; the name passes through the file-name boundary of the platform layer.
class VXWinFileStream : public VXStream {
public:
  ~VXWinFileStream() override;
  VXWinFileStream(const VXWinFileStream&) = delete;
  VXWinFileStream& operator=(const VXWinFileStream&) = delete;

  bool IsOpen() override;
  bool IsSeekable() override;
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) override;
  std::int64_t GetSize() override;
  bool SetSize(std::int64_t size) override;
  std::int64_t GetPosition() override;
  bool Reset() override;

  // Forces the written bytes to the disk (fsync); false when the stream is not open or the disk refused.
  bool Sync();

protected:
  VXWinFileStream() = default;
  void Open(const char* hostPath, VXFileMode mode);

private:
  int fd_ = -1;
};

class VXFileStream : public VXWinFileStream {
public:
  VXFileStream(const char* name, VXFileMode mode);
  VXFileStream(const VXString& name, VXFileMode mode);
};

class VXFileStreamW : public VXWinFileStream {
public:
  VXFileStreamW(const char16_t* name, VXFileMode mode);
  VXFileStreamW(const VXWideStr& name, VXFileMode mode);
};

class VXMemoryStream : public VXStream {
public:
  VXMemoryStream() = default;
  explicit VXMemoryStream(int size);
  VXMemoryStream(const void* data, int size);
  ~VXMemoryStream() override;
  VXMemoryStream(const VXMemoryStream&) = delete;
  VXMemoryStream& operator=(const VXMemoryStream&) = delete;

  // Capacity becomes size rounded up to 8192 bytes. False, with the old block and size kept, when the heap cannot
  // supply the block. A write past the capacity grows it to at least twice what it was (a multiple of 8192 bytes).
  bool SetMemorySize(int size);
  // The block itself (null before anything was written); valid until the next size change.
  const unsigned char* GetMemory() const { return memory_; }
  int GetCapacity() const { return capacity_; }

  bool IsOpen() override;
  bool IsSeekable() override;
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) override;
  std::int64_t GetSize() override;
  bool SetSize(std::int64_t size) override;
  std::int64_t GetPosition() override;
  bool Reset() override;

private:
  bool Reallocate(std::int64_t capacity);  // a multiple of 8192; size and position untouched

  unsigned char* memory_ = nullptr;
  int capacity_ = 0;
  int size_ = 0;
  int position_ = 0;
};

// A read-only stream over data embedded into the program at build time. The module argument is kept for the
// callers' sake and not used: every resource of the program is found by its type and name, without regard to case.
// A numeric id is the name "#<id>".
class VXResourceStream : public VXStream {
public:
  VXResourceStream(void* module, const char* name, const char* type);
  VXResourceStream(void* module, const VXString& name, const char* type);
  VXResourceStream(void* module, int id, const char* type);

  bool Initialize(void* module, const char* name, const char* type);

  bool IsOpen() override;
  bool IsSeekable() override;
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) override;
  std::int64_t GetSize() override;
  bool SetSize(std::int64_t size) override;
  std::int64_t GetPosition() override;
  bool Reset() override;

private:
  const unsigned char* data_ = nullptr;
  int size_ = 0;
  int position_ = 0;
};

// A stream over a framework stream (not owned).
class T2VXStream : public VXStream {
public:
  explicit T2VXStream(Classes::TStream* stream) : stream_(stream) {}

  bool IsOpen() override;
  bool IsSeekable() override;
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) override;
  std::int64_t GetSize() override;
  bool SetSize(std::int64_t size) override;
  std::int64_t GetPosition() override;
  bool Reset() override;

private:
  Classes::TStream* stream_;
};

// A framework stream over a stream (not owned). It keeps its own position and moves the served stream to it before
// each transfer, so that others may move the served stream in between.
class VX2TStream : public Classes::TStream {
public:
  explicit VX2TStream(VXStream* stream);

  VXStream* GetVXStream() const { return stream_; }

  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, Classes::TSeekOrigin origin) override;
  std::int64_t GetSize() override { return size_; }

private:
  bool Reach();

  VXStream* stream_;
  std::int64_t position_;
  std::int64_t size_;
};
