// Seed files for the fuzz targets, written by the tests from the fixtures they build: run a test program with
// QORM_FUZZ_CORPUS naming a folder (fuzz/corpus to refresh the committed seeds) and each SaveSeed call writes
// <folder>/<target>/<name>. Without it nothing is written. Seeds stay small: from `limit` bytes on they are skipped
// (a format whose smallest real file is larger gives a larger limit).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline void SaveSeed(const char* target, const char* name, const std::string& bytes, std::size_t limit = 4096) {
  const char* root = std::getenv("QORM_FUZZ_CORPUS");
  if (root == nullptr || bytes.size() >= limit) return;
  const std::filesystem::path dir = std::filesystem::path(root) / target;
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
}
