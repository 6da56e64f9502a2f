#include "device/gameservices.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/vxfileman.h"
#include "device/zoddraw.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace {

struct Recorder {
  std::vector<std::pair<DirectX::TDDraw*, int>> calls;
  std::vector<TZoRGBBits*> drawn;
  void OnChange(DirectX::TDDraw* display, int phase) { calls.emplace_back(display, phase); }
  void OnOther(DirectX::TDDraw*, int) {}
  void OnDraw(TZoRGBBits* surface) { drawn.push_back(surface); }
};

TScreenChangeCallback ChangeOf(Recorder* r, void (Recorder::*m)(DirectX::TDDraw*, int)) {
  return VXCallback2<Recorder, void, DirectX::TDDraw*, int>(r, m);
}

class Services : public ::testing::Test {
protected:
  void SetUp() override {
    display.SetPresenter(&presenter);
    display.SetFullScreen(false);
    display.SetBitDepth(bd32);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    panel.Create();
  }

  platform::video::MemoryPresenter presenter;
  DirectX::TDDraw display{nullptr};
  TLocalGameServices services{&display, nullptr, bd32};
  TZoRGBPanel panel{nullptr};
};

}  // namespace

TEST_F(Services, ScreenChangeCallbacksAroundASwitch) {
  Recorder a, b;
  services.AddScreenChangeCallback(TScreenChangeCallback());
  EXPECT_EQ(services.ScreenChangeCallbackCount(), 0) << "an unbound callback is ignored";
  services.AddScreenChangeCallback(ChangeOf(&a, &Recorder::OnChange));
  services.AddScreenChangeCallback(ChangeOf(&b, &Recorder::OnChange));
  services.AddScreenChangeCallback(ChangeOf(&a, &Recorder::OnChange));
  services.SwitchScreen();
  const std::vector<std::pair<DirectX::TDDraw*, int>> twice = {{&display, 1}, {&display, 1}, {&display, 0}, {&display, 0}};
  EXPECT_EQ(a.calls, twice);
  EXPECT_EQ(b.calls, (std::vector<std::pair<DirectX::TDDraw*, int>>{{&display, 1}, {&display, 0}}));
  EXPECT_TRUE(display.GetFullScreen());

  services.RemoveScreenChangeCallback(ChangeOf(&a, &Recorder::OnOther));
  services.RemoveScreenChangeCallback(ChangeOf(&b, &Recorder::OnOther));
  EXPECT_EQ(services.ScreenChangeCallbackCount(), 3) << "another member function matches nothing";
  services.RemoveScreenChangeCallback(ChangeOf(&a, &Recorder::OnChange));
  EXPECT_EQ(services.ScreenChangeCallbackCount(), 2) << "only the first match goes";
  a.calls.clear();
  services.SwitchScreen();
  EXPECT_EQ(a.calls.size(), 2u);
}

TEST_F(Services, SurfaceFrameCallsTheHookWithTheBackSurfaceAndFlips) {
  Recorder r;
  services.SetOnDrawSurface(VXCallback1<Recorder, void, TZoRGBBits*>(&r, &Recorder::OnDraw));
  EXPECT_TRUE(services.HasDrawSurfaceHook());
  const std::size_t frames = presenter.FrameCount();
  services.DrawSurfaceFrame();
  EXPECT_EQ(services.SurfaceFrames(), 1);
  EXPECT_EQ(r.drawn, std::vector<TZoRGBBits*>{display.GetBackSurface()});
  EXPECT_GT(presenter.FrameCount(), frames) << "flipped";

  services.SetOnDrawSurface(TDrawSurfaceHook());
  EXPECT_FALSE(services.HasDrawSurfaceHook()) << "an unbound hook removes it";
  services.DrawSurfaceFrame();
  EXPECT_EQ(services.SurfaceFrames(), 2);
  EXPECT_EQ(r.drawn.size(), 1u);
}

TEST_F(Services, ResultsAndTheMuteSoundAreRecorded) {
  services.NotifyMainThread(0);
  services.NotifyMainThread(7);
  services.PlayMuteSound();
  EXPECT_EQ(services.Notified(), (std::vector<int>{0, 7}));
  EXPECT_EQ(services.MuteSounds(), 1);
}

TEST_F(Services, InstalledUntilDestroyed) {
  {
    TLocalGameServices local(&display, nullptr, bd24);
    EXPECT_EQ(local.GetWorkingBitDepth(), bd24);
    SetGameServices(&local);
    EXPECT_EQ(GameServices(), &local);
  }
  EXPECT_EQ(GameServices(), nullptr) << "a destroyed stand-in uninstalls itself";
  EXPECT_EQ(TLocalGameServices(&display, nullptr, bd16).GetWorkingBitDepth(), bd32) << "only bd24 or bd32";
}

// Mended: a picture without an alpha channel was given a plane of 255 and alpha mask mode; it is opaque.
TEST_F(Services, PanelImagesWithAndWithoutAnAlphaPlane) {
  TempDir dir;
  pictures::PngSpec rgba{2, 2, PNG_COLOR_TYPE_RGBA, 8, false, {},
                         {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 255}};
  pictures::PngSpec rgb{2, 1, PNG_COLOR_TYPE_RGB, 8, false, {}, {1, 2, 3, 4, 5, 6}};
  dir.Write("Alpha.png", pictures::MakePng(rgba));
  dir.Write("Plain.png", pictures::MakePng(rgb));
  dir.Write("Broken.png", "\x89PNG broken");
  VXFileMan files;
  files.InitDir(dir.str().c_str());

  struct Case {
    const char* name;
    bool ok;
    bool alpha;
    int width;
  };
  const Case cases[] = {{"Alpha.png", true, true, 2}, {"plain.PNG", true, false, 2}, {"Broken.png", false, false, 0},
                        {"Missing.png", false, false, 0}};
  for (const Case& c : cases) {
    const bool loaded = services.LoadPanelImage(&panel, &files, c.name);
    EXPECT_EQ(loaded, c.ok) << c.name;
    if (!c.ok) continue;
    ASSERT_NE(panel.GetImage(), nullptr) << c.name;
    EXPECT_EQ(panel.GetImage()->GetWidth(), c.width) << c.name;
    EXPECT_EQ(panel.GetAlpha() != nullptr, c.alpha) << c.name;
    EXPECT_EQ(panel.GetMaskMode(), c.alpha ? mmAlpha : mmOpaque) << c.name;
  }
  EXPECT_NE(panel.GetImage(), nullptr) << "a failed load keeps the picture the panel had";
  EXPECT_FALSE(services.LoadPanelImage(&panel, nullptr, "Plain.png"));
  EXPECT_FALSE(services.LoadPanelImage(nullptr, &files, "Plain.png"));

  services.ReleasePanelImage(&panel);
  EXPECT_EQ(panel.GetImage(), nullptr);
  EXPECT_EQ(panel.GetAlpha(), nullptr);
  services.ReleasePanelImage(&panel);  // nothing left: nothing happens
  services.ReleasePanelImage(nullptr);
}
