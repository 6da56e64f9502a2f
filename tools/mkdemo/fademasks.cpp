#include "tools/mkdemo/fademasks.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr double kCx = kWidth / 2.0, kCy = kHeight / 2.0;
constexpr double kPi = 3.14159265358979323846;

// The order in which the pixel whose centre is (x, y) turns: smaller first. Only the order counts; the mask
// stretches the range it spans over 255..0.
using Order = double (*)(double x, double y);

double Frac(double v) { return v - std::floor(v); }

double Radius(double x, double y) { return std::sqrt((x - kCx) * (x - kCx) + (y - kCy) * (y - kCy)); }

// The angle about the centre as a part of a whole turn, clockwise from twelve o'clock: 0 .. 1.
double Turn(double x, double y) { return Frac(std::atan2(x - kCx, kCy - y) / (2 * kPi)); }

double BlindR(double x, double) {
  constexpr double kSlat = 40;
  return 0.85 * std::fmod(x, kSlat) / kSlat + 0.15 * x / kWidth;
}
double BlindL(double x, double y) { return BlindR(kWidth - x, y); }
double LucasR(double x, double) { return x; }
double LucasL(double x, double) { return -x; }
double Circle(double x, double y) { return Radius(x, y); }
double CircleR(double x, double y) { return -Radius(x, y); }
double Clock(double x, double y) { return Turn(x, y); }

// Four arms whose ends lag behind as they reach out: the arm through a point moves on by a quarter turn every
// 170 pixels out.
double Swirl(double x, double y) { return Frac(4 * Turn(x, y) - Radius(x, y) / 170); }

// Diamonds centred on the cells of an 80-pixel lattice grow to the cells' edges and then fill the corners between
// them; the cells nearer the centre of the screen go first.
double Crystal(double x, double y) {
  constexpr double kCell = 80;
  const double cellX = std::floor(x / kCell) * kCell + kCell / 2, cellY = std::floor(y / kCell) * kCell + kCell / 2;
  const double diamond = (std::fabs(x - cellX) + std::fabs(y - cellY)) / kCell;  // 0 .. 1
  return 0.55 * diamond + 0.45 * Radius(cellX, cellY) / Radius(kCell / 2, kCell / 2);
}

// Bands of `height` pixels, the even ones sliding in from the left and the odd ones from the right.
double Stripes(double x, double y, double height) {
  return static_cast<int>(y / height) % 2 == 0 ? x : kWidth - x;
}
double StripesB(double x, double y) { return Stripes(x, y, 60); }
double StripesN(double x, double y) { return Stripes(x, y, 16); }

// The distance from the centre in units of the radius of a star (points 1, notches 0.5) in that direction.
double Star(double x, double y) {
  constexpr double kNotch = 0.5, kHalfPoint = kPi / 5;
  const double sector = Frac(Turn(x, y) * 5) * 2 * kHalfPoint;  // 0 .. 72 degrees from the point before
  const double a = std::min(sector, 2 * kHalfPoint - sector);   // 0 .. 36 degrees from the nearest point
  // Where the ray at angle a meets the edge from the point (1, 0) to the notch at 36 degrees.
  const double ex = kNotch * std::cos(kHalfPoint) - 1, ey = kNotch * std::sin(kHalfPoint);
  const double edge = ey / (std::cos(a) * ey - std::sin(a) * ex);
  return Radius(x, y) / edge;
}

// How far a point lies from the middle of the nearest of twelve rays: 0 on it .. 1 half-way to the next.
double OffRay(double x, double y) {
  const double q = Frac(12 * Turn(x, y));
  return 2 * std::min(q, 1 - q);
}
double Radiation(double x, double y) { return 0.45 * Radius(x, y) / Radius(0, 0) + 0.55 * OffRay(x, y); }
double RadiationR(double x, double y) { return 0.45 * (1 - Radius(x, y) / Radius(0, 0)) + 0.55 * OffRay(x, y); }

double Windmill(double x, double y) { return Frac(4 * Turn(x, y)); }

