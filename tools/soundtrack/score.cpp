#include "tools/soundtrack/score.h"

#include <cstddef>
#include <string_view>

namespace synth {

namespace {

constexpr int sixteenths_per_bar = 8;
constexpr long long frames_per_sixteenth = soundtrack_frames_per_beat / 4;

// "G", "F#", "Bb": a letter from A to G and an optional sharp or flat, read from `text` at `i`
// (moved past it). The pitch class may fall outside 0 to 11 (-1 for Cb, 12 for B#); false when
// no letter stands at `i`.
bool parse_pitch_class(std::string_view text, std::size_t& i, int* pitch_class) {
    static constexpr int letter_class[7] = {9, 11, 0, 2, 4, 5, 7}; // A to G
    if (i >= text.size() || text[i] < 'A' || text[i] > 'G') {
        return false;
    }
    *pitch_class = letter_class[text[i] - 'A'];
    ++i;
    if (i < text.size() && (text[i] == '#' || text[i] == 'b')) {
        *pitch_class += text[i] == '#' ? 1 : -1;
        ++i;
    }
    return true;
}

// "D5e", "F#4s", "Bb4q", "re": a letter, an optional sharp or flat and an octave (or "r" for a
// rest), then the length: s = sixteenth, e = eighth, q = quarter, d = dotted quarter, h = half.
// Bars are separated by '|' and must each hold two beats. Appends to `notes`; false if malformed.
bool parse_melody(std::string_view text, int first_bar, std::vector<Note>& notes) {
    int bar = first_bar;
    int position = 0;
    std::size_t i = 0;
    while (i <= text.size()) {
        if (i == text.size() || text[i] == '|') {
            if (position != sixteenths_per_bar) {
                return false;
            }
            ++bar;
            position = 0;
            ++i;
            continue;
        }
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        int pitch = 0;
        if (text[i] == 'r') {
            ++i;
        } else {
            int pitch_class = 0;
            if (!parse_pitch_class(text, i, &pitch_class)) {
                return false;
            }
            if (i >= text.size() || text[i] < '0' || text[i] > '9') {
                return false;
            }
            pitch = 12 * (text[i] - '0' + 1) + pitch_class;
            ++i;
        }
        if (i >= text.size()) {
            return false;
        }
        const std::string_view lengths = "seqdh";
        static constexpr int sixteenths[5] = {1, 2, 4, 6, 8};
        const std::size_t kind = lengths.find(text[i]);
        if (kind == std::string_view::npos) {
            return false;
        }
        ++i;
        const int length = sixteenths[kind];
        if (pitch != 0) {
            notes.push_back({bar * sixteenths_per_bar + position, length, pitch});
        }
        position += length;
    }
    return true;
}

// "G G D7 D7": one chord per bar. Appends to `chords`; false if malformed.
bool parse_chords(std::string_view text, std::vector<Chord>& chords) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        int pitch_class = 0;
        if (!parse_pitch_class(text, i, &pitch_class)) {
            return false;
        }
        Chord chord{(pitch_class + 12) % 12, false};
        if (i < text.size() && text[i] == '7') {
            chord.seventh = true;
            ++i;
        }
        chords.push_back(chord);
    }
    return true;
}

bool in_chord(const Chord& chord, int pitch) {
    const int interval = ((pitch - chord.root) % 12 + 12) % 12;
    return interval == 0 || interval == 4 || interval == 7 || (chord.seventh && interval == 10);
}

// The harmony under a melody note: the highest chord tone at least a minor third below it.
int harmony_pitch(const Chord& chord, int pitch) {
    int below = pitch - 3;
    while (!in_chord(chord, below)) {
        --below;
    }
    return below;
}

constexpr std::string_view strain_a_opening = "D5e B4s C5s D5e G5e | F#5s G5s A5s G5s D5e B4e |"
                                              "C5e A4s B4s C5e F#5e | E5s F#5s G5s F#5s C5e A4e";
constexpr std::string_view strain_a_first_close =
    "A4e F#4s G4s A4e D5e | C5s D5s C5s B4s A4e F#4e | G4e B4e D5e G5e | G5e D5e G4e re";
constexpr std::string_view strain_a_second_close =
    "A4e C5e F#5e A5e | G5s F#5s E5s D5s C5e A4e | B4e G4e D5s C5s B4s A4s | G4e re D5s E5s F5s "
    "D5s";
constexpr std::string_view strain_b_opening = "E5q E5e F5e | G5q E5q | F5q D5e B4e | G4q B4e D5e";
constexpr std::string_view strain_b_first_close =
    "F5q F5e G5e | A5e G5e F5e D5e | E5q G5e E5e | C5q re D5e";
constexpr std::string_view strain_b_second =
    "E5q E5e F5e | G5e E5e C5e Bb4e | A4q C5e F5e | A5q G5s F5s E5s D5s |"
    "C5e E5e G5e C6e | B5s A5s G5s F5s D5e B4e | C5e E5e G4e C5e | F#5e E5s D5s C5e A4e";
constexpr std::string_view chord_text = "G G D7 D7 D7 D7 G G  G G D7 D7 D7 D7 G G7 "
                                        "C C G7 G7 G7 G7 C C  C C7 F F C G7 C D7";

// Louder on the beat, a little softer off it, the first beat of a bar leaning in.
double note_velocity(int start) {
    if (start % sixteenths_per_bar == 0) {
        return 1.0;
    }
    if (start % 4 == 0) {
        return 0.93;
    }
    if (start % 2 == 0) {
        return 0.86;
    }
    return 0.8;
}

} // namespace

