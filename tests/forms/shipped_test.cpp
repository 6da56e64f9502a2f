// Every form resource shipped in forms/ is embedded and loads against the class that owns it. Each screen with a
// form adds its row here; a form without a row fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "device/movieu.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "scenario/avgu.h"
#include "scenario/exselu.h"
#include "scenario/subwinu.h"
#include "platform/form.h"
#include "platform/resource.h"

namespace {

// The form's file name -> making its owner, which loads the form, and checking what the form gave it.
const std::map<std::string, std::function<void()>>& Owners() {
  static const std::map<std::string, std::function<void()>> owners = {
      {"AvgUnit.form",
       [] {
         TAvgUnit unit(nullptr);
         ASSERT_NE(unit.AvgPanel, nullptr);
         EXPECT_EQ(unit.AvgPanel->GetSizeX(), 640);
         EXPECT_TRUE(unit.AvgPanel->GetKeyControl());
         EXPECT_TRUE(unit.AvgPanel->OnKeyDown);
         EXPECT_TRUE(unit.AvgPanel->OnMouseWheel);
       }},
      {"ExSelUnit.form",
       [] {
         TExSelUnit unit(nullptr);
         ASSERT_NE(unit.ExSelWin, nullptr);
         EXPECT_EQ(unit.DlgFrame->GetParent(), unit.ExSelWin);
         EXPECT_EQ(unit.DlgPass->GetParent(), unit.DlgFrame);
         EXPECT_EQ(unit.DlgFrame->GetOffsetX(), 216);  // centred by the window
         EXPECT_EQ(unit.DlgOk->GetPatDown(), 1);
         EXPECT_TRUE(unit.DlgOk->OnClick);
         EXPECT_FALSE(unit.ExSelWin->GetVisible());
       }},
      {"MovieUnit.form",
       [] {
         TMovieUnit unit(nullptr);
         ASSERT_NE(unit.MoviePanel, nullptr);
         EXPECT_EQ(unit.MoviePanel->GetOwner(), &unit);
         EXPECT_EQ(unit.MoviePanel->GetSizeX(), 16);
         EXPECT_EQ(unit.MoviePanel->GetSizeY(), 16);
         EXPECT_TRUE(unit.MoviePanel->OnMouseDown);
         EXPECT_FALSE(unit.MoviePanel->IsLoading());
       }},
      {"SubWinUnit.form",
       [] {
         TSubWinUnit unit(nullptr);
         ASSERT_NE(unit.MesWin, nullptr);
         EXPECT_EQ(unit.MesText->GetParent(), unit.MesBack);
         EXPECT_EQ(unit.MesLook->GetParent(), unit.MesFrame);
         EXPECT_EQ(unit.LogPos->GetParent(), unit.LogBar);
         EXPECT_EQ(unit.MesWin->GetParent(), nullptr);  // the adventure hangs the roots under its panel
         EXPECT_EQ(unit.MenuBtn9->GetTag(), 8);
         EXPECT_EQ(unit.MesConfig->GetTag(), TSubWinUnit::kMesConfig);
         EXPECT_EQ(unit.MesTextMaker2->GetSizeX(), TSubWinUnit::kLineWidth);
         EXPECT_EQ(unit.MesTextMaker2->GetAAShade(), 1);
         EXPECT_TRUE(unit.SelText->OnMouseMove);
         EXPECT_FALSE(unit.Month2->GetMouseControl());
       }},
  };
  return owners;
}

}  // namespace

TEST(ShippedForms, EveryFormLoadsAgainstItsOwner) {
  std::set<std::string> shipped;
  for (const auto& entry : std::filesystem::directory_iterator(QORM_FORMS_DIR))
    if (entry.path().extension() == ".form") shipped.insert(entry.path().filename().string());
  std::set<std::string> known;
  for (const auto& [name, load] : Owners()) known.insert(name);
  EXPECT_EQ(shipped, known) << "every shipped form has its owner here, and every owner's form is shipped";
  for (const auto& [name, load] : Owners()) {
    SCOPED_TRACE(name);
    const platform::Resource* embedded = platform::FindResource(platform::form::kResourceType, name);
    ASSERT_NE(embedded, nullptr) << "not embedded";
    std::ifstream file(std::filesystem::path(QORM_FORMS_DIR) / name, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(embedded->data), embedded->size), text);
    try {
      load();
    } catch (const platform::form::EFormError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}
