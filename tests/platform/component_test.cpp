#include "platform/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Classes::opInsert;
using Classes::opRemove;
using Classes::TComponent;
using Classes::TOperation;

namespace {

std::vector<std::string> destroyed;

// Records its destruction and keeps a reference to another component that it must drop when that one goes.
class TProbe : public TComponent {
public:
  TProbe(TComponent* owner, std::string name) : TComponent(owner) { SetName(name); }
  ~TProbe() override { destroyed.push_back(GetName()); }

  TComponent* ref = nullptr;
  std::vector<std::pair<std::string, TOperation>> heard;

protected:
  void Notification(TComponent* component, TOperation operation) override {
    heard.emplace_back(component->GetName(), operation);
    if (operation == opRemove && component == ref) ref = nullptr;
    TComponent::Notification(component, operation);
  }
};

TEST(Component, OwnerDestroysWhatItOwnsLastCreatedFirst) {
  destroyed.clear();
  auto* owner = new TProbe(nullptr, "Owner");
  auto* a = new TProbe(owner, "A");
  new TProbe(a, "A1");  // owned in turn
  new TProbe(owner, "B");
  ASSERT_EQ(owner->GetComponentCount(), 2);
  EXPECT_EQ(owner->GetComponent(0), a);
  EXPECT_EQ(owner->FindComponent("B")->GetName(), "B");
  EXPECT_EQ(owner->FindComponent("A1"), nullptr);  // only its own components
  EXPECT_THROW(owner->GetComponent(2), std::out_of_range);
  delete owner;
  EXPECT_EQ(destroyed, (std::vector<std::string>{"Owner", "B", "A", "A1"}));
}

TEST(Component, ComponentDestroyedFirstLeavesItsOwnerAndSiblingsHear) {
  TProbe owner(nullptr, "Owner");
  auto* a = new TProbe(&owner, "A");
  auto* b = new TProbe(&owner, "B");
  auto* c = new TProbe(&owner, "C");
  c->ref = a;
  delete a;
  ASSERT_EQ(owner.GetComponentCount(), 2);
  EXPECT_EQ(owner.GetComponent(0), b);
  EXPECT_EQ(c->ref, nullptr);
  EXPECT_EQ(owner.heard.back(), (std::pair<std::string, TOperation>{"A", opRemove}));
  EXPECT_EQ(b->heard.back(), (std::pair<std::string, TOperation>{"A", opRemove}));
  EXPECT_EQ(b->heard.front().second, opInsert);  // C joined after B (unnamed as yet)
}

TEST(Component, FreeNotificationReachesAcrossOwners) {
  TProbe one(nullptr, "One");
  TProbe two(nullptr, "Two");
  auto* target = new TProbe(&one, "Target");
  auto* watcher = new TProbe(&two, "Watcher");
  watcher->ref = target;
  watcher->FreeNotification(target);
  delete target;
  EXPECT_EQ(watcher->ref, nullptr);
  // And the other way: a watcher that goes first is forgotten by what it watched.
  auto* target2 = new TProbe(&one, "Target2");
  auto* watcher2 = new TProbe(&two, "Watcher2");
  watcher2->FreeNotification(target2);
  delete watcher2;
  delete target2;  // must not reach the freed watcher
}

TEST(Component, NamesAreUniqueWithinTheOwner) {
  TComponent owner(nullptr);
  TComponent a(&owner), b(&owner), c(&owner);  // empty names may repeat
  a.SetName("A");
  EXPECT_THROW(b.SetName("A"), std::invalid_argument);
  b.SetName("B");
  a.SetName("A");  // its own name again is no clash
  EXPECT_EQ(owner.FindComponent(""), nullptr);
  TComponent loose(nullptr);
  loose.SetName("A");
  EXPECT_THROW(owner.InsertComponent(&loose), std::invalid_argument);
  EXPECT_EQ(loose.GetOwner(), nullptr);
}

TEST(Component, RemoveAndInsertMoveAComponentBetweenOwners) {
  TComponent one(nullptr), two(nullptr);
  TComponent* c = new TComponent(&one);
  one.RemoveComponent(c);
  EXPECT_EQ(c->GetOwner(), nullptr);
  EXPECT_EQ(one.GetComponentCount(), 0);
  two.InsertComponent(c);
  EXPECT_EQ(c->GetOwner(), &two);
  EXPECT_THROW(one.InsertComponent(c), std::logic_error);
}  // two destroys c

// ---- Registry ----------------------------------------------------------------------------------------------------

class TBaseThing : public TComponent {
public:
  using TComponent::TComponent;
  int size = 0;
};
class TDerivedThing : public TBaseThing {
public:
  using TBaseThing::TBaseThing;
  bool on = false;
};

const bool registered = [] {
  namespace pc = platform::component;
  pc::RegisterClass<TBaseThing>("TRegBase", "TComponent").Integer("Size", [](TBaseThing& t, int v) { t.size = v; });
  pc::RegisterClass<TDerivedThing>("TRegDerived", "TRegBase").Bool("On", [](TDerivedThing& t, bool v) { t.on = v; });
  pc::RegisterClass<TDerivedThing>("TRegDangling", "TRegNowhere");
  return true;
}();

TEST(ComponentRegistry, DerivedClassesInheritPropertiesAndTag) {
  namespace pc = platform::component;
  const pc::ClassInfo* derived = pc::FindClass("TRegDerived");
  ASSERT_NE(derived, nullptr);
  const pc::PropertyInfo* size = pc::FindProperty(*derived, "Size");
  const pc::PropertyInfo* tag = pc::FindProperty(*derived, "Tag");
  ASSERT_NE(size, nullptr);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(pc::FindProperty(*pc::FindClass("TRegBase"), "On"), nullptr);  // not upwards

  TComponent owner(nullptr);
  TComponent* made = derived->create(&owner);
  ASSERT_NE(dynamic_cast<TDerivedThing*>(made), nullptr);
  EXPECT_EQ(made->GetOwner(), &owner);
  pc::Value v;
  v.number = 33;
  size->set(*made, v);
  tag->set(*made, v);
  EXPECT_EQ(static_cast<TDerivedThing*>(made)->size, 33);
  EXPECT_EQ(made->GetTag(), 33);

  // A setter applied to an object that is not of its class is a programming error, not a crash.
  TComponent plain(nullptr);
  EXPECT_THROW(size->set(plain, v), std::logic_error);
}

TEST(ComponentRegistry, ChainsAndTypes) {
  namespace pc = platform::component;
  const pc::ClassInfo* derived = pc::FindClass("TRegDerived");
  EXPECT_TRUE(pc::InheritsFrom(*derived, typeid(TBaseThing)));
  EXPECT_TRUE(pc::InheritsFrom(*derived, typeid(TComponent)));
  EXPECT_FALSE(pc::InheritsFrom(*pc::FindClass("TRegBase"), typeid(TDerivedThing)));
  EXPECT_EQ(pc::FindClassByType(typeid(TDerivedThing))->name, "TRegDerived");  // the first name of the type
  EXPECT_EQ(pc::MissingBase(*derived), "");
  EXPECT_EQ(pc::MissingBase(*pc::FindClass("TRegDangling")), "TRegNowhere");
  EXPECT_THROW(pc::RegisterClass<TBaseThing>("TRegBase", "TComponent"), std::logic_error);
}

}  // namespace
