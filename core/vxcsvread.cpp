#include "core/vxcsvread.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "core/vxstrlist.h"
#include "platform/text.h"

namespace {

using platform::text::IsCp932LeadByte;

// Byte at a 1-based position of a line.
unsigned char At(const VXString& line, std::int64_t position) {
  return static_cast<unsigned char>(line.c_str()[position - 1]);
}

int CharLength(unsigned char c) { return IsCp932LeadByte(c) ? 2 : 1; }

// The position of the comma that ends the cell at position, or Length() + 1 when the cell runs to the line's end.
std::int64_t CellEnd(const VXString& line, int position) {
  const std::int64_t n = line.Length();
  std::int64_t i = position;
  while (i <= n && At(line, i) != ',') {
    if (At(line, i) == '"') {
      for (++i; i <= n && At(line, i) != '"';) i += CharLength(At(line, i));
      if (i <= n) ++i;
    } else {
      i += CharLength(At(line, i));
    }
  }
  return std::min(i, n + 1);
}

// The marker of the bytes first .. end - 1 of a line: the first byte, or the second when the first is a double
// quote; 0 for no bytes.
char Marker(const VXString& line, int first, std::int64_t end) {
  if (first < 1 || first >= end) return 0;
  if (At(line, first) == '"' && first + 1 < end) return static_cast<char>(At(line, first + 1));
  return static_cast<char>(At(line, first));
}

// The length of the longest run of whole characters of text that fits in limit bytes.
int WholeCharacters(const VXString& text, int limit) {
  int i = 0;
  while (i < text.Length()) {
    const int next = i + CharLength(static_cast<unsigned char>(text.c_str()[i]));
    if (next > limit) break;
    i = next;
  }
  return std::min(i, limit);
}

int ParseDecimal(const VXString& text) {
  const char* p = text.c_str();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min<std::int64_t>(value * 10 + (*p - '0'), std::int64_t{INT_MAX} + 1);
  if (negative) value = -value;
  return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

VXCsvRead::VXCsvRead() = default;
VXCsvRead::~VXCsvRead() = default;

int VXCsvRead::NextCell(const VXString& line, int position) {
  if (position < 1) return 0;
  const std::int64_t next = CellEnd(line, position) + 1;
  return next <= line.Length() ? static_cast<int>(next) : 0;
}

VXString VXCsvRead::CutCell(const VXString& line, int position) {
  if (position < 1 || position > line.Length()) return VXString();
  const int count = static_cast<int>(CellEnd(line, position) - position);
  if (count < 1) return VXString();
  const VXString cell = line.SubString(position, count);
  if (count < 2 || cell[1] != '"') return cell;
  int last = 1;
  for (int i = 1; i <= count; i += CharLength(static_cast<unsigned char>(cell[i]))) last = i;
  return cell[last] == '"' && last > 1 ? cell.SubString(2, count - 2) : cell;
}

void VXCsvRead::Reset() {
  lines_.reset();
  rows_.clear();
  sizeX_ = sizeY_ = 0;
  cursorX_ = cursorY_ = 0;
}

bool VXCsvRead::Read(VXStream* stream) {
  Reset();
  if (stream == nullptr) return false;
  bool built = false;
  try {
    lines_ = std::make_unique<VXStringList>();
    lines_->LoadFromStream(stream);
    built = Build();
  } catch (const std::bad_alloc&) {
    // A table too large for memory reads as no table.
    sizeX_ = 0;
  }
  if (!built) {
    lines_.reset();
    rows_.clear();
    sizeY_ = 0;
  }
  return built;
}

bool VXCsvRead::Build() {
  if (lines_->GetCount() < 2) return false;

  // Which header cells after the corner are data columns, up to a '!'.
  const VXString header = lines_->GetString(0);
  int position = NextCell(header, 1);
  if (position == 0) return false;
  std::vector<bool> isData;
  while (position != 0) {
    const std::int64_t end = CellEnd(header, position);
    const char marker = Marker(header, position, end);
    if (marker == '!') break;
    isData.push_back(marker == '#');
    if (marker == '#') ++sizeX_;
    position = NextCell(header, position);
  }
  if (sizeX_ == 0) return false;

  for (int i = 1; i < lines_->GetCount(); ++i) {
    const VXString line = lines_->GetString(i);
    const char marker = Marker(line, 1, std::int64_t{line.Length()} + 1);
    if (marker == '!') break;
    if (marker != '#') continue;
    Row row{i, {}};
    int column = 0;
    for (int p = NextCell(line, 1); p != 0 && column < static_cast<int>(isData.size()); p = NextCell(line, p)) {
      if (isData[column++]) row.cells.push_back(p);
      if (static_cast<int>(row.cells.size()) == sizeX_) break;
    }
    rows_.push_back(std::move(row));
  }
  sizeY_ = static_cast<int>(rows_.size());
  return sizeY_ > 0;
}

bool VXCsvRead::Cell(int x, int y, VXString& text) const {
  if (x < 0 || x >= sizeX_ || y < 0 || y >= sizeY_) return false;
  const Row& row = rows_[y];
  if (x >= static_cast<int>(row.cells.size())) return false;
  text = CutCell(lines_->GetString(row.line), row.cells[x]);
  return true;
}

int VXCsvRead::GetValue(int x, int y) const {
  VXString text;
  return Cell(x, y, text) ? ParseDecimal(text) : 0;
}

bool VXCsvRead::GetText(int x, int y, char* buffer, int size) const {
  if (buffer == nullptr || size < 1) return false;
  VXString text;
  const bool found = Cell(x, y, text);
  const int length = WholeCharacters(text, size - 1);
  std::memcpy(buffer, text.c_str(), length);
  std::memset(buffer + length, 0, size - length);
  return found;
}

VXString VXCsvRead::GetVXString(int x, int y) const {
  VXString text;
  Cell(x, y, text);
  return text;
}

void VXCsvRead::SetPos(int x, int y) {
  cursorX_ = x;
  cursorY_ = y;
}

int VXCsvRead::Advance() {
  const int x = cursorX_;
  if (cursorX_ < INT_MAX) ++cursorX_;
  return x;
}

int VXCsvRead::GetValue() { return GetValue(Advance(), cursorY_); }

bool VXCsvRead::GetText(char* buffer, int size) { return GetText(Advance(), cursorY_, buffer, size); }

VXString VXCsvRead::GetVXString() { return GetVXString(Advance(), cursorY_); }
