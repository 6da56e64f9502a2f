// A question for the user with OK and Cancel: SDL's message box where a display exists (see
// platform::msgbox::DisplayAvailable), otherwise the question and the answer taken without asking are written to
// standard error. Main thread only when a box is shown. Tests install a sink that answers.
#pragma once

#include <functional>

#include "platform/msgbox.h"

namespace platform::askbox {

// True for OK. `unattended` is the answer when nobody can be asked (no display, or the box cannot be shown).
bool Ask(const msgbox::Message& question, bool unattended);

// Replaces who answers (an empty function restores the box); returns the previous sink.
using Sink = std::function<bool(const msgbox::Message&)>;
Sink SetSink(Sink sink);

}  // namespace platform::askbox
