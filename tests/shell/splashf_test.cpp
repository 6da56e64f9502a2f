// Label: threads
#include "shell/splashf.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/instance.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "support/environment.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace {

// The flags back at their built-in values, the messages caught, the current folder put back.
class StartUp : public testing::Test {
protected:
  StartUp() : folder_(platform::process::CurrentDirectory()) {
    WindowMode = 1;
    ShowFPS = 0;
    old_ = platform::msgbox::SetSink([this](const platform::msgbox::Message& m) { messages.push_back(m); });
    env.Set("XDG_DATA_HOME", (home.str() + "/data").c_str());
    env.Set("XDG_RUNTIME_DIR", (home.str() + "/run").c_str());
    env.Set("QORM_DATA", game.str().c_str());
    env.Set("SDL_VIDEODRIVER", "dummy");
    env.Set("SDL_AUDIODRIVER", "dummy");
    std::filesystem::create_directories(home.str() + "/run");
  }
  ~StartUp() override {
    platform::msgbox::SetSink(old_);
    platform::process::SetCurrentDirectory(folder_);
    WindowMode = 1;
    ShowFPS = 0;
  }

  int Run(std::vector<std::string> args, const TRunOptions& options = {}) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return RunGame(static_cast<int>(argv.size()), argv.data(), options);
  }
  std::string Settings() const {
    std::ifstream in(home.str() + "/data/BELVAR/QORM/QORM.ini");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TempDir home, game;
  Environment env;
  std::vector<platform::msgbox::Message> messages;

private:
  std::string folder_;
  platform::msgbox::Sink old_;
};

}  // namespace

TEST(CommandLine, SwitchesAreWholeWordsWithADashOrASlashInAnyCase) {
  struct Case {
    const char* arg;
    int window, fps;
  } cases[] = {
      {"-WINDOW", 1, 0}, {"/window", 1, 0}, {"-Window", 1, 0}, {"-fps", 0, 1}, {"/FpS", 0, 1},
      {"WINDOW", 0, 0},  {"-WINDOWS", 0, 0}, {"-", 0, 0},      {"/", 0, 0},   {"", 0, 0},
      {"--window", 0, 0},
  };
  for (const Case& c : cases) {
    WindowMode = 0;
    ShowFPS = 0;
    ApplyCommandLineSwitches({"qorm", c.arg});
    EXPECT_EQ(WindowMode.load(), c.window) << c.arg;
    EXPECT_EQ(ShowFPS.load(), c.fps) << c.arg;
  }
  WindowMode = 1;
  ShowFPS = 0;
}

TEST(CommandLine, TheGameFolderAndTheLockFile) {
  TempDir home;
  Environment env;
  env.Set("QORM_DATA", "/games/qorm");
  EXPECT_EQ(GameFolder(), "/games/qorm");
  env.Set("QORM_DATA", nullptr);
  EXPECT_EQ(GameFolder(), std::filesystem::path(platform::process::ExecutablePath()).parent_path().string());

  env.Set("XDG_DATA_HOME", home.str().c_str());
  env.Set("XDG_RUNTIME_DIR", "/run/user/7");
  EXPECT_EQ(InstanceLockPath(), "/run/user/7/QUILL_MARCHER_QM.lock");
  env.Set("XDG_RUNTIME_DIR", nullptr);
  EXPECT_EQ(InstanceLockPath(), home.str() + "/BELVAR/QORM/QUILL_MARCHER_QM.lock");
}

TEST_F(StartUp, ASecondCopyEndsAtOnceSilentlyWithZero) {
  platform::instance::InstanceLock::Result r{};
  const auto held = platform::instance::InstanceLock::Acquire(home.str() + "/run/QUILL_MARCHER_QM.lock", r);
  ASSERT_TRUE(held);
  EXPECT_EQ(Run({"qorm", "-FPS"}), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ShowFPS.load(), 0);  // it ended before reading anything
  EXPECT_FALSE(std::filesystem::exists(home.str() + "/data/BELVAR/QORM/QORM.ini"));
}

TEST_F(StartUp, AStartThatFailsSaysSoAndEndsWithOne) {
  env.Set("QORM_DATA", (game.str() + "/missing").c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(Run({"qorm"}), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("missing"), std::string::npos);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Game Error");
  EXPECT_EQ(messages[0].text, "初期化に失敗しました。");
}

// The whole start on the dummy drivers: splash, game window, first frame; a termination signal then ends the game
// the way the session ending does, with status 0 and the settings written.
TEST_F(StartUp, RunsUntilATerminationSignalEndsIt) {
  pictures::JpegSpec splash;
  splash.width = 320, splash.height = 240, splash.components = 3;
  splash.samples.assign(320 * 240 * 3, 0x80);
  std::ofstream(game.str() + "/Splash.jpg", std::ios::binary) << pictures::MakeJpeg(splash);
  TRunOptions options;
  bool shown = false;
  options.onFirstFrame = [&](TSplashForm& app) {
    shown = app.GetGameForm() != nullptr && app.GetGameForm()->GetState() == 2;
    kill(getpid(), SIGTERM);
  };
  EXPECT_EQ(Run({"qorm", "-window"}, options), 0);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(messages.empty()) << messages[0].text;
  EXPECT_NE(Settings().find("WindowMode=ON"), std::string::npos);
  EXPECT_NE(Settings().find("MesBoxTrans="), std::string::npos);  // the game thread saved the user's settings
  EXPECT_EQ(platform::process::CurrentDirectory(), std::filesystem::canonical(game.path()).string());
}
