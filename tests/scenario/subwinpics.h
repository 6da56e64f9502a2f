// The text windows' pictures for tests in the game window: plain colours, so that a test can tell the windows apart
// on the presented picture, written into the game folder's main data ("Game_Pak").
#pragma once

#include <cstdint>
#include <string>

#include "core/vxstring.h"
#include "platform/text.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace subwinpics {

constexpr std::uint32_t kBack = 0x3060C0;  // the message window's back
constexpr std::uint32_t kSel = 0x40A040;   // the choice window

// UTF-8 text as the game holds it.
inline std::string Cp932(const char* utf8) { return platform::text::Utf8ToCp932(utf8).value(); }
inline VXString Sjis(const char* utf8) { return VXString(Cp932(utf8)); }

// A PNG of w x h in one colour with one alpha value.
inline std::string Png(int w, int h, std::uint32_t rgb, unsigned alpha = 255) {
  pictures::PngSpec s;
  s.width = w, s.height = h, s.colourType = 6 /* RGBA */, s.bitDepth = 8;
  for (int i = 0; i < w * h; ++i)
    s.rows.insert(s.rows.end(), {static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                                 static_cast<unsigned char>(rgb), static_cast<unsigned char>(alpha)});
  return pictures::MakePng(s);
}

// A frame picture: transparent inside a border of 3 pixels.
inline std::string FramePng(int w, int h) {
  pictures::PngSpec s;
  s.width = w, s.height = h, s.colourType = 6 /* RGBA */, s.bitDepth = 8;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool border = x < 3 || y < 3 || x >= w - 3 || y >= h - 3;
      s.rows.insert(s.rows.end(), {0xF0, 0xF0, 0xF0, static_cast<unsigned char>(border ? 255 : 0)});
    }
  return pictures::MakePng(s);
}

inline void WritePictures(const TempDir& game) {
  struct Picture {
    const char* name;
    int w, h;
    std::uint32_t rgb;
  };
  const Picture pictures[] = {
      {"MesBack.png", 587, 147, kBack},      {"MesWait.png", 20, 140, 0xFFFF00},  {"MesHide.png", 19, 72, 0x808080},
      {"MesSkip.png", 19, 90, 0x808080},     {"MesAuto.png", 19, 90, 0x808080},   {"SelWindow.png", 540, 120, kSel},
      {"SelCursor.png", 520, 20, 0x2020F0},  {"BacklogBar.png", 20, 340, 0x404040}, {"BacklogPos.png", 18, 18, 0xE0E0E0},
      {"BacklogUp.png", 20, 60, 0x606060},   {"BacklogDown.png", 20, 60, 0x606060}, {"CalDateNum.png", 26, 240, 0xFFFFFF},
      {"CalSlash.png", 19, 26, 0xFFFFFF},    {"CalTimeNum.png", 22, 260, 0xFFFFFF}, {"CalColon.png", 11, 21, 0xFFFFFF},
      {"AvgPlace01.png", 120, 32, 0x10F010},
  };
  for (const auto& p : pictures) game.Write(std::string("Game_Pak/") + p.name, Png(p.w, p.h, p.rgb));
  game.Write("Game_Pak/MesFrame.png", FramePng(587, 147));
  for (int i = 1; i <= 9; ++i) game.Write("Game_Pak/Menu0" + std::to_string(i) + ".png", Png(170, 132, 0xA0A0FF));
}

}  // namespace subwinpics
