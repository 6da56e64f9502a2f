// Registers the graphics library's component classes (bitmaps, alpha planes, panels, buttons, number panels,
// animated panels, parts sheets, text panels with their nested Font.* properties) with the component model, so
// that form resources can name them. Call once before the first form loads; later calls do nothing.
#pragma once

#include "platform/component.h"

void RegisterGraphicsClasses();

// The identifiers of VXBitDepth values in forms (bdNone, bd8 .. bd32), for every class with a BitDepth property.
const platform::component::NameTable& BitDepthNames();
