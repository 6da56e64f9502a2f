#include "platform/component.h"

#include <algorithm>
#include <map>
#include <memory>

namespace Classes {

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Everyone who asked hears of the end first, while this object still has its owner and name.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::GetComponent(int index) const {
  if (index < 0 || index >= GetComponentCount()) throw std::out_of_range("component index out of range");
  return components_[static_cast<size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (c->name_ == name) return c;
  return nullptr;
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (owner_ != nullptr && owner_->FindComponent(name) != nullptr)
    throw std::invalid_argument("a component named " + name + " already exists");
  name_ = name;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component->owner_ == this) return;
  if (component->owner_ != nullptr) throw std::logic_error("component already has an owner");
  if (FindComponent(component->name_) != nullptr)
    throw std::invalid_argument("a component named " + component->name_ + " already exists");
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  Remove(component);
  Notification(component, opRemove);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) delete components_.back();  // each one leaves this owner as it goes
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
    freeNotifies_.push_back(component);
    component->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
  auto& theirs = component->freeNotifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  // A handler may destroy components; walk a snapshot and skip those that have gone.
  std::vector<TComponent*> snapshot = components_;
  for (TComponent* c : snapshot)
    if (c != component && std::find(components_.begin(), components_.end(), c) != components_.end())
      c->Notification(component, operation);
}

void TComponent::Remove(TComponent* component) {
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
  component->owner_ = nullptr;
}

}  // namespace Classes

namespace platform::component {
namespace {

struct Registry {
  std::recursive_mutex lock;
  std::map<std::string, std::unique_ptr<ClassInfo>, std::less<>> classes;
  std::map<std::type_index, ClassInfo*> byType;
  std::map<std::string, std::unique_ptr<ScreenInfo>, std::less<>> screens;
};

Registry& TheRegistry() {
  static Registry* r = [] {
    auto* reg = new Registry;  // never destroyed: static destructors elsewhere may still look things up
    auto info = std::make_unique<ClassInfo>();
    info->name = "TComponent";
    info->type = typeid(TComponent);
    info->create = [](TComponent* owner) { return new TComponent(owner); };
    reg->byType[info->type] = info.get();
    info->properties.push_back({"Tag", PropertyKind::Integer, {}, typeid(TComponent),
                                [](TComponent& c, const Value& v) { c.SetTag(v.number); }});
    reg->classes.emplace(info->name, std::move(info));
    return reg;
  }();
  return *r;
}

// The class and its bases, nearest first; stops at a base that is not registered (and at a cycle).
template <class F>
auto WalkChain(const ClassInfo& cls, F visit) -> decltype(visit(cls)) {
  Registry& r = TheRegistry();
  const ClassInfo* c = &cls;
  for (size_t depth = 0; c != nullptr && depth <= r.classes.size(); ++depth) {
    if (auto found = visit(*c)) return found;
    if (c->base.empty()) break;
    c = FindClass(c->base);
  }
  return {};
}

}  // namespace

namespace detail {

std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(TheRegistry().lock); }

ClassInfo& AddClass(ClassInfo info) {
  Registry& r = TheRegistry();
  auto lock = Lock();
  if (r.classes.count(info.name) != 0) throw std::logic_error("class registered twice: " + info.name);
  if (info.base.empty()) throw std::logic_error("class without a base: " + info.name);
  auto stored = std::make_unique<ClassInfo>(std::move(info));
  ClassInfo& ref = *stored;
  r.byType.emplace(ref.type, &ref);  // the first name registered for a C++ type stands for it
  r.classes.emplace(ref.name, std::move(stored));
  return ref;
}

ScreenInfo& AddScreen(ScreenInfo info) {
  Registry& r = TheRegistry();
  auto lock = Lock();
  if (r.screens.count(info.name) != 0) throw std::logic_error("screen registered twice: " + info.name);
  auto stored = std::make_unique<ScreenInfo>(std::move(info));
  ScreenInfo& ref = *stored;
  r.screens.emplace(ref.name, std::move(stored));
  return ref;
}

}  // namespace detail

const ClassInfo* FindClass(std::string_view name) {
  Registry& r = TheRegistry();
  auto lock = detail::Lock();
  auto it = r.classes.find(name);
  return it == r.classes.end() ? nullptr : it->second.get();
}

const ClassInfo* FindClassByType(std::type_index type) {
  Registry& r = TheRegistry();
  auto lock = detail::Lock();
  auto it = r.byType.find(type);
  return it == r.byType.end() ? nullptr : it->second;
}

const ScreenInfo* FindScreen(std::string_view name) {
  Registry& r = TheRegistry();
  auto lock = detail::Lock();
  auto it = r.screens.find(name);
  return it == r.screens.end() ? nullptr : it->second.get();
}

const PropertyInfo* FindProperty(const ClassInfo& cls, std::string_view name) {
  return WalkChain(cls, [name](const ClassInfo& c) -> const PropertyInfo* {
    for (const PropertyInfo& p : c.properties)
      if (p.name == name) return &p;
    return nullptr;
  });
}

const EventInfo* FindEvent(const ClassInfo& cls, std::string_view name) {
  return WalkChain(cls, [name](const ClassInfo& c) -> const EventInfo* {
    for (const EventInfo& e : c.events)
      if (e.name == name) return &e;
    return nullptr;
  });
}

const ClassInfo* FindParentLink(const ClassInfo& cls) {
  return WalkChain(cls, [](const ClassInfo& c) -> const ClassInfo* { return c.linkParent ? &c : nullptr; });
}

bool InheritsFrom(const ClassInfo& cls, std::type_index type) {
  if (type == typeid(TComponent)) return true;
  return WalkChain(cls, [type](const ClassInfo& c) { return c.type == type; });
}

std::string MissingBase(const ClassInfo& cls) {
  Registry& r = TheRegistry();
  const ClassInfo* c = &cls;
  for (size_t depth = 0; depth <= r.classes.size(); ++depth) {
    if (c->base.empty()) return {};
    const ClassInfo* base = FindClass(c->base);
    if (base == nullptr) return c->base;
    c = base;
  }
  return c->name;  // a cycle of bases never reaches TComponent
}

}  // namespace platform::component
