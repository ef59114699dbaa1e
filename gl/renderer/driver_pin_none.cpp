#include "gl/renderer/driver_pin.h"

void driver_pin_after_open() {}