// A spiral band 100 pixels wide: the band a point lies on (counted out from the centre) and its turn along it.
double Naruto(double x, double y) {
  constexpr double kPitch = 100;
  const double turn = Turn(x, y);
  return std::floor(Radius(x, y) / kPitch - turn) + turn;
}

// The height on the screen, set back and forth by waves across it that waver as they go down: a soft front
// trailing tongues of mist.
double GhostD(double x, double y) {
  const double tongues = 0.09 * std::sin(x / 23 + 1.3 * std::sin(y / 70)) +
                         0.06 * std::sin(x / 11 + 2) * (0.5 + 0.5 * std::sin(y / 45)) + 0.04 * std::sin(x / 47 - y / 90);
  return 0.75 * y / kHeight + tongues;
}
double GhostU(double x, double y) { return GhostD(x, kHeight - y); }

struct FadeMask {
  const char* name;
  Order order;  // null: the noise, which is not a shape (Scatter)
};

const FadeMask kMasks[] = {
    {"FadeMask00_BlindR.bmp", BlindR},       {"FadeMask01_BlindL.bmp", BlindL},
    {"FadeMask02_LucasR.bmp", LucasR},       {"FadeMask03_LucasL.bmp", LucasL},
    {"FadeMask04_Circle.bmp", Circle},       {"FadeMask05_CircleR.bmp", CircleR},
    {"FadeMask06_Clock.bmp", Clock},         {"FadeMask07_Swirl.bmp", Swirl},
    {"FadeMask08_Crystal.bmp", Crystal},     {"FadeMask09_StripesB.bmp", StripesB},
    {"FadeMask10_StripesN.bmp", StripesN},   {"FadeMask11_Star.bmp", Star},
    {"FadeMask12_Radiation.bmp", Radiation}, {"FadeMask13_RadiationR.bmp", RadiationR},
    {"FadeMask14_Windmill.bmp", Windmill},   {"FadeMask15_Naruto.bmp", Naruto},
    {"FadeMask16_Noise.bmp", nullptr},         {"FadeMask17_GhostD.bmp", GhostD},
    {"FadeMask18_GhostU.bmp", GhostU},
};

// The order stretched over 255 (first) .. 0 (last).
void Stretch(const std::vector<double>& order, TZoAlpha& plane) {
  const auto [low, high] = std::minmax_element(order.begin(), order.end());
  const double span = *high > *low ? *high - *low : 1;
  for (std::size_t i = 0; i < order.size(); ++i)
    *plane.At(static_cast<int>(i % kWidth), static_cast<int>(i / kWidth)) =
        static_cast<unsigned char>(255 - std::lround(255 * (order[i] - *low) / span));
}

// A random order in which every value falls on the same number of pixels (307,200 / 256 = 1,200).
void Scatter(TZoAlpha& plane) {
  constexpr std::size_t kPixels = kWidth * kHeight;
  std::vector<std::uint32_t> key(kPixels);
  Random random(0x5EED16);
  for (std::uint32_t& k : key) k = random.Next();
  std::vector<std::uint32_t> rank(kPixels);
  std::iota(rank.begin(), rank.end(), 0);
  std::sort(rank.begin(), rank.end(), [&](std::uint32_t a, std::uint32_t b) {
    return key[a] != key[b] ? key[a] < key[b] : a < b;
  });
  for (std::size_t r = 0; r < kPixels; ++r)
    *plane.At(static_cast<int>(rank[r] % kWidth), static_cast<int>(rank[r] / kWidth)) =
        static_cast<unsigned char>(255 - r * 256 / kPixels);
}

std::string MaskFile(Order order) {
  Mask mask(kWidth, kHeight);
  if (order == nullptr) {
    Scatter(mask.Plane());
  } else {
    std::vector<double> orders(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) orders[static_cast<std::size_t>(y) * kWidth + x] = order(x + 0.5, y + 0.5);
    Stretch(orders, mask.Plane());
  }
  return GreyBmpFile(mask.Plane());
}

}  // namespace

void AddFadeMasks(const Context&, std::vector<Asset>& assets) {
  for (const FadeMask& mask : kMasks) {
    const Order order = mask.order;
    assets.push_back({mask.name, Place::kMain, [order] { return MaskFile(order); }});
  }
}

}  // namespace mkdemo
