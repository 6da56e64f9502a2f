// Looking up panels of the game window's tree by name (the names the form resources give).
#pragma once

#include <string>

#include "graphics/zorgbpanel.h"

// The panel of that name at or under `p`, first in depth order; null when none.
inline TZoRGBPanel* FindPanel(TZoRGBPanel* p, const std::string& name) {
  if (p == nullptr) return nullptr;
  if (p->GetName() == name) return p;
  for (int i = 0; i < p->GetChildCount(); ++i)
    if (TZoRGBPanel* found = FindPanel(p->GetChild(i), name)) return found;
  return nullptr;
}
