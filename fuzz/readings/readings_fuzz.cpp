// One command-line word as the tracer and the capture tool read it: as readings, and as a mode
// digit. The input up to its first NUL is the word (the command line cannot hold a NUL).
#include "fuzz/fuzz_check.h"
#include "tools/readings/readings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string word(reinterpret_cast<const char*>(data), size);
    word.resize(word.find('\0') == std::string::npos ? word.size() : word.find('\0'));

    // Readings go after those an earlier word gave.
    std::vector<long long> readings{42};
    std::string error;
    if (!parse_readings(word, readings, &error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(readings == std::vector<long long>{42});
    } else {
        FUZZ_CHECK(readings.size() >= 2 && readings[0] == 42);
        for (std::size_t i = 1; i < readings.size(); ++i) {
            FUZZ_CHECK(readings[i] >= 0 && readings[i] <= max_reading_ms);
        }
        const auto colon = word.find(':');
        if (colon == std::string::npos) {
            FUZZ_CHECK(readings.size() == 2);
            FUZZ_CHECK(std::to_string(readings[1]).size() <= word.size());
        } else {
            // A range: evenly spaced and rising, from its first number to no further than its
            // last, and the next step would pass the last.
            const auto second = word.find(':', colon + 1);
            const long long from = std::stoll(word.substr(0, colon));
            const long long step = std::stoll(word.substr(colon + 1, second - colon - 1));
            const long long to = std::stoll(word.substr(second + 1));
            FUZZ_CHECK(readings[1] == from);
            for (std::size_t i = 2; i < readings.size(); ++i) {
                FUZZ_CHECK(readings[i] - readings[i - 1] == step);
            }
            FUZZ_CHECK(readings.back() <= to && readings.back() + step > to);
        }
    }

    DisplayMode mode{0, 0, false};
    const bool is_digit = word.size() == 1 && word[0] >= '1' && word[0] <= '8';
    error.clear();
    FUZZ_CHECK(parse_mode_digit(word, &mode, &error) == is_digit);
    FUZZ_CHECK(is_digit ? mode.width > 0 && mode.height > 0 : !error.empty());
    return 0;
}
