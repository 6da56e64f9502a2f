#include "core/vxstrlist.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "core/vxstream.h"
#include "platform/fs.h"

namespace {

// Offsets are 32-bit and stream counts are int: the text stays below 2 GiB.
constexpr std::size_t kMaxText = INT_MAX - 1;

}  // namespace

void VXStringList::SetText(const char* text) {
  text_.clear();
  if (text != nullptr) {
    const char* p = text;
    while (*p != '\0') {
      const std::size_t n = std::strcspn(p, "\r\n");
      text_.append(p, n);
      text_ += '\n';
      p += n;
      if (*p == '\r' && p[1] == '\n') p += 2;
      else if (*p != '\0') ++p;
    }
  }
  ParseText();
}

void VXStringList::ParseText() {
  index_.clear();
  IndexFrom(0);
}

// Records the start of every line from offset on; offset is 0 or just after a line feed.
void VXStringList::IndexFrom(std::size_t offset) {
  while (offset < text_.size()) {
    index_.push_back(static_cast<std::uint32_t>(offset));
    const std::size_t end = text_.find('\n', offset);
    if (end == std::string::npos) break;
    offset = end + 1;
  }
}

bool VXStringList::GetStringPos(int index, int& start, int& length) const {
  if (index < 0 || index >= GetCount()) return false;
  start = static_cast<int>(index_[index]);
  std::size_t end = text_.find('\n', start);
  if (end == std::string::npos) end = text_.size();
  length = static_cast<int>(end - start);
  return true;
}

void VXStringList::Clear() {
  text_.clear();
  index_.clear();
}

std::string VXStringList::AsLines(const VXString& s) {
  std::string lines(s.c_str());  // a NUL inside s ends it, as it ends any text
  if (lines.empty() || lines.back() != '\n') lines += '\n';
  return lines;
}

int VXStringList::Add(const VXString s) {
  const std::string lines = AsLines(s);
  if (text_.size() + lines.size() > kMaxText) return GetCount();
  const std::size_t offset = text_.size();
  text_ += lines;
  IndexFrom(offset);
  return GetCount();
}

void VXStringList::AddStrings(VXStringList* list) {
  if (list == nullptr) return;
  const int n = list->GetCount();  // adding a list to itself adds its lines once
  for (int i = 0; i < n; ++i) Add(list->GetString(i));
}

void VXStringList::Insert(int index, const VXString s) {
  if (index < 0) index = 0;
  if (index >= GetCount()) {
    Add(s);
    return;
  }
  const std::string lines = AsLines(s);
  if (text_.size() + lines.size() > kMaxText) return;
  text_.insert(index_[index], lines);
  ParseText();
}

void VXStringList::Delete(int index) {
  int start, length;
  if (!GetStringPos(index, start, length)) return;
  const std::size_t end = static_cast<std::size_t>(start) + length;
  text_.erase(start, length + (end < text_.size() ? 1 : 0));
  ParseText();
}

VXString VXStringList::GetString(int index) const {
  int start, length;
  if (!GetStringPos(index, start, length)) return VXString();
  return VXString(text_.data() + start, static_cast<unsigned int>(length));
}

void VXStringList::LoadFromStream(VXStream* stream) {
  Clear();
  if (stream == nullptr) return;
  const std::int64_t n = stream->GetSize() - stream->GetPosition();
  if (n <= 0 || n > static_cast<std::int64_t>(kMaxText)) return;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[n + 1]);
  if (buffer == nullptr) return;
  if (stream->Read(buffer.get(), static_cast<int>(n)) != n) return;
  buffer[n] = '\0';
  SetText(buffer.get());
}

void VXStringList::LoadFromFile(const VXString name) {
  VXFileStream stream(name, VXFileRead);
  if (stream.IsOpen()) LoadFromStream(&stream);
}

std::string VXStringList::SavedText() const {
  std::string out;
  out.reserve(text_.size() + index_.size());
  for (int i = 0; i < GetCount(); ++i) {
    int start, length;
    GetStringPos(i, start, length);
    out.append(text_, start, length);
    out += "\r\n";
  }
  return out;
}

bool VXStringList::SaveToStream(VXStream* stream) const {
  if (stream == nullptr) return false;
  const std::string out = SavedText();
  constexpr std::size_t kChunk = 1 << 20;  // the saved text may pass what one int-sized write can carry
  for (std::size_t done = 0; done < out.size(); done += kChunk) {
    const int n = static_cast<int>(std::min(kChunk, out.size() - done));
    if (stream->Write(out.data() + done, n) != n) return false;
  }
  return true;
}

bool VXStringList::SaveToFile(const VXString name) const {
  if (name.IsEmpty()) return false;
  return platform::fs::ReplaceFile(platform::fs::ToHostPath(std::string_view(name.c_str())), SavedText()) ==
         platform::fs::ReplaceResult::Done;
}
