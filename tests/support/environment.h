// Environment variables set for one test; the old values come back when it ends.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

class Environment {
public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // A null value removes the variable.
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
      if (it->had)
        setenv(it->name.c_str(), it->value.c_str(), 1);
      else
        unsetenv(it->name.c_str());
  }

private:
  struct Saved {
    std::string name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};
