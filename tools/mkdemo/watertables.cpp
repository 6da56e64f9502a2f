#include "tools/mkdemo/watertables.h"

#include <cmath>

namespace mkdemo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kQuadrantWidth = 320, kQuadrantHeight = 240;
constexpr int kLevels = 32, kWaveValues = 255;
constexpr int kMaxDisplacement = 10;

std::string DistTable() {
  std::string out;
  out.reserve(kQuadrantWidth * kQuadrantHeight * 2);
  for (int j = 0; j < kQuadrantHeight; ++j) {
    for (int i = 0; i < kQuadrantWidth; ++i) {
      const long distance = std::lround(std::sqrt((i + 0.5) * (i + 0.5) + (j + 0.5) * (j + 0.5)));
      const auto phase = static_cast<std::uint16_t>(-distance);
      out.push_back(static_cast<char>(phase & 0xFF));
      out.push_back(static_cast<char>(phase >> 8));
    }
  }
  return out;
}

std::string SinTable() {
  std::string out;
  for (int k = 0; k < 256; ++k) out.push_back(static_cast<char>(127 + std::lround(127 * std::sin(2 * kPi * k / 256))));
  return out;
}

std::string MultiTable() {
  std::string out;
  for (int level = 0; level < kLevels; ++level)
    for (int c = 0; c < kWaveValues; ++c)
      out.push_back(static_cast<char>(
          127 + std::lround(static_cast<double>(c - 127) * level * kMaxDisplacement / (127.0 * (kLevels - 1)))));
  return out;
}

}  // namespace

void AddWaterTables(const Context&, std::vector<Asset>& assets) {
  assets.push_back({"WaterDistTbl.bin", Place::kMain, DistTable});
  assets.push_back({"WaterSinTbl.bin", Place::kMain, SinTable});
  assets.push_back({"WaterMultiTbl.bin", Place::kMain, MultiTable});
}

}  // namespace mkdemo
