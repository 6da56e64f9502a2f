// A display on a memory presenter, game services installed over it, and a generated movie, for the movie tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "device/gameservices.h"
#include "device/zoddraw.h"
#include "graphics/zorgbbits.h"
#include "support/moviefile.h"
#include "support/tempdir.h"
#include "support/waitfor.h"

class MovieFixture : public ::testing::Test {
protected:
  static constexpr std::int64_t kFrameNs = 40'000'000;

  void SetUp() override {
    display.SetPresenter(&presenter);
    display.SetFullScreen(false);
    display.SetBitDepth(bd32);
    display.SetBackType(DirectX::btSystem);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    SetGameServices(&services);
    path = (dir.path() / "clip.mpg").string();
    ASSERT_TRUE(moviefile::Write(path));
  }
  void TearDown() override { SetGameServices(nullptr); }

  // The frame number shown at the top-left pixel of a 32- or 24-bit bitmap.
  static int Shown(TZoRGBBits* bits) {
    return bits == nullptr ? -1 : moviefile::FrameFromGrey(static_cast<int>(bits->PGet(0, 0) >> 8 & 0xFF));
  }

  platform::video::MemoryPresenter presenter;
  DirectX::TDDraw display{nullptr};
  TLocalGameServices services{&display, nullptr, bd32};
  platform::thread::ManualClock clock;
  TempDir dir;
  std::string path;
};
