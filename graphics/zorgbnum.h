// A panel that shows a decimal number right-aligned, with digits cut from its picture: a strip one digit wide
// holding 0 to 9 from the top (digit height = picture height / 10). At most Column digits are drawn, from the
// right edge leftwards at the top of the panel, without leading zeros (0 shows as "0"); higher digits are dropped.
// A negative number shows its magnitude.
#pragma once

#include "graphics/zorgbpanel.h"

class TZoRGBNum : public TZoRGBPanel {
public:
  explicit TZoRGBNum(Classes::TComponent* owner);              // 98 x 31, AutoSize clear
  TZoRGBNum(Classes::TComponent* owner, TZoRGBPanel* parent);  // the same, and NumBlock 10

  int GetColumn() const { return column_; }
  void SetColumn(int n);  // 0 .. 10; others ignored
  int GetNumber() const { return number_; }
  void SetNumber(int n);
  void ChangeState();  // marks the panel dirty when it can show anything

  // OnDraw first (true ends there); then the digits. False without a picture of at least 10 rows.
  bool CallOnDraw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) override;

private:
  int column_ = 1;
  int number_ = 0;
};
