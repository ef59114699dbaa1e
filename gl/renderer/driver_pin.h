// What the test build does to the driver once a renderer is open in its context. Release programs
// do nothing here (driver_pin_none.cpp); the sanitized test build keeps the driver loaded to the
// end (driver_pin_kept.cpp), so that its leaks stay laid to it by name. CMake picks the unit.
#pragma once

// Called with the driver loaded: after a context is made and before anything is drawn.
void driver_pin_after_open();
