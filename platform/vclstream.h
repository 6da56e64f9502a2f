// The stream class of the application framework, as far as the game uses it: read, write, 64-bit seek from one of
// three origins, size and position.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace Classes {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class EStreamError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

class TStream {
public:
  virtual ~TStream() = default;

  virtual int Read(void* buffer, int count) = 0;
  virtual int Write(const void* buffer, int count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  // The size by seeking to the end and back; streams that know it override this.
  virtual std::int64_t GetSize();
  virtual void SetSize(std::int64_t size);

  std::int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }

  void ReadBuffer(void* buffer, int count);         // throws EReadError when short
  void WriteBuffer(const void* buffer, int count);  // throws EWriteError when short
};

}  // namespace Classes
