// The resolution menu shown on the console before any window exists.
#pragma once

#include "timeline/display_mode.h"

// Prints the menu, reads exactly one character from stdin and returns its mode.
DisplayMode choose_mode();
