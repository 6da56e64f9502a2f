// The program's entry. The game itself is not assembled yet: until it is, the program says what exists and how to
// try it (the tools built beside it, named by their path from the current folder), and ends with status 0.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/process.h"

namespace {

struct Tool {
  const char* name;
  const char* arguments;
  const char* does;
};

constexpr Tool kTools[] = {
    {"display_demo", "[picture]", "shows a picture (or a test pattern) in a window; Esc quits"},
    {"playsound", "FILE [--loop]", "plays a sound file"},
    {"playmovie", "FILE", "plays a movie"},
    {"packtool", "create|list|extract|add|delete|verify PACK ...", "makes, reads and checks pack archives"},
};

// The tools' folder of the build: "tools" beside the program's own folder, from the current folder where it lies
// below it.
std::filesystem::path ToolsFolder() {
  const std::filesystem::path exe = platform::process::ExecutablePath();
  const std::filesystem::path tools = exe.parent_path().parent_path() / "tools";
  std::error_code ec;
  const std::filesystem::path shown = std::filesystem::proximate(tools, ec);
  if (ec || shown.empty() || *shown.begin() == "..") return tools;
  return shown;
}

}  // namespace

int main(int argc, char** argv) {
  platform::process::SetCommandLine(argc, argv);
  std::printf(
      "qorm: the game cannot start yet.\n"
      "Built so far: the core library (strings, streams, pack archives and the file manager, coders, settings,\n"
      "timer), the graphics library (pictures, bitmaps, fonts, the panel tree and its widgets) and the device layer\n"
      "(display, input, sound, movies).\n"
      "Try the tools built beside it:\n");
  const std::filesystem::path folder = ToolsFolder();
  for (const Tool& t : kTools) {
    const std::filesystem::path path = folder / t.name;
    const std::string command = path.string() + " " + t.arguments;
    std::error_code ec;
    const bool built = std::filesystem::is_regular_file(path, ec);
    std::printf("  %s\n      %s%s\n", command.c_str(), t.does, built ? "" : " (not built)");
  }
  std::printf("Run ./test.sh to build and run the tests.\n");
  return 0;
}
