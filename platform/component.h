// The small component model of the application framework, and the class registry that form resources are loaded
// through (platform/form.h).
//
// Components: every TComponent may have an owner. The owner keeps its owned components in creation order and
// destroys them (last created first) when it is destroyed; a component destroyed first leaves its owner. Whenever
// a component leaves its owner, the owner and every component it still owns hear of it through Notification(), so
// that references between siblings can be cleared. FreeNotification() asks for the same message about a component
// of another owner.
//
// Registry: the classes that forms may name register themselves here, by name, with their base class, a factory
// taking the owner, their published properties and their events. A class inherits the properties, events and
// parent link of its base classes (looked up by walking the base names). The C++ classes must mirror the
// registered chain: a property registered on T is applied to objects of T or of a class derived from T.
//
//   RegisterClass<TZoRGBBtn>("TZoRGBBtn", "TZoRGBPanel")
//       .Integer("OffsetX", &TZoRGBBtn::SetOffsetX)
//       .String("Text", [](TZoRGBBtn& b, const std::string& cp932) { b.SetText(cp932); })
//       .Enum("Align", {{"alNone", 0}, {"alClient", 5}}, &TZoRGBBtn::SetAlign)
//       .Set("Font.Style", {{"fsBold", 0}, {"fsItalic", 1}}, &TZoRGBBtn::SetFontStyle)   // bit numbers
//       .Event<TNotifyEvent>("OnClick", "TNotifyEvent", [](TZoRGBBtn& b, TNotifyEvent e) { b.OnClick = e; })
//       .Parent<TZoRGBPanel>([](TZoRGBBtn& b, TZoRGBPanel& p) { p.AddChild(&b); });
//
// Screens (the root objects of forms, which own what their form creates) register the handlers their forms may
// name, and the fields that receive the created components:
//
//   RegisterScreen<TTitleMenu>("TTitleMenu")
//       .Handler<TNotifyEvent>("BtnStartClick", "TNotifyEvent",
//                              [](TTitleMenu& s) { return TNotifyEvent(&s, &TTitleMenu::BtnStartClick); })
//       .Field("BtnStart", &TTitleMenu::BtnStart);
//
// Registration happens once per name, before the first form that needs it is loaded (from a library's
// registration function or a static initialiser); registering a name twice throws std::logic_error. Names of
// classes, properties, events, handlers and components are compared exactly (case matters).
#pragma once

#include <any>
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

namespace Classes {

enum TOperation { opInsert, opRemove };

class TComponent {
public:
  // Joins the owner's components (last) when there is one.
  explicit TComponent(TComponent* owner);
  // Destroys the owned components (last created first), then leaves the owner.
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const { return owner_; }
  int GetComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* GetComponent(int index) const;  // throws std::out_of_range
  TComponent* FindComponent(std::string_view name) const;  // an owned component by name; null when none

  // The name (CP932). Names of components of one owner are unique, except that any number may be empty; a
  // name taken by a sibling throws std::invalid_argument.
  const std::string& GetName() const { return name_; }
  void SetName(const std::string& name);

  int GetTag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // Takes a component (without an owner) into this owner, or lets one go (the owner and its components are told).
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Destroys every owned component now (last created first); for owners that must do so before their own
  // members go away.
  void DestroyComponents();

  // Asks to be told (through Notification) when `component` is destroyed, wherever it is owned. Both ways.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // True while a form loader creates the component and sets its properties; cleared just before Loaded().
  bool IsLoading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  bool IsDestroying() const { return destroying_; }

  // Called once after a form loader has set every property, linked parents and bound events.
  virtual void Loaded() {}

protected:
  // `component` joined (opInsert) or left (opRemove) this owner or is being destroyed. The default passes the
  // message on to every owned component; overrides clear their references and call it.
  virtual void Notification(TComponent* component, TOperation operation);

private:
  void Remove(TComponent* component);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  std::string name_;
  int tag_ = 0;
  bool loading_ = false;
  bool destroying_ = false;
};

// The framework's plain event: a handler told which component sent it.
using TNotifyEvent = std::function<void(TComponent* sender)>;

}  // namespace Classes

