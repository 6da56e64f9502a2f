#include "tools/mkdemo/albumpics.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr int kFirst = 500, kCount = 14;

enum class Format { kJpeg, kPng, kBmp };

struct Event {
  int width, height;
  Format format;
  int entry;  // the album entry that lists it
};

// bg500 .. bg513.
constexpr Event kEvents[kCount] = {
    {640, 480, Format::kJpeg, 0}, {640, 480, Format::kJpeg, 0}, {640, 480, Format::kPng, 0},
    {960, 720, Format::kJpeg, 1}, {640, 480, Format::kBmp, 2},  {640, 960, Format::kPng, 2},
    {640, 480, Format::kJpeg, 3}, {640, 480, Format::kPng, 3},  {640, 480, Format::kJpeg, 4},
    {640, 480, Format::kJpeg, 5}, {640, 480, Format::kPng, 6},  {640, 480, Format::kJpeg, 7},
    {640, 480, Format::kJpeg, 8}, {640, 480, Format::kBmp, 9},
};

const char* const kTints[] = {"violet", "rose", "teal", "amber", "lavender"};

// A night scene at any size: the sky, a moon placed by the number, rolling hills with lit windows, and the
// event's caption at the bottom left.
void Scene(Picture& picture, const Style& style, int number) {
  const float w = static_cast<float>(picture.Width()), h = static_cast<float>(picture.Height());
  const float s = std::min(w / 640, h / 480);
  const int n = number - kFirst;
  NightSky(picture, style, static_cast<std::uint32_t>(number) * 7 + 3);
  Moon(picture, style, w * (0.2f + 0.06f * static_cast<float>(n % 11)), h * (0.16f + 0.03f * static_cast<float>(n % 5)),
       26 * s);
  Mask far = picture.NewMask();
  const float phase = static_cast<float>(n);
  far.Below([&](float x) { return h * 0.66f + 18 * s * std::sin(x / (61 * s) + phase) + 9 * s * std::sin(x / (23 * s)); }, h);
  picture.Fill(far, Vertical(style.Colour(kTints[n % 5]), style.Colour("night"), h * 0.6f, h), 0.55f);
  Mask near = picture.NewMask();
  near.Below([&](float x) { return h * 0.8f + 14 * s * std::sin(x / (41 * s) + 2 * phase); }, h);
  picture.Fill(near, Solid(style.Colour("night")));
  Random random(static_cast<std::uint32_t>(number));
  Mask windows = picture.NewMask();
  for (int i = 0; i < 12; ++i) {
    const float x = random.Range(0.05f, 0.95f) * w, y = h * random.Range(0.74f, 0.8f);
    windows.Rect(x, y, 4 * s, 5 * s, 1);
  }
  windows.Blur(1);
  picture.Fill(windows, Solid(style.Colour("gold")), 0.9f, Blend::kAdd);
  if (s >= 0.5f)
    Caption(picture, style, style.Label("album.event" + std::to_string(n % 7)), 24 * s, h - 40 * s, static_cast<int>(18 * s),
            Solid(style.Colour("cream")));
}

std::string EventFile(const Style& style, int number) {
  const Event& e = kEvents[number - kFirst];
  Picture picture(e.width, e.height, false);
  Scene(picture, style, number);
  switch (e.format) {
    case Format::kJpeg: return JpegFile(picture, 88);
    case Format::kPng: return PngFile(picture, false);
    case Format::kBmp: return BmpFile(picture);
  }
  return {};
}

const char* Extension(Format f) { return f == Format::kJpeg ? ".jpg" : f == Format::kPng ? ".png" : ".bmp"; }

std::string Thumbnail(const Style& style, int entry) {
  for (int i = 0; i < kCount; ++i)
    if (kEvents[i].entry == entry) {
      Picture picture(106, 80, false);
      Scene(picture, style, kFirst + i);
      return BmpFile(picture);
    }
  return {};
}

std::string Table() {
  std::string text = "Album,#Entry,#1,#2,#3,#4,#5,#6,#7,#8,!\r\n";
  for (int entry = 0; entry < 10; ++entry) {
    text += "#," + std::to_string(entry);
    for (int i = 0; i < kCount; ++i)
      if (kEvents[i].entry == entry) text += "," + std::to_string(kFirst + i);
    text += ",0\r\n";
  }
  return text + "!\r\n";
}

std::string Background(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 61);
  ScreenTitle(picture, style, style.Label("album.title"), "ALBUM", 40, 22);
  GlassPanel(picture, style, 27, 63, 586, 362, 10);
  Mask cells = picture.NewMask();
  for (int t = 0; t < 20; ++t) cells.Rect(39 + 114 * static_cast<float>(t % 5), 73 + 88 * static_cast<float>(t / 5), 106, 80, 4);
  picture.Fill(cells, Vertical(style.Colour("night"), style.Colour("indigo"), 73, 425), 0.7f);
  Caption(picture, style, style.Label("album.hint"), 40, 446, 13, Solid(style.Colour("mist")));
  return JpegFile(picture, 92);
}

std::string Light(const Style& style) {
  Picture picture(106, 240, true);
  for (int b = 0; b < 3; ++b) {
    const float y = 80.0f * static_cast<float>(b);
    Mask rim = picture.NewMask();
    rim.Rect(1, y + 1, 104, 78, 4);
    Mask inner = picture.NewMask();
    inner.Rect(3, y + 3, 100, 74, 3);
    rim.Subtract(inner);
    Mask glow = picture.NewMask();
    glow.CopyFrom(rim);
    glow.Blur(2);
    picture.Fill(glow, Solid(style.Colour("gold")), 0.5f + 0.2f * static_cast<float>(b), Blend::kAdd);
    picture.Fill(rim, Solid(style.Colour("gold")));
  }
  return PngFile(picture, true);
}

}  // namespace

void AddAlbumPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"AlbumTbl.csv", Place::kMain, [] { return Table(); }});
  assets.push_back({"AlbumBG1.jpg", Place::kMain, [&style] { return Background(style); }});
  assets.push_back({"AlbumHikari.png", Place::kMain, [&style] { return Light(style); }});
  for (int p = 1; p <= 3; ++p)
    assets.push_back({"AlbumP" + std::to_string(p) + ".png", Place::kMain, [&style, p] {
                        return LabelButton(style, 46, 28, {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kSelected},
                                           std::to_string(p), 14);
                      }});
  for (int entry = 0; entry < 10; ++entry) {
    char name[16];
    std::snprintf(name, sizeof name, "AlbumEv%02d.bmp", entry);
    assets.push_back({name, Place::kMain, [&style, entry] { return Thumbnail(style, entry); }});
  }
  for (int i = 0; i < kCount; ++i)
    assets.push_back({"bg" + std::to_string(kFirst + i) + Extension(kEvents[i].format), Place::kSet,
                      [&style, i] { return EventFile(style, kFirst + i); }, "EvBG"});
}

}  // namespace mkdemo
