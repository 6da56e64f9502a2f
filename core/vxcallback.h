// Bound member-function callbacks: a small value that binds one object to one of its member functions.
//
//   VXBaseCallback1<bool, int> cb = VXCallback1<Dialog, bool, int>(&dialog, &Dialog::Answer);
//   if (cb.IsValid()) cb.Invoke(1);
//
// Two callbacks compare equal when they bind the same object and the same member function.
#pragma once

#include <cstring>
#include <stdexcept>

namespace vx_detail {

template <class R, class... A>
class BaseCallback {
public:
  BaseCallback() = default;

  bool IsValid() const { return thunk_ != nullptr; }
  void Clear() { *this = BaseCallback(); }

  R Invoke(A... args) const {
    if (thunk_ == nullptr) throw std::logic_error("Invalid Callback");
    return thunk_(object_, member_, static_cast<A>(args)...);
  }

  friend bool operator==(const BaseCallback& a, const BaseCallback& b) {
    return a.thunk_ == b.thunk_ && a.object_ == b.object_ && std::memcmp(a.member_, b.member_, kMemberSize) == 0;
  }

protected:
  // Room for any member-function pointer (the largest kind is two words).
  static constexpr std::size_t kMemberSize = 2 * sizeof(void*);
  using Thunk = R (*)(void* object, const unsigned char* member, A... args);

  template <class T, class M>
  void Bind(T* object, M member) {
    static_assert(sizeof(M) <= kMemberSize, "member pointer too large");
    object_ = const_cast<void*>(static_cast<const void*>(object));
    std::memcpy(member_, &member, sizeof(M));
    thunk_ = [](void* obj, const unsigned char* stored, A... args) -> R {
      M m;
      std::memcpy(&m, stored, sizeof(M));
      return (static_cast<T*>(obj)->*m)(static_cast<A>(args)...);
    };
  }

private:
  Thunk thunk_ = nullptr;
  void* object_ = nullptr;
  unsigned char member_[kMemberSize] = {};
};

}  // namespace vx_detail

template <class R>
class VXBaseCallback0 : public vx_detail::BaseCallback<R> {};
template <class R, class A>
class VXBaseCallback1 : public vx_detail::BaseCallback<R, A> {};
template <class R, class A1, class A2>
class VXBaseCallback2 : public vx_detail::BaseCallback<R, A1, A2> {};

template <class T, class R>
class VXCallback0 : public VXBaseCallback0<R> {
public:
  VXCallback0(T* object, R (T::*member)()) { this->Bind(object, member); }
  VXCallback0(const T* object, R (T::*member)() const) { this->Bind(object, member); }
};

template <class T, class R, class A>
class VXCallback1 : public VXBaseCallback1<R, A> {
public:
  VXCallback1(T* object, R (T::*member)(A)) { this->Bind(object, member); }
  VXCallback1(const T* object, R (T::*member)(A) const) { this->Bind(object, member); }
};

template <class T, class R, class A1, class A2>
class VXCallback2 : public VXBaseCallback2<R, A1, A2> {
public:
  VXCallback2(T* object, R (T::*member)(A1, A2)) { this->Bind(object, member); }
  VXCallback2(const T* object, R (T::*member)(A1, A2) const) { this->Bind(object, member); }
};