namespace platform::component {

using Classes::TComponent;

// Identifier → value, for enum properties (the value) and set properties (the bit number, 0–31).
using NameTable = std::vector<std::pair<std::string, int>>;

enum class PropertyKind { Integer, Bool, String, Enum, Set, Component };

// What the loader hands a property's setter; which member counts depends on the kind.
struct Value {
  int number = 0;               // Integer, Bool (0/1), Enum (the value), Set (the bits, as uint32_t)
  std::string text;             // String, already CP932
  TComponent* component = nullptr;  // Component
};

struct PropertyInfo {
  std::string name;  // may be dotted for nested properties: "Font.Height"
  PropertyKind kind = PropertyKind::Integer;
  NameTable names;                    // Enum, Set
  std::type_index target = typeid(TComponent);  // Component: the class the referenced component must be
  std::function<void(TComponent&, const Value&)> set;
};

struct EventInfo {
  std::string name;
  std::string kind;        // the event kind's name, for messages
  std::type_index type = typeid(void);  // the kind itself: the C++ type of the handler value
  std::function<void(TComponent&, std::any&&)> set;
};

struct ClassInfo {
  std::string name;
  std::string base;  // empty for TComponent only
  std::type_index type = typeid(TComponent);
  std::function<TComponent*(TComponent* owner)> create;  // empty for classes that cannot be created
  std::vector<PropertyInfo> properties;
  std::vector<EventInfo> events;
  // Links an object to the object it is nested in; `parentType` is the class the enclosing object must be.
  std::type_index parentType = typeid(void);
  std::function<void(TComponent& child, TComponent& parent)> linkParent;
};

struct HandlerInfo {
  std::string name;
  std::string kind;
  std::type_index type = typeid(void);
  std::function<std::any(TComponent& screen)> make;
};

struct FieldInfo {
  std::string component;
  std::type_index type = typeid(TComponent);
  std::function<void(TComponent& screen, TComponent* component)> fill;
};

struct ScreenInfo {
  std::string name;
  std::function<bool(const TComponent&)> isA;
  std::vector<HandlerInfo> handlers;
  std::vector<FieldInfo> fields;
};

// ---- Lookups (for the form loader) -------------------------------------------------------------------------

const ClassInfo* FindClass(std::string_view name);
const ClassInfo* FindClassByType(std::type_index type);  // the first class registered with that C++ type
const ScreenInfo* FindScreen(std::string_view name);

// Walk the base chain of `cls`. A base that is not registered ends the walk (it makes the class unusable: see
// CheckChain).
const PropertyInfo* FindProperty(const ClassInfo& cls, std::string_view name);
const EventInfo* FindEvent(const ClassInfo& cls, std::string_view name);
const ClassInfo* FindParentLink(const ClassInfo& cls);  // the nearest class with a parent link
// Whether `cls` is the registered class of `type` or derives from it. TComponent matches every class.
bool InheritsFrom(const ClassInfo& cls, std::type_index type);
// Empty when every base of `cls` up to TComponent is registered; otherwise the name of the missing base.
std::string MissingBase(const ClassInfo& cls);

// ---- Registration --------------------------------------------------------------------------------------------

namespace detail {
ClassInfo& AddClass(ClassInfo info);     // throws std::logic_error on a second registration of the name
ScreenInfo& AddScreen(ScreenInfo info);  // likewise
// Locks the registry for the duration of one builder call.
std::unique_lock<std::recursive_mutex> Lock();

template <class T>
T& As(TComponent& c) {
  T* t = dynamic_cast<T*>(&c);
  if (t == nullptr) throw std::logic_error("registered class chain does not match the C++ classes");
  return *t;
}
}  // namespace detail

template <class T>
class ClassBuilder {
public:
  explicit ClassBuilder(ClassInfo& info) : info_(info) {}

  ClassBuilder& Integer(std::string name, std::function<void(T&, int)> set) {
    return Add(std::move(name), PropertyKind::Integer, {}, [set](TComponent& c, const Value& v) {
      set(detail::As<T>(c), v.number);
    });
  }
  ClassBuilder& Bool(std::string name, std::function<void(T&, bool)> set) {
    return Add(std::move(name), PropertyKind::Bool, {}, [set](TComponent& c, const Value& v) {
      set(detail::As<T>(c), v.number != 0);
    });
  }
  // The setter receives CP932 text.
  ClassBuilder& String(std::string name, std::function<void(T&, const std::string&)> set) {
    return Add(std::move(name), PropertyKind::String, {}, [set](TComponent& c, const Value& v) {
      set(detail::As<T>(c), v.text);
    });
  }
  ClassBuilder& Enum(std::string name, NameTable values, std::function<void(T&, int)> set) {
    return Add(std::move(name), PropertyKind::Enum, std::move(values), [set](TComponent& c, const Value& v) {
      set(detail::As<T>(c), v.number);
    });
  }
  // `bits` maps each identifier to its bit number; the setter receives the union of the bits written.
  ClassBuilder& Set(std::string name, NameTable bits, std::function<void(T&, std::uint32_t)> set) {
    for (const auto& [id, bit] : bits)
      if (bit < 0 || bit > 31) throw std::logic_error("set bit out of range: " + id);
    return Add(std::move(name), PropertyKind::Set, std::move(bits), [set](TComponent& c, const Value& v) {
      set(detail::As<T>(c), static_cast<std::uint32_t>(v.number));
    });
  }
  // A reference, by name, to another component of the same form, which must be a C.
  template <class C>
  ClassBuilder& Component(std::string name, std::function<void(T&, C*)> set) {
    Add(std::move(name), PropertyKind::Component, {}, [set](TComponent& c, const Value& v) {
      set(detail::As<T>(c), &detail::As<C>(*v.component));
    });
    auto lock = detail::Lock();
    info_.properties.back().target = typeid(C);
    return *this;
  }
  // An event of kind E (the C++ type of its handler value; `kind` names it in messages).
  template <class E>
  ClassBuilder& Event(std::string name, std::string kind, std::function<void(T&, E)> set) {
    auto lock = detail::Lock();
    info_.events.push_back({std::move(name), std::move(kind), typeid(E), [set](TComponent& c, std::any&& e) {
                              set(detail::As<T>(c), std::any_cast<E>(std::move(e)));
                            }});
    return *this;
  }
  // How an object of this class is linked to the object it is nested in, which must be a P. Objects of a class
  // without a parent link (its own or a base's) cannot be nested.
  template <class P>
  ClassBuilder& Parent(std::function<void(T&, P&)> link) {
    auto lock = detail::Lock();
    info_.parentType = typeid(P);
    info_.linkParent = [link](TComponent& child, TComponent& parent) {
      link(detail::As<T>(child), detail::As<P>(parent));
    };
    return *this;
  }

private:
  ClassBuilder& Add(std::string name, PropertyKind kind, NameTable names,
                    std::function<void(TComponent&, const Value&)> set) {
    auto lock = detail::Lock();
    info_.properties.push_back({std::move(name), kind, std::move(names), typeid(TComponent), std::move(set)});
    return *this;
  }

