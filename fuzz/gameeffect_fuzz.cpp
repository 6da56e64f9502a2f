// The transition resources over arbitrary bytes: the first byte picks the file they replace (one of the three
// ripple tables, the wipe mask or a halation picture; the others stay good), the second the frame drawn. The set is
// loaded as the game loads it and a frame of its kind drawn on screen pictures: a refused file may throw the game's
// error, nothing may read or write outside the tables, planes and pictures.
// Links: shell
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/vxfileman.h"
#include "graphics/zorgbbits.h"
#include "shell/gameeffect.h"
#include "shell/gamestate.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFiles[] = {"WaterDistTbl.bin", "WaterSinTbl.bin", "WaterMultiTbl.bin", "Mask.bmp",
                                  "HaloYellowS.bmp"};

// Good files: tables that move pixels, a small grey mask, no other halation pictures.
std::string GoodFile(int which) {
  std::string s;
  switch (which) {
    case 0:
      for (int i = 0; i < 240 * 320; ++i) s += {static_cast<char>(i * 7), static_cast<char>(i >> 9)};
      return s;
    case 1:
      for (int k = 0; k < 256; ++k) s += static_cast<char>(k * 5 % 255);
      return s;
    case 2:
      for (int i = 0; i < 32 * 255; ++i) s += static_cast<char>(127 + i % 11 - 5);
      return s;
    default: return {};  // absent
  }
}

void Put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct Folder {
  Folder() {
    std::string templ = (fs::temp_directory_path() / "gameeffect_fuzzXXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) std::abort();
    path = templ;
    for (int i = 0; i < 5; ++i) Reset(i);
    files.InitDir(path.string().c_str());
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  void Reset(int which) {
    const std::string good = GoodFile(which);
    std::error_code ec;
    if (good.empty()) fs::remove(path / kFiles[which], ec);
    else Put(path / kFiles[which], good);
  }
  fs::path path;
  VXFileMan files;
};

TZoRGBBits* Screen(std::uint32_t colour) {
  auto* bits = new TZoRGBBits(nullptr);
  bits->SetBitDepth(bd32);
  bits->Create();
  bits->BoxFill(0, 0, kScreenWidth - 1, kScreenHeight - 1, colour);
  return bits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  static TZoRGBBits* from = Screen(0x00336699);
  static TZoRGBBits* to = Screen(0x00CC9966);
  static TZoRGBBits* dst = Screen(0);
  if (size < 2 || size > (1u << 20)) return 0;
  const int which = data[0] % 5;
  const int value = data[1];
  Put(folder.path / kFiles[which], std::string(reinterpret_cast<const char*>(data) + 2, size - 2));
  TEffectMan effects;
  try {
    if (which < 3) {
      effects.Water().Load(&folder.files);
      RenderWater(dst, nullptr, from, to, value % 71, effects.Water());
    } else if (which == 3) {
      effects.Mask().Load(&folder.files, kFiles[3]);
      RenderMask(dst, nullptr, from, to, value * 2, effects.Mask());
      RenderMaskEdge(dst, nullptr, from, to, value, effects.Mask());
    } else {
      effects.Halo().Load(&folder.files, bd32);
      RenderHalation(dst, nullptr, from, to, value % 38, effects.Halo());
    }
  } catch (const EGameErr&) {
  }
  folder.Reset(which);
  return 0;
}
