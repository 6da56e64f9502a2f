// The program's game thread wiring: the units and screens of the music game and the adventure behind the game
// thread's interfaces (shell/commont.h, shell/gamet.h), each made with the game window as owner.
#pragma once

#include <functional>

#include "shell/gamet.h"

// The units and screens the program has.
TGameUnits MakeGameUnits();
TFrontScreens MakeFrontScreens();

// Hands both to the game threads the program makes (SetGameWiring); the program calls it before the game starts.
// `onTitleShown` runs once on the game thread, when the first title screen has faded in and waits for the player.
void WireGame(std::function<void()> onTitleShown = {});
