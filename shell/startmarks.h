// Start-up marks: named moments of the program's start (the window opened, the fonts made, the title built...),
// for measuring where the start's time goes. The program sets a sink only when asked to (see shell/main.cpp);
// without one a mark does nothing. Marks come from the main thread and the game thread.
#pragma once

using TStartMarkSink = void (*)(const char* phase);

// Before any thread that marks has started; null: no marks.
void SetStartMarkSink(TStartMarkSink sink);
void MarkStart(const char* phase);
