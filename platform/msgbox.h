// Message boxes for the user: an error, a warning or a note with a caption. When a display exists (the
// environment names one: SDL_VIDEODRIVER other than "dummy" or "offscreen", DISPLAY or WAYLAND_DISPLAY) the box
// is SDL's simple message box; otherwise, or when SDL cannot show it, the message goes to standard error as
// "caption: text". Tests install a sink and never see a box.
#pragma once

#include <functional>
#include <string>

namespace platform::msgbox {

enum class Kind { kError, kWarning, kInformation };

struct Message {
  Kind kind = Kind::kError;
  std::string caption;  // UTF-8
  std::string text;     // UTF-8
};

// Shows the message and returns when the user has closed it (at once when it went to standard error).
void Show(const Message& message);

// Whether the environment names a display that SDL can show a box on.
bool DisplayAvailable();

// Replaces where messages go (an empty function restores the box or standard error); returns the previous sink.
using Sink = std::function<void(const Message&)>;
Sink SetSink(Sink sink);

}  // namespace platform::msgbox
