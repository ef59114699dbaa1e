// wav_samples IN.wav: the 16-bit PCM samples of a WAV file on standard output, for encoders that
// take raw samples (the web build pipes them to ffmpeg). First one line of text, "RATE CHANNELS",
// then the interleaved little-endian samples, whole sample frames only.
//
// Exit status 0 when written, 3 (with the reason on stderr) for a file that is not a WAV or holds
// samples of another format, 1 when the file cannot be read or the samples not written, 2 for
// bad arguments.
#include "wav/wav_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wav_samples IN.wav\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "wav_samples: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    std::string why;
    const std::optional<WavPcm16> pcm = wav_pcm16(file, &why);
    if (!pcm) {
        std::fprintf(stderr, "wav_samples: %s: %s\n", argv[1], why.c_str());
        return 3;
    }
    std::printf("%d %d\n", pcm->rate, pcm->channels);
    if (std::fwrite(pcm->samples.data(), 1, pcm->samples.size(), stdout) != pcm->samples.size() ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "wav_samples: cannot write the samples\n");
        return 1;
    }
    return 0;
}
