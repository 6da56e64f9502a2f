// The registry of live allocations through which the game makes and releases its objects and arrays.
//
// Every allocation made through the templates is recorded with its kind and the code address of its call site;
// a release happens only when the registry holds the pointer with a matching kind; when the registry is destroyed
// it reports what was never released. It owns nothing it records: it never frees by itself.
#pragma once

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxstring.h"
#include "platform/component.h"

struct VXMemPointer {
  enum : std::uint8_t { KindForeign = 0, KindObject = 1, KindArray = 3 };

  std::uint8_t Kind = 0;
  void* Pointer = nullptr;
  std::uintptr_t Caller = 0;  // call site that registered or releases it; 0 when not recorded
  std::uint32_t Size = 0;     // carried to the callbacks only

  // Records are the same record when they point at the same place.
  friend bool operator==(const VXMemPointer& a, const VXMemPointer& b) { return a.Pointer == b.Pointer; }
};

class VXMemMan {
public:
  VXMemMan() = default;
  ~VXMemMan();
  VXMemMan(const VXMemMan&) = delete;
  VXMemMan& operator=(const VXMemMan&) = delete;

  // Every diagnostic, as text. While unbound, no call site is recorded and no message is formatted.
  VXBaseCallback2<void, VXMemMan*, VXString> OnMessage;
  // After each registration.
  VXBaseCallback2<void, VXMemMan*, VXMemPointer> OnAddPointer;
  // For each record still held when the registry is destroyed, newest first.
  VXBaseCallback2<void, VXMemMan*, VXMemPointer> OnNotRelease;

  bool AddPointerList(VXMemPointer record);
  bool DelPointerList(VXMemPointer record);

  // count elements of zero bytes; null (with "AllocErr Call(...)") when the heap refuses or the size overflows.
  template <class T>
  [[gnu::noinline]] T* Alloc(std::size_t count) {
    const std::uintptr_t caller = CallSite(__builtin_return_address(0));
    void* block = nullptr;
    if (count <= SIZE_MAX / sizeof(T) && count * sizeof(T) <= UINT32_MAX)
      block = std::calloc(count == 0 ? 1 : count, sizeof(T));
    if (block == nullptr) {
      Message("AllocErr Call(%08" PRIxPTR ")", caller);
      return nullptr;
    }
    AddPointerList({VXMemPointer::KindArray, block, caller, static_cast<std::uint32_t>(count * sizeof(T))});
    return static_cast<T*>(block);
  }

  template <class T>
  [[gnu::noinline]] void Free(T*& p) {
    const std::uintptr_t caller = CallSite(__builtin_return_address(0));
    if (p == nullptr) return;
    if (!DelPointerList({VXMemPointer::KindArray, const_cast<void*>(static_cast<const void*>(p)), caller,
                         static_cast<std::uint32_t>(sizeof(T))}))
      return;
    std::free(const_cast<void*>(static_cast<const void*>(p)));
    p = nullptr;
  }

  // A T made by its default constructor; constructor exceptions pass through.
  template <class T>
  [[gnu::noinline]] T* Create() {
    const std::uintptr_t caller = CallSite(__builtin_return_address(0));
    T* object = new (std::nothrow) T();
    if (object == nullptr) {
      Message("CreateErr Call(%08" PRIxPTR ")", caller);
      return nullptr;
    }
    AddPointerList({VXMemPointer::KindObject, object, caller, static_cast<std::uint32_t>(sizeof(T))});
    return object;
  }

  // A framework component made with its owner; constructor exceptions pass through.
  template <class T>
  [[gnu::noinline]] T* CreateVCL(Classes::TComponent* owner) {
    const std::uintptr_t caller = CallSite(__builtin_return_address(0));
    T* object = new (std::nothrow) T(owner);
    if (object == nullptr) {
      Message("CreateVCLErr Call(%08" PRIxPTR ")", caller);
      return nullptr;
    }
    AddPointerList({VXMemPointer::KindObject, object, caller, static_cast<std::uint32_t>(sizeof(T))});
    return object;
  }

  template <class T>
  [[gnu::noinline]] void Delete(T*& p) {
    const std::uintptr_t caller = CallSite(__builtin_return_address(0));
    if (p == nullptr) return;
    if (!DelPointerList({VXMemPointer::KindObject, const_cast<void*>(static_cast<const void*>(p)), caller,
                         static_cast<std::uint32_t>(sizeof(T))}))
      return;
    delete p;
    p = nullptr;
  }

  // Registers an object that another factory made, so that Delete can release it.
  template <class T>
  void AddPtr(T* p) {
    if (p != nullptr) AddPointerList({VXMemPointer::KindForeign, const_cast<void*>(static_cast<const void*>(p)), 0, 0});
  }

private:
  // The address of the call instruction that invoked a template, while a message callback is bound.
  std::uintptr_t CallSite(void* returnAddress) const;
  void Message(const char* format, ...) const;

  mutable std::recursive_mutex lock_;
  std::vector<VXMemPointer> list_;
};
