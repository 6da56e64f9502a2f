#include "platform/form.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"

using Classes::TComponent;
using platform::form::EFormError;
using platform::form::LoadForm;
using platform::form::LoadFormResource;

namespace {

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TKeyEvent = std::function<void(TComponent* sender, int key)>;

int live = 0;                      // dummy components alive
std::vector<std::string> loaded;   // Loaded() calls in order

class TDummyPanel : public TComponent {
public:
  explicit TDummyPanel(TComponent* owner) : TComponent(owner) { ++live; }
  ~TDummyPanel() override { --live; }

  void SetSize(int& field, int v) {
    if (v < 0) throw std::invalid_argument("size must not be negative");
    field = v;
    loadingSeen = IsLoading();
  }
  void Loaded() override {
    loaded.push_back(GetName());
    eventsBoundAtLoaded = OnClick != nullptr || OnKeyDown != nullptr;
  }

  int SizeX = 640, SizeY = 480, OffsetX = 0, Align = 0;
  bool Visible = true, loadingSeen = false, eventsBoundAtLoaded = false;
  std::string Text = "none", FontName = "default";
  std::uint32_t FontStyle = 0;
  TDummyPanel* Buddy = nullptr;
  TDummyPanel* parent = nullptr;
  std::vector<TDummyPanel*> children;
  TNotifyEvent OnClick;
  TKeyEvent OnKeyDown;
};

class TDummyBtn : public TDummyPanel {
public:
  explicit TDummyBtn(TComponent* owner) : TDummyPanel(owner) {
    SizeX = 98;
    SizeY = 31;
    FontStyle = 4;
  }
};

// Cannot be nested: neither it nor its bases have a parent link.
class TDummyLabel : public TComponent {
public:
  explicit TDummyLabel(TComponent* owner) : TComponent(owner) { ++live; }
  ~TDummyLabel() override { --live; }
  void Loaded() override { loaded.push_back(GetName()); }
};

class TAbstractThing : public TComponent {
public:
  explicit TAbstractThing(TComponent* owner) : TComponent(owner) {}
  virtual void Draw() = 0;
};

class TDummyScreen : public TComponent {
public:
  TDummyScreen() : TComponent(nullptr) {}
  ~TDummyScreen() override { DestroyComponents(); }  // before the handlers' state goes

  void BtnStartClick(TComponent* sender) { clicks.push_back(sender); }
  void MainKeyDown(TComponent* sender, int key) { keys.emplace_back(sender, key); }

