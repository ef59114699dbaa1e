// 8-bit RGB PNG files: the capture writes them, the tests read them back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `rgb` (width * height * 3 bytes, top row first) to `path`, replacing what was there.
// The file is written under a temporary name beside `path` and renamed into place when whole,
// so `path` never holds a partly written image. On failure stores why and returns false.
bool write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
               std::string* error);

// Reads a PNG of any colour type and bit depth as 8-bit RGB (alpha dropped, grey expanded).
bool read_png(const std::string& path, int* width, int* height, std::vector<std::uint8_t>& rgb,
              std::string* error);