  ClassInfo& info_;
};

// Registers class T under `name`, derived from the registered class `base` (which may be registered later).
// Without a factory, T is created with `new T(owner)` when it has such a constructor; otherwise it is a base
// class only and forms cannot name it.
template <class T>
ClassBuilder<T> RegisterClass(std::string name, std::string base,
                              std::function<TComponent*(TComponent* owner)> create = nullptr) {
  static_assert(std::is_base_of_v<TComponent, T>, "registered classes derive from TComponent");
  if (!create) {
    if constexpr (std::is_constructible_v<T, TComponent*> && !std::is_abstract_v<T>)
      create = [](TComponent* owner) -> TComponent* { return new T(owner); };
  }
  ClassInfo info;
  info.name = std::move(name);
  info.base = std::move(base);
  info.type = typeid(T);
  info.create = std::move(create);
  return ClassBuilder<T>(detail::AddClass(std::move(info)));
}

template <class S>
class ScreenBuilder {
public:
  explicit ScreenBuilder(ScreenInfo& info) : info_(info) {}

  // A handler that forms may bind to events of kind E; `make` binds it to the screen.
  template <class E>
  ScreenBuilder& Handler(std::string name, std::string kind, std::function<E(S&)> make) {
    auto lock = detail::Lock();
    info_.handlers.push_back({std::move(name), std::move(kind), typeid(E), [make](TComponent& screen) {
                                return std::any(make(detail::As<S>(screen)));
                              }});
    return *this;
  }
  // A member handler of the screen for events of kind E that does nothing (and gives R()) while the screen's
  // IsOpen() is false: panels fire events while the screen builds them and while it is being destroyed.
  template <class E, class R, class... A>
  ScreenBuilder& OpenHandler(std::string name, std::string kind, R (S::*handler)(A...)) {
    return Handler<E>(std::move(name), std::move(kind), [handler](S& screen) {
      return E([&screen, handler](A... args) -> R {
        if (!screen.IsOpen()) return R();
        return (screen.*handler)(args...);
      });
    });
  }
  // A field that receives the form's component of that name after loading. The form must have it, and it must
  // be a C (or derive from it); otherwise the form does not load.
  template <class C>
  ScreenBuilder& Field(std::string component, C* S::*field) {
    auto lock = detail::Lock();
    info_.fields.push_back({std::move(component), typeid(C), [field](TComponent& screen, TComponent* c) {
                              detail::As<S>(screen).*field = &detail::As<C>(*c);
                            }});
    return *this;
  }
  // The same for element `index` of an array of component pointers (rows of a list).
  template <class C, std::size_t N>
  ScreenBuilder& Field(std::string component, std::array<C*, N> S::*field, std::size_t index) {
    auto lock = detail::Lock();
    info_.fields.push_back({std::move(component), typeid(C), [field, index](TComponent& screen, TComponent* c) {
                              (detail::As<S>(screen).*field).at(index) = &detail::As<C>(*c);
                            }});
    return *this;
  }

private:
  ScreenInfo& info_;
};

template <class S>
ScreenBuilder<S> RegisterScreen(std::string name) {
  static_assert(std::is_base_of_v<TComponent, S>, "screens derive from TComponent");
  ScreenInfo info;
  info.name = std::move(name);
  info.isA = [](const TComponent& c) { return dynamic_cast<const S*>(&c) != nullptr; };
  return ScreenBuilder<S>(detail::AddScreen(std::move(info)));
}

}  // namespace platform::component
