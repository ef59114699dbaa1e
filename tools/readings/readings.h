// Command-line words shared by the offline tools: clock readings and the display mode digit.
#pragma once

#include "timeline/display_mode.h"

#include <string>
#include <vector>

// The latest clock reading the tools draw, in milliseconds; the earliest is 0.
constexpr long long max_reading_ms = 100000;

// The range of a reading as the tools' messages write it: "0 to " and max_reading_ms.
std::string reading_range_text();

// Appends the readings one word names: a whole number of milliseconds from 0 to max_reading_ms, or
// a range "A:S:B" meaning A, A+S, A+2S, ... up to B inclusive when reached (S > 0, A <= B). On a
// malformed word stores why and returns false, leaving `readings` as it was.
bool parse_readings(const std::string& word, std::vector<long long>& readings, std::string* error);

// "1" to "8": the mode that menu digit picks. Anything else is refused.
bool parse_mode_digit(const std::string& word, DisplayMode* mode, std::string* error);
