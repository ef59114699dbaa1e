// soundtrack_gen OUTPUT: writes the show's polka as a WAV file.
#include "tools/soundtrack/soundtrack.h"
#include "wav/wav_file.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundtrack_gen OUTPUT.wav\n");
        return 2;
    }
    const std::vector<std::int16_t> samples = render_soundtrack();
    if (samples.empty()) {
        std::fprintf(stderr, "soundtrack_gen: the built-in score is malformed\n");
        return 1;
    }
    const std::vector<std::uint8_t> bytes =
        wav_file_bytes(samples, soundtrack_rate, soundtrack_channels);
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "soundtrack_gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
