// The resolution menu shown on the console before any window exists.
#pragma once

#include "platform/display_mode.h"

// Prints the menu, reads exactly one character from stdin and returns its mode.
DisplayMode choose_mode();

// The mode for one input character (as returned by getchar, EOF included): digits "1" to "8"
// pick a row of the table, everything else gives the 1920 x 1080 windowed fallback.
DisplayMode mode_for_key(int key);
