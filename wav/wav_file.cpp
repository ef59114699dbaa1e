#include "wav/wav_file.h"

namespace {

void put_u16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put_u32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    put_u16(bytes, value & 0xFFFF);
    put_u16(bytes, value >> 16);
}

void put_tag(std::vector<std::uint8_t>& bytes, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(tag[i]));
    }
}

std::uint32_t get_u16(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8;
}

std::uint32_t get_u32(const std::uint8_t* at) {
    return get_u16(at) | get_u16(at + 2) << 16;
}

std::string_view tag_at(std::span<const std::uint8_t> file, std::size_t at) {
    return {reinterpret_cast<const char*>(file.data() + at), 4};
}

} // namespace

std::vector<std::uint8_t> wav_file_bytes(const std::vector<std::int16_t>& interleaved, int rate,
                                         int channels) {
    const auto data_size = static_cast<std::uint32_t>(interleaved.size() * 2);
    const auto block_align = static_cast<std::uint32_t>(channels * 2);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(44 + data_size);
    put_tag(bytes, "RIFF");
    put_u32(bytes, 36 + data_size);
    put_tag(bytes, "WAVE");
    put_tag(bytes, "fmt ");
    put_u32(bytes, 16);
    put_u16(bytes, 1); // PCM
    put_u16(bytes, static_cast<std::uint32_t>(channels));
    put_u32(bytes, static_cast<std::uint32_t>(rate));
    put_u32(bytes, static_cast<std::uint32_t>(rate) * block_align);
    put_u16(bytes, block_align);
    put_u16(bytes, 16);
    put_tag(bytes, "data");
    put_u32(bytes, data_size);
    for (std::int16_t sample : interleaved) {
        put_u16(bytes, static_cast<std::uint16_t>(sample));
    }
    return bytes;
}

std::optional<WavChunk> wav_chunk_at(std::span<const std::uint8_t> file, std::size_t at) {
    if (at > file.size() || file.size() - at < 8) {
        return std::nullopt;
    }
    WavChunk chunk;
    chunk.name = tag_at(file, at);
    chunk.header = at;
    chunk.claimed = get_u32(file.data() + at + 4);
    const std::size_t held = file.size() - at - 8;
    chunk.body = file.subspan(at + 8, chunk.claimed < held ? chunk.claimed : held);
    return chunk;
}

std::size_t wav_next_chunk(const WavChunk& chunk) {
    return chunk.header + 8 + chunk.claimed + (chunk.claimed & 1u);
}

std::optional<std::vector<WavChunk>> wav_chunks(std::span<const std::uint8_t> file) {
    if (file.size() < 12 || tag_at(file, 0) != "RIFF" || tag_at(file, 8) != "WAVE") {
        return std::nullopt;
    }
    std::vector<WavChunk> chunks;
    for (std::optional<WavChunk> chunk = wav_chunk_at(file, 12); chunk;
         chunk = wav_chunk_at(file, wav_next_chunk(*chunk))) {
        chunks.push_back(*chunk);
    }
    return chunks;
}

std::optional<WavPcm16> wav_pcm16(std::span<const std::uint8_t> file, std::string* why) {
    const std::optional<std::vector<WavChunk>> chunks = wav_chunks(file);
    if (!chunks) {
        *why = "not a WAV file";
        return std::nullopt;
    }
    const WavChunk* format = nullptr;
    for (const WavChunk& chunk : *chunks) {
        if (chunk.name == "fmt " && chunk.body.size() >= 16) {
            format = &chunk;
        } else if (chunk.name == "data" && format != nullptr) {
            const std::uint8_t* fields = format->body.data();
            WavPcm16 pcm;
            pcm.channels = static_cast<int>(get_u16(fields + 2));
            const std::uint32_t rate = get_u32(fields + 4);
            if (get_u16(fields) != 1 || get_u16(fields + 14) != 16 || pcm.channels < 1) {
                *why = "only 16-bit PCM is read";
                return std::nullopt;
            }
            if (rate < 1 || rate > 0x7fffffff) {
                *why = "a sample rate of " + std::to_string(rate) + " Hz";
                return std::nullopt;
            }
            pcm.rate = static_cast<int>(rate);
            const std::size_t frame = 2 * static_cast<std::size_t>(pcm.channels);
            pcm.samples = chunk.body.first(chunk.body.size() / frame * frame);
            return pcm;
        }
    }
    *why = "no PCM data";
    return std::nullopt;
}