  TDummyPanel* Main = nullptr;
  TDummyBtn* BtnStart = nullptr;
  std::vector<TComponent*> clicks;
  std::vector<std::pair<TComponent*, int>> keys;
};

// The same handlers, no fields: the screen of the malformed forms.
class TBareScreen : public TDummyScreen {};

template <class S>
void RegisterHandlers(platform::component::ScreenBuilder<S> screen) {
  screen
      .template Handler<TNotifyEvent>("BtnStartClick", "TNotifyEvent",
                                      [](S& s) { return [&s](TComponent* c) { s.BtnStartClick(c); }; })
      .template Handler<TKeyEvent>("MainKeyDown", "TKeyEvent",
                                   [](S& s) { return [&s](TComponent* c, int k) { s.MainKeyDown(c, k); }; });
}

const bool registered = [] {
  namespace pc = platform::component;
  pc::RegisterClass<TDummyPanel>("TDummyPanel", "TComponent")
      .Integer("SizeX", [](TDummyPanel& p, int v) { p.SetSize(p.SizeX, v); })
      .Integer("SizeY", [](TDummyPanel& p, int v) { p.SetSize(p.SizeY, v); })
      .Integer("OffsetX", [](TDummyPanel& p, int v) { p.OffsetX = v; })
      .Bool("Visible", [](TDummyPanel& p, bool v) { p.Visible = v; })
      .String("Text", [](TDummyPanel& p, const std::string& v) { p.Text = v; })
      .String("Font.Name", [](TDummyPanel& p, const std::string& v) { p.FontName = v; })
      .Enum("Align", {{"alNone", 0}, {"alTop", 1}, {"alClient", 5}}, [](TDummyPanel& p, int v) { p.Align = v; })
      .Set("Font.Style", {{"fsBold", 0}, {"fsItalic", 1}, {"fsUnderline", 2}},
           [](TDummyPanel& p, std::uint32_t v) { p.FontStyle = v; })
      .Component<TDummyPanel>("Buddy", [](TDummyPanel& p, TDummyPanel* v) { p.Buddy = v; })
      .Event<TNotifyEvent>("OnClick", "TNotifyEvent", [](TDummyPanel& p, TNotifyEvent e) { p.OnClick = e; })
      .Event<TKeyEvent>("OnKeyDown", "TKeyEvent", [](TDummyPanel& p, TKeyEvent e) { p.OnKeyDown = e; })
      .Parent<TDummyPanel>([](TDummyPanel& child, TDummyPanel& parent) {
        child.parent = &parent;
        parent.children.push_back(&child);
      });
  pc::RegisterClass<TDummyBtn>("TDummyBtn", "TDummyPanel");
  pc::RegisterClass<TDummyLabel>("TDummyLabel", "TComponent");
  pc::RegisterClass<TAbstractThing>("TAbstractThing", "TComponent");
  pc::RegisterClass<TDummyBtn>("TOrphan", "TMissing");
  RegisterHandlers(pc::RegisterScreen<TDummyScreen>("TDummyScreen")
                       .Field("Main", &TDummyScreen::Main)
                       .Field("BtnStart", &TDummyScreen::BtnStart));
  RegisterHandlers(pc::RegisterScreen<TBareScreen>("TBareScreen"));
  return true;
}();

TEST(Form, FixtureBuildsTheScreen) {
  loaded.clear();
  {
    TDummyScreen screen;
    std::vector<TComponent*> made = LoadFormResource(screen, "Fixture");
    ASSERT_EQ(made.size(), 5u);
    ASSERT_EQ(screen.GetComponentCount(), 5);
    const char* names[] = {"Main", "Back", "BtnStart", "BtnEnd", "Note"};
    for (size_t i = 0; i < made.size(); ++i) {
      EXPECT_EQ(made[i]->GetName(), names[i]);
      EXPECT_EQ(made[i]->GetOwner(), &screen);
      EXPECT_FALSE(made[i]->IsLoading());
    }
    auto* main = dynamic_cast<TDummyPanel*>(made[0]);
    auto* back = dynamic_cast<TDummyPanel*>(made[1]);
    auto* start = dynamic_cast<TDummyBtn*>(made[2]);
    auto* end = dynamic_cast<TDummyBtn*>(made[3]);
    ASSERT_TRUE(main && back && start && end);

    // Written properties applied while loading; absent ones keep the constructor's values.
    EXPECT_EQ(main->SizeX, 640);
    EXPECT_EQ(main->SizeY, 300);
    EXPECT_TRUE(main->loadingSeen);
    EXPECT_EQ(main->GetTag(), -7);
    EXPECT_EQ(end->SizeX, 98);
    EXPECT_EQ(end->SizeY, 31);
    EXPECT_EQ(end->FontStyle, 0u);  // an empty set written is applied
    EXPECT_EQ(end->Text, "none");
    EXPECT_FALSE(back->Visible);
    EXPECT_EQ(back->Align, 5);
    EXPECT_EQ(back->Buddy, start);
    EXPECT_EQ(start->OffsetX, 444);
    EXPECT_EQ(start->Text, platform::text::Utf8ToCp932("スタート \"#1\" \\"));
    EXPECT_EQ(start->FontName, "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e");  // CP932
    EXPECT_EQ(start->FontStyle, 5u);

    // Parents in document order; top-level objects have none.
    EXPECT_EQ(main->children, (std::vector<TDummyPanel*>{back, start, end}));
    EXPECT_EQ(start->parent, main);
    EXPECT_EQ(main->parent, nullptr);

    // Loaded in document order, after events were bound; then the fields.
    EXPECT_EQ(loaded, (std::vector<std::string>{"Main", "Back", "BtnStart", "BtnEnd", "Note"}));
    EXPECT_TRUE(start->eventsBoundAtLoaded);
    EXPECT_EQ(screen.Main, main);
    EXPECT_EQ(screen.BtnStart, start);

    // Events reach the screen's handlers.
    start->OnClick(start);
    end->OnClick(end);
    main->OnKeyDown(main, 13);
    EXPECT_EQ(screen.clicks, (std::vector<TComponent*>{start, end}));
    EXPECT_EQ(screen.keys, (std::vector<std::pair<TComponent*, int>>{{main, 13}}));
    EXPECT_EQ(back->OnClick, nullptr);
  }
  EXPECT_EQ(live, 0);  // the screen destroyed what its form made
}

TEST(Form, ResourcesAreFoundByNameWithOrWithoutExtension) {
  TDummyScreen screen;
  EXPECT_EQ(LoadFormResource(screen, "fixture.FORM").size(), 5u);
  try {
    LoadFormResource(screen, "Nowhere");
    FAIL();
  } catch (const EFormError& e) {
    EXPECT_STREQ(e.what(), "Nowhere: no such form resource");
  }
}

// A form of the bare screen around one object body.
std::string Bare(const std::string& body) { return "form F : TBareScreen\n  object A : TDummyPanel\n" + body + "  end\nend\n"; }

TEST(Form, MalformedFormsAreRefusedWithNothingCreated) {
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      // Structure
      {"", "bad.form:1: expected 'form <Name> : <ScreenClass>'"},
      {"# only a comment\n\n", "bad.form:2: expected 'form <Name> : <ScreenClass>'"},
      {"object A : TDummyPanel\nend\n", "bad.form:1: expected 'form <Name> : <ScreenClass>'"},
      {"form F TBareScreen\nend\n", "bad.form:1: expected 'form <Name> : <ScreenClass>'"},
      {"form F : TBareScreen\n  object A TDummyPanel\n  end\nend\n", "bad.form:2: expected 'object <Name> : <Class>'"},
      {"form F : TBareScreen\n  object A : TDummyPanel\n  end\n", "bad.form:1: form F has no 'end'"},
      {"form F : TBareScreen\n  object A : TDummyPanel\n    object B : TDummyPanel\n    end\n",
       "bad.form:2: object A has no 'end'"},
      {"form F : TBareScreen\nend\nend\n", "bad.form:3: text after the end of the form"},
      {"form F : TBareScreen\nend x\n", "bad.form:2: unexpected text after 'end'"},
      {"form F : TBareScreen\n  SizeX = 1\nend\n", "bad.form:2: properties belong inside an object"},
      {Bare("    SizeX\n"), "bad.form:3: expected 'object', 'end' or '<Property> = <value>'"},
      {Bare("    SizeX =\n"), "bad.form:3: SizeX: missing value"},
      {Bare("    SizeX = 1;\n"), "bad.form:3: unexpected character ';'"},
      // Values
      {Bare("    SizeX = 12ab\n"), "bad.form:3: bad number"},
      {Bare("    SizeX = -\n"), "bad.form:3: bad number"},
      {Bare("    SizeX = 2147483648\n"), "bad.form:3: integer out of range"},
      {Bare("    SizeX = -2147483649\n"), "bad.form:3: integer out of range"},
      {Bare("    SizeX = 0x100000000\n"), "bad.form:3: integer out of range"},
      {Bare("    SizeX = 99999999999999999999999\n"), "bad.form:3: integer out of range"},
      {Bare("    SizeX = \"640\"\n"), "bad.form:3: SizeX: expected an integer"},
      {Bare("    Visible = yes\n"), "bad.form:3: Visible: expected true or false"},
      {Bare("    Text = \"abc\n"), "bad.form:3: unterminated string"},
      {Bare("    Text = \"a\\n\"\n"), "bad.form:3: unknown escape in string (only \\\" and \\\\)"},
      {Bare("    Text = \"caf\xc3\xa9\"\n"), "bad.form:3: Text: the string has no CP932 form"},
      {Bare("    Text = \"\xff\"\n"), "bad.form:3: Text: the string has no CP932 form"},
      {Bare("    Text = abc\n"), "bad.form:3: Text: expected a string"},
      {Bare("    Align = alMiddle\n"), "bad.form:3: Align: unknown value alMiddle"},
      {Bare("    Align = 5\n"), "bad.form:3: Align: expected one of alNone, alTop, alClient"},
      {Bare("    Font.Style = [fsBold, fsHuge]\n"), "bad.form:3: Font.Style: unknown value fsHuge"},
      {Bare("    Font.Style = [fsBold,]\n"), "bad.form:3: Font.Style: expected a set [fsBold, fsItalic, fsUnderline]"},
      {Bare("    Font.Style = [fsBold fsItalic]\n"), "bad.form:3: Font.Style: expected a set [fsBold, fsItalic, fsUnderline]"},
      {Bare("    Font.Style = fsBold\n"), "bad.form:3: Font.Style: expected a set [fsBold, fsItalic, fsUnderline]"},
      // Names
      {"form F : TNope\nend\n", "bad.form:1: unknown screen class TNope"},
      {"form F : TDummyPanel\nend\n", "bad.form:1: unknown screen class TDummyPanel"},
      {"form F : TBareScreen\n  object A : TNope\n  end\nend\n", "bad.form:2: unknown class TNope"},
      {"form F : TBareScreen\n  object A : TAbstractThing\n  end\nend\n", "bad.form:2: class TAbstractThing cannot be created"},
      {"form F : TBareScreen\n  object A : TOrphan\n  end\nend\n",
       "bad.form:2: class TOrphan: base class TMissing is not registered"},
      {Bare("    Sizex = 1\n"), "bad.form:3: TDummyPanel has no property Sizex"},
      {Bare("    Font = 1\n"), "bad.form:3: TDummyPanel has no property Font"},
      {Bare("    SizeX = 1\n    SizeX = 2\n"), "bad.form:4: SizeX is set twice (first at line 3)"},
      {Bare("    Buddy = Nobody\n"), "bad.form:3: Buddy: unknown component Nobody"},
      {"form F : TBareScreen\n  object A : TDummyPanel\n    Buddy = L\n  end\n  object L : TDummyLabel\n  end\nend\n",
       "bad.form:3: Buddy: L is a TDummyLabel, not a TDummyPanel"},
      {Bare("    OnClick = Nope\n"), "bad.form:3: OnClick: unknown handler Nope"},
      {Bare("    OnClick = MainKeyDown\n"),
       "bad.form:3: OnClick: handler MainKeyDown is a TKeyEvent, OnClick needs a TNotifyEvent"},
      {Bare("    OnClick = \"BtnStartClick\"\n"), "bad.form:3: OnClick: expected a handler name"},
      {"form F : TBareScreen\n  object A : TDummyPanel\n  end\n  object A : TDummyBtn\n  end\nend\n",
       "bad.form:4: duplicate component name A (first at line 2)"},
      {"form F : TBareScreen\n  object Existing : TDummyPanel\n  end\nend\n",
       "bad.form:2: duplicate component name Existing (the screen already has one)"},
      {Bare("    object L : TDummyLabel\n    end\n"), "bad.form:3: L (TDummyLabel) cannot be placed inside A (TDummyPanel)"},
      {"form F : TBareScreen\n  object L : TDummyLabel\n    object A : TDummyPanel\n    end\n  end\nend\n",
       "bad.form:3: A (TDummyPanel) cannot be placed inside L (TDummyLabel)"},
      // Screen fields
      {"form F : TDummyScreen\n  object Main : TDummyPanel\n  end\nend\n",
       "bad.form:1: no component BtnStart for the screen's field of that name"},
      {"form F : TDummyScreen\n  object Main : TDummyPanel\n  end\n  object BtnStart : TDummyPanel\n  end\nend\n",
       "bad.form:4: BtnStart is a TDummyPanel, the screen's field holds a TDummyBtn"},
      // A setter that refuses its value, after the objects were created: they are destroyed again.
      {"form F : TBareScreen\n  object A : TDummyPanel\n  end\n  object B : TDummyPanel\n    SizeX = -1\n  end\nend\n",
       "bad.form:5: SizeX: size must not be negative"},
  };
  for (const Case& c : cases) {
    TBareScreen screen;
    TComponent existing(&screen);
    existing.SetName("Existing");
    loaded.clear();
    try {
      LoadForm(screen, c.text, "bad.form");
      ADD_FAILURE() << "loaded: " << c.text;
    } catch (const EFormError& e) {
      EXPECT_EQ(e.what(), c.error) << c.text;
    }
    EXPECT_EQ(screen.GetComponentCount(), 1) << c.text;
    EXPECT_EQ(live, 0) << c.text;
    EXPECT_TRUE(loaded.empty()) << c.text;
    EXPECT_EQ(screen.Main, nullptr);
  }
}

