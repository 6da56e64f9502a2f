// String list on arbitrary bytes: loaded from a stream, every line read, edited, saved and loaded again; the saved
// text reads back as the same lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/vxstream.h"
#include "core/vxstrlist.h"

namespace {

void CheckLines(const VXStringList& list) {
  const char* text = list.GetText();
  const std::size_t length = std::strlen(text);
  for (int i = 0; i < list.GetCount(); ++i) {
    int start = -1, n = -1;
    if (!list.GetStringPos(i, start, n)) std::abort();
    if (start < 0 || n < 0 || static_cast<std::size_t>(start) + n >= length + 1 || text[start + n] != '\n') std::abort();
    if (std::strlen(list.GetString(i).c_str()) != static_cast<std::size_t>(n)) std::abort();
  }
  int start = 0, n = 0;
  if (list.GetStringPos(list.GetCount(), start, n) || list.GetStringPos(-1, start, n)) std::abort();
}

std::string Saved(const VXStringList& list) {
  VXMemoryStream out;
  if (!list.SaveToStream(&out)) std::abort();
  return std::string(reinterpret_cast<const char*>(out.GetMemory()), static_cast<std::size_t>(out.GetSize()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  VXMemoryStream stream(data, static_cast<int>(size));
  VXStringList list;
  list.LoadFromStream(&stream);
  CheckLines(list);

  // Saved with CR LF, the text loads back as the same lines.
  const std::string saved = Saved(list);
  VXMemoryStream again(saved.data(), static_cast<int>(saved.size()));
  VXStringList back;
  back.LoadFromStream(&again);
  if (back.GetCount() != list.GetCount()) std::abort();
  for (int i = 0; i < list.GetCount(); ++i)
    if (std::strcmp(back.GetString(i).c_str(), list.GetString(i).c_str()) != 0) std::abort();

  // Edits: a piece of the input added, inserted and deleted keeps the index whole.
  const std::string piece(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 40));
  const int count = list.GetCount();
  list.Insert(count / 2, VXString(piece.c_str()));
  list.Add(VXString(piece.c_str()));
  list.Delete(0);
  list.Delete(list.GetCount() + 5);
  list.AddStrings(&back);
  CheckLines(list);
  return 0;
}
