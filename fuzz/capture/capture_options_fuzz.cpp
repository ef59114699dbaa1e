// dadadazo-capture's whole command line: the input, split at its NUL bytes, is the words after
// the program's name. Whatever they are, the parser must refuse them with a reason or give
// options the capture can run with.
#include "fuzz/fuzz_check.h"
#include "tools/capture/capture_options.h"
#include "tools/readings/readings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool is_reading(long long value) {
    return value >= 0 && value <= max_reading_ms;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"dadadazo-capture"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < 64) {
        words.push_back(word);
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    argv.push_back(nullptr);

    CaptureOptions options{};
    std::string error;
    const ParseOutcome outcome =
        parse_capture_options(static_cast<int>(words.size()), argv.data(), &options, &error);
    FUZZ_CHECK(capture_usage() != nullptr);
    if (outcome == ParseOutcome::bad) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    if (outcome == ParseOutcome::help) {
        return 0;
    }
    FUZZ_CHECK(options.mode.width > 0 && options.mode.height > 0);
    FUZZ_CHECK(!options.output.empty());
    FUZZ_CHECK(options.at.empty() != (options.fps == 0));
    for (const long long reading : options.at) {
        FUZZ_CHECK(is_reading(reading));
    }
    if (options.fps == 0) {
        FUZZ_CHECK(options.output_kind == OutputKind::png_folder);
        FUZZ_CHECK(options.from_ms == 0 && options.to_ms == -1);
    } else {
        FUZZ_CHECK(options.fps >= 1 && options.fps <= 240);
        FUZZ_CHECK(is_reading(options.from_ms));
        FUZZ_CHECK(options.to_ms == -1 ||
                   (is_reading(options.to_ms) && options.to_ms > options.from_ms));
    }
    return 0;
}
