// Looking up panels of the game window's tree by name (the names the form resources give), and the components the
// game thread made.
#pragma once

#include <string>

#include "graphics/zorgbpanel.h"
#include "platform/component.h"

// The panel of that name at or under `p`, first in depth order; null when none.
inline TZoRGBPanel* FindPanel(TZoRGBPanel* p, const std::string& name) {
  if (p == nullptr) return nullptr;
  if (p->GetName() == name) return p;
  for (int i = 0; i < p->GetChildCount(); ++i)
    if (TZoRGBPanel* found = FindPanel(p->GetChild(i), name)) return found;
  return nullptr;
}

// The first component of `owner` of class T (a screen or unit the game thread made with the window as owner); null
// when none.
template <class T>
T* FindComponent(const Classes::TComponent& owner) {
  for (int i = 0; i < owner.GetComponentCount(); ++i)
    if (T* c = dynamic_cast<T*>(owner.GetComponent(i))) return c;
  return nullptr;
}
