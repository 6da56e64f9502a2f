// Reader of the system's comma-separated tables. Only the marked part of a table is taken: in the header line (line
// 0) every cell after the corner whose marker is '#' is a data column and '!' ends the header; among the later lines
// every line whose marker is '#' is a data row and '!' ends the table. A marker is a cell's (or line's) first byte,
// or its second when the first is a double quote. Everything else is ignored.
//
// Cells are separated by ','; a double quote starts a quoted run lasting to the next double quote, in which commas
// do not separate; double-byte characters are stepped over whole. A comma at the very end of a line adds no empty
// cell. A cell that both starts and ends with a double quote loses these two quotes; nothing else is unescaped.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/vxstring.h"

class VXStream;
class VXStringList;

class VXCsvRead {
public:
  VXCsvRead();
  ~VXCsvRead();
  VXCsvRead(const VXCsvRead&) = delete;
  VXCsvRead& operator=(const VXCsvRead&) = delete;

  // Reads the rest of the stream and builds the grid. False, with nothing readable, when there are fewer than two
  // lines, no data column or no data row (SizeX then keeps the number of data columns found).
  bool Read(VXStream* stream);

  int GetSizeX() const { return sizeX_; }
  int GetSizeY() const { return sizeY_; }

  // A cell as a decimal number: leading white space, one sign, then digits; 0 when there are none, the cell is
  // missing or out of range. Values beyond 32 bits are clamped.
  int GetValue(int x, int y) const;
  // The cell's text into buffer, NUL-filled to size bytes. A text of size bytes or more is cut (on a character
  // boundary) so that the buffer always ends with a NUL. False, with an empty buffer, for a missing cell.
  bool GetText(int x, int y, char* buffer, int size) const;
  VXString GetVXString(int x, int y) const;

  // Sequential reading: each getter reads the cell at the cursor, then moves the cursor one column right (never to
  // the next row).
  void SetPos(int x, int y);
  int GetValue();
  bool GetText(char* buffer, int size);
  VXString GetVXString();

  // The 1-based position of the cell after the one at position (0 when there is none or position < 1).
  static int NextCell(const VXString& line, int position);
  // The text of the cell at position, its enclosing quotes removed.
  static VXString CutCell(const VXString& line, int position);

private:
  // A data row: its line and the positions of its data cells, in column order. A short row records fewer than
  // SizeX cells; the rest are missing. Only cells present in the file are recorded, so the grid never takes more
  // memory than the text itself.
  struct Row {
    int line = 0;
    std::vector<std::int32_t> cells;
  };

  bool Build();
  // The text of a cell; false when it is missing or out of range.
  bool Cell(int x, int y, VXString& text) const;
  void Reset();
  int Advance();  // the cursor's column, then one column right

  std::unique_ptr<VXStringList> lines_;
  std::vector<Row> rows_;
  int sizeX_ = 0;
  int sizeY_ = 0;
  int cursorX_ = 0;
  int cursorY_ = 0;
};
