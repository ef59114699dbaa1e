// 8-bit RGB PNG files, as the capture writes them (tests/lib/pixel_match.h reads them back).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `rgb` (width * height * 3 bytes, top row first) to `path`, replacing what was there.
// The file is written under a temporary name beside `path` and renamed into place when whole,
// so `path` never holds a partly written image. On failure stores why and returns false.
bool write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
               std::string* error);
