// Line lists as vectors of strings, for comparing them in tests.
#pragma once

#include <string>
#include <vector>

#include "core/vxstrlist.h"

inline std::vector<std::string> Lines(const VXStringList& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.GetCount(); ++i) lines.push_back(list.GetString(i).c_str());
  return lines;
}

inline VXStringList List(const std::vector<std::string>& lines) {
  VXStringList list;
  for (const std::string& line : lines) list.Add(line.c_str());
  return list;
}
