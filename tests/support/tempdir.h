// A fresh temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
public:
  TempDir() {
    const char* base = std::getenv("QORM_TEST_TMP");
    std::filesystem::path root = base != nullptr ? base : std::filesystem::temp_directory_path().string();
    std::filesystem::create_directories(root);
    std::string templ = (root / "qormXXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

  // Writes a file (creating its folders) and returns its host path.
  std::string Write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = path_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }

private:
  std::filesystem::path path_;
};
