#include "tools/readings/readings.h"

namespace {

// A plain run of decimal digits within 0..max_reading_ms; no sign, blank or exponent.
bool parse_number(const std::string& text, long long* value) {
    if (text.empty() || text.size() > 6) {
        return false;
    }
    long long result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + (c - '0');
    }
    if (result > max_reading_ms) {
        return false;
    }
    *value = result;
    return true;
}

} // namespace

std::string reading_range_text() {
    return "0 to " + std::to_string(max_reading_ms);
}

bool parse_readings(const std::string& word, std::vector<long long>& readings, std::string* error) {
    const std::string range_help = " (a reading is " + reading_range_text() + " ms, or A:S:B)";
    const auto first_colon = word.find(':');
    if (first_colon == std::string::npos) {
        long long value = 0;
        if (!parse_number(word, &value)) {
            *error = "bad reading \"" + word + "\"" + range_help;
            return false;
        }
        readings.push_back(value);
        return true;
    }
    const auto second_colon = word.find(':', first_colon + 1);
    if (second_colon == std::string::npos ||
        word.find(':', second_colon + 1) != std::string::npos) {
        *error = "bad range \"" + word + "\"" + range_help;
        return false;
    }
    long long from = 0, step = 0, to = 0;
    if (!parse_number(word.substr(0, first_colon), &from) ||
        !parse_number(word.substr(first_colon + 1, second_colon - first_colon - 1), &step) ||
        !parse_number(word.substr(second_colon + 1), &to)) {
        *error = "bad range \"" + word + "\"" + range_help;
        return false;
    }
    if (step == 0) {
        *error = "bad range \"" + word + "\": the step must be at least 1";
        return false;
    }
    if (to < from) {
        *error = "bad range \"" + word + "\": it runs backwards";
        return false;
    }
    for (long long reading = from; reading <= to; reading += step) {
        readings.push_back(reading);
    }
    return true;
}

bool parse_mode_digit(const std::string& word, DisplayMode* mode, std::string* error) {
    if (word.size() != 1 || word[0] < '1' || word[0] > '8') {
        *error = "bad mode \"" + word + "\" (a menu digit from 1 to 8)";
        return false;
    }
    *mode = mode_for_key(word[0]);
    return true;
}
