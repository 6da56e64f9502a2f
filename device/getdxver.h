// Which version of the multimedia layer is present, as major << 8 | minor (0 when none is usable). The game refuses
// to start below 0x800.
//
// The layer here is the program's own (display, input, sound and movies over SDL and FFmpeg), linked in: every
// feature that version 8 brought is always there.
#pragma once

unsigned GetDXVersion();