bool build_score(Score& score) {
    return parse_melody(strain_a_opening, 0, score.strain_a) &&
           parse_melody(strain_a_first_close, 4, score.strain_a) &&
           parse_melody(strain_a_opening, 8, score.strain_a) &&
           parse_melody(strain_a_second_close, 12, score.strain_a) &&
           parse_melody(strain_b_opening, 16, score.strain_b) &&
           parse_melody(strain_b_first_close, 20, score.strain_b) &&
           parse_melody(strain_b_second, 24, score.strain_b) &&
           parse_chords(chord_text, score.chords) &&
           score.chords.size() == static_cast<std::size_t>(soundtrack_bars);
}

void render_melody(Mix& mix, const Tables& tables, const Score& score) {
    const Register musette{
        &tables.musette,
        {{0.0, 0.0, 0.2, 0.66}, {0.0, -13.0, -0.05, 0.5}, {0.0, 12.0, 0.45, 0.5}},
        0.012,
        0.05,
        0.35,
        0.04};
    const Register clarinet{&tables.clarinet,
                            {{0.0, -3.0, 0.1, 0.7}, {0.0, 4.0, 0.35, 0.42}, {-1.0, 0.0, 0.2, 0.35}},
                            0.02,
                            0.09,
                            0.2,
                            0.06};
    const Register harmony{&tables.clarinet,
                           {{0.0, -5.0, -0.25, 0.36}, {0.0, 6.0, -0.05, 0.22}},
                           0.02,
                           0.09,
                           0.15,
                           0.06};
    for (const Note& note : score.strain_a) {
        // Detached, each note pushed out by the bellows, as a dance tune wants.
        const long long gate = note.length * frames_per_sixteenth * 7 / 10;
        add_reed_note(mix, musette, note.start * frames_per_sixteenth, gate, note.pitch,
                      note_velocity(note.start));
    }
    for (const Note& note : score.strain_b) {
        const long long gate = note.length * frames_per_sixteenth * 9 / 10;
        const double velocity = note_velocity(note.start);
        add_reed_note(mix, clarinet, note.start * frames_per_sixteenth, gate, note.pitch, velocity);
        const Chord& chord =
            score.chords[static_cast<std::size_t>(note.start / sixteenths_per_bar)];
        add_reed_note(mix, harmony, note.start * frames_per_sixteenth, gate,
                      harmony_pitch(chord, note.pitch), velocity);
    }
}

void render_accompaniment(Mix& mix, const Tables& tables, const Score& score) {
    const Register left_hand{
        &tables.chord, {{0.0, -4.0, -0.45, 0.5}, {0.0, 5.0, -0.15, 0.5}}, 0.006, 0.045, 0.5, 0.03};
    for (int bar = 0; bar < soundtrack_bars; ++bar) {
        const Chord& chord = score.chords[static_cast<std::size_t>(bar)];
        const long long bar_start = static_cast<long long>(bar) * 2 * soundtrack_frames_per_beat;
        // Roots from F2 to E3; the second beat takes the fifth a fourth below.
        const int root = 41 + (chord.root + 12 - 5) % 12;
        const long long oom = soundtrack_frames_per_beat * 55 / 100;
        add_tuba_note(mix, tables, bar_start, oom, root, 0.62);
        add_tuba_note(mix, tables, bar_start + soundtrack_frames_per_beat, oom, root - 5, 0.55);
        // Close voicing of every chord tone between G3 and F#4.
        std::vector<int> voicing;
        for (int pitch = 55; pitch < 67; ++pitch) {
            if (in_chord(chord, pitch)) {
                voicing.push_back(pitch);
            }
        }
        const double per_note = 0.3 / static_cast<double>(voicing.size());
        for (int beat = 0; beat < 2; ++beat) {
            const long long pah =
                bar_start + beat * soundtrack_frames_per_beat + soundtrack_frames_per_beat / 2;
            for (int pitch : voicing) {
                add_reed_note(mix, left_hand, pah, soundtrack_frames_per_beat * 22 / 100, pitch,
                              per_note * (beat == 0 ? 1.0 : 0.9));
            }
        }
    }
}

void render_drums(Mix& mix) {
    std::uint32_t noise = 0x2545F491u;
    for (int bar = 0; bar < soundtrack_bars; ++bar) {
        const long long bar_start = static_cast<long long>(bar) * 2 * soundtrack_frames_per_beat;
        add_kick(mix, bar_start, 0.5);
        add_kick(mix, bar_start + soundtrack_frames_per_beat, 0.4);
        add_snare(mix, bar_start + soundtrack_frames_per_beat / 2, 0.16, noise);
        add_snare(mix, bar_start + 3 * soundtrack_frames_per_beat / 2, 0.14, noise);
        for (int sixteenth = 0; sixteenth < sixteenths_per_bar; ++sixteenth) {
            const double level = sixteenth % 2 == 0 ? 0.05 : 0.03;
            add_hat(mix, bar_start + sixteenth * frames_per_sixteenth, level, noise);
        }
        // A small roll into each strain's second half and back to the top.
        if (bar % 8 == 7) {
            for (int sixteenth = 5; sixteenth < sixteenths_per_bar; ++sixteenth) {
                add_snare(mix, bar_start + sixteenth * frames_per_sixteenth,
                          0.06 + 0.025 * (sixteenth - 5), noise);
            }
        }
    }
}

} // namespace synth