TEST(Form, ScreenOfAnotherClassIsRefused) {
  TComponent notAScreen(nullptr);
  try {
    LoadForm(notAScreen, "form F : TBareScreen\nend\n", "f.form");
    FAIL();
  } catch (const EFormError& e) {
    EXPECT_EQ(e.File(), "f.form");
    EXPECT_EQ(e.Line(), 1);
    EXPECT_EQ(e.Message(), "the screen is not a TBareScreen");
  }
}

TEST(Form, ValuesAtTheirLimits) {
  TBareScreen screen;
  const std::string text =
      "form F : TBareScreen\r\n"
      "  object A : TDummyPanel\r\n"
      "    OffsetX = -2147483648\r\n"
      "    Tag = 0xFFFFFFFF\r\n"
      "    Text = \"\"\r\n"
      "    Font.Style = [ fsItalic , fsItalic ]\r\n"
      "  end\r\n"
      "end";  // no final line break
  std::vector<TComponent*> made = LoadForm(screen, text, "limits.form");
  auto* a = dynamic_cast<TDummyPanel*>(made.at(0));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->OffsetX, INT32_MIN);
  EXPECT_EQ(a->GetTag(), -1);
  EXPECT_EQ(a->Text, "");
  EXPECT_EQ(a->FontStyle, 2u);
}

}  // namespace
