// The show from start-up to its end: the entry function and the main loop.
#pragma once

#include "platform/platform.h"
#include "timeline/display_mode.h"

// Reads the options in `command_line` (see app/options.h), registers the window class, asks for
// the mode, opens the window and runs the show. Returns the process exit status: 2 with one line
// on stderr for a bad option, before any menu or window; 0 after --help, which prints the usage.
// `previous_instance` is accepted and ignored.
int run_demo(void* instance, void* previous_instance, const char* command_line, int show_state);

// Starts the music and the scene clock and draws frames until a quit request (its code is
// returned) or until the clock passes 61 seconds (0 is returned).
int run_show_loop(PlatformWindow* window, const DisplayMode& mode);
