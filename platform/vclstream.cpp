#include "platform/vclstream.h"

namespace Classes {

std::int64_t TStream::GetSize() {
  std::int64_t position = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* buffer, int count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

}  // namespace Classes
