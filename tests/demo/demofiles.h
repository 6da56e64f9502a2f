// What the tests of the demo game share: files read whole, and pictures decoded as the game decodes them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "core/vxpack.h"
#include "core/vxstream.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"

namespace demofiles {

enum class Kind { kJpeg, kBmp, kPng, kPngAlpha, kMask, kTable, kSound, kMusic };

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline std::string ReadAll(VXStream* stream) {
  std::string bytes(static_cast<std::size_t>(stream->GetSize()), '\0');
  stream->Seek(0, VXSeekBegin);
  EXPECT_EQ(stream->Read(bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
  return bytes;
}

struct Loaded {
  TZoRGBBits bits;
  TZoAlpha alpha;
};

// Decodes a picture as the game does: into a bitmap in the render depth (32-bit unless asked), a PNG's alpha into
// its plane, a mask into the plane alone.
inline std::unique_ptr<Loaded> LoadPicture(const std::string& bytes, Kind kind, VXBitDepth depth = bd32) {
  auto loaded = std::make_unique<Loaded>();
  loaded->bits.SetBitDepth(depth);
  VXMemoryStream stream(bytes.data(), static_cast<int>(bytes.size()));
  bool ok = false;
  switch (kind) {
    case Kind::kJpeg:
      ok = loaded->bits.DrawJpegStream(&stream, 0, 0);
      break;
    case Kind::kBmp:
      ok = loaded->bits.DrawBmpStream(&stream, 0, 0);
      break;
    case Kind::kPng:
      ok = loaded->bits.DrawPngStream(&stream, 0, 0);
      break;
    case Kind::kPngAlpha:
      EXPECT_EQ(ChkChannelPng(&stream), 4) << "a picture drawn through its alpha plane needs an alpha channel";
      stream.Seek(0, VXSeekBegin);
      ok = loaded->bits.DrawPngStream(&stream, 0, 0, &loaded->alpha);
      break;
    case Kind::kMask:
      ok = loaded->alpha.LoadAlphaStream(&stream, 0, 0);
      break;
    default:
      break;
  }
  return ok ? std::move(loaded) : nullptr;
}

// The names of the files in a folder (not below it).
inline std::set<std::string> FilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) names.insert(entry.path().filename().string());
  return names;
}

// A pack holds the files of a folder, byte for byte, and no others.
inline void ExpectPackHoldsFolder(const std::filesystem::path& packFile, const std::filesystem::path& folder) {
  VXPack pack;
  ASSERT_TRUE(pack.LoadPack(packFile.string().c_str())) << packFile;
  std::set<std::string> packed;
  for (int i = 0; i < pack.GetFileNum(); ++i) {
    char name[kVXPackFullNameLength + 1];
    ASSERT_TRUE(pack.GetFileName(i, name));
    packed.insert(name);
    std::unique_ptr<VXStream> entry(pack.VXMakeStream(name));
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(ReadAll(entry.get()), Slurp(folder / name)) << name;
  }
  EXPECT_EQ(packed, FilesIn(folder));
}

// Every file below `folder`, by its path relative to it.
inline std::map<std::string, std::string> Tree(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[std::filesystem::relative(entry.path(), folder).string()] = Slurp(entry.path());
  return files;
}

}  // namespace demofiles
