// Frames of the show drawn at a list of clock readings, as the show loop would draw them.
#pragma once

#include "scenes/drift_state.h"
#include "timeline/display_mode.h"

#include <cstddef>
#include <functional>
#include <span>

// Called after frame `index` of a run has been drawn; returning false ends the run there.
using AfterFrame = std::function<bool(std::size_t index)>;

// Draws the frame of every reading (whole milliseconds) in order, one `drift` carried from each
// frame into the next. Returns how many frames were drawn.
std::size_t draw_readings(std::span<const long long> readings, const DisplayMode& mode,
                          DriftState& drift, const AfterFrame& after = {});
