// Reads arbitrary bytes as a marked table and reads every cell back in every way.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/vxcsvread.h"
#include "core/vxstream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 20)) return 0;
  VXMemoryStream stream(data, static_cast<int>(size));
  VXCsvRead csv;
  if (!csv.Read(&stream)) {
    if (csv.GetSizeY() != 0 || csv.GetValue(0, 0) != 0 || !csv.GetVXString(0, 0).IsEmpty()) __builtin_trap();
    return 0;
  }
  char buffer[8];
  long long cells = 0;
  for (int y = 0; y < csv.GetSizeY(); ++y) {
    csv.SetPos(0, y);
    for (int x = 0; x < csv.GetSizeX() && cells < 100000; ++x, ++cells) {
      const VXString text = csv.GetVXString(x, y);
      csv.GetValue();
      std::memset(buffer, 'z', sizeof buffer);
      const int size = 1 + x % static_cast<int>(sizeof buffer);
      csv.GetText(x, y, buffer, size);
      if (buffer[size - 1] != '\0') __builtin_trap();  // the buffer always ends with a NUL
    }
  }
  return 0;
}
