// Registers the device layer's component classes with the component model, so that form resources can place them
// and load into them: the display (DirectX::TDDraw) and the sound device (DirectX::TDSound) with their published
// properties, and the movie unit (TMovieUnit) as the screen of its form "MovieUnit". The graphics classes are
// registered too. Call before the first form that needs them loads; later calls do nothing.
//
// The input unit (TDInputUnit) is not a component: the game window makes it in code, and no form names it.
#pragma once

void RegisterDeviceClasses();
