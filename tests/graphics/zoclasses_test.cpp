#include "graphics/zoclasses.h"

#include <gtest/gtest.h>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "platform/form.h"

namespace {

struct PictureScreen : Classes::TComponent {
  PictureScreen() : Classes::TComponent(nullptr) {}
  TZoRGBBits* Back = nullptr;
  TZoAlpha* Mask = nullptr;
  int changes = 0;
  void BackChange(Classes::TComponent*) { ++changes; }
};

}  // namespace

TEST(GraphicsClasses, FormsPlaceBitmapsAndAlphaPlanes) {
  RegisterGraphicsClasses();
  RegisterGraphicsClasses();  // a second call does nothing
  platform::component::RegisterScreen<PictureScreen>("PictureScreen")
      .Handler<Classes::TNotifyEvent>("BackChange", "TNotifyEvent",
                                      [](PictureScreen& s) {
                                        return Classes::TNotifyEvent(
                                            [&s](Classes::TComponent* c) { s.BackChange(c); });
                                      })
      .Field("Back", &PictureScreen::Back)
      .Field("Mask", &PictureScreen::Mask);

  PictureScreen screen;
  platform::form::LoadForm(screen,
                           "form Pictures : PictureScreen\n"
                           "  object Back : TZoRGBBits\n"
                           "    Width = 320\n"
                           "    BitDepth = bd32\n"
                           "    PixFormat = pf32_888\n"
                           "    OnChange = BackChange\n"
                           "  end\n"
                           "  object Mask : TZoAlpha\n"
                           "    Height = 20\n"
                           "  end\n"
                           "end\n",
                           "Pictures.form");
  ASSERT_NE(screen.Back, nullptr);
  EXPECT_EQ(screen.Back->GetOwner(), &screen);
  EXPECT_EQ(screen.Back->GetWidth(), 320);
  EXPECT_EQ(screen.Back->GetHeight(), 480);  // not written: the constructor's value
  EXPECT_EQ(screen.Back->GetPixFormat(), pf32_888);
  ASSERT_TRUE(screen.Back->Create());
  screen.Back->Change();
  EXPECT_EQ(screen.changes, 1);
  EXPECT_EQ(screen.Mask->GetWidth(), 640);
  EXPECT_EQ(screen.Mask->GetHeight(), 20);
}
