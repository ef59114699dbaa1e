// A polka in 2/4 for accordion, tuba and a light kit, rendered sample by sample.
//
// Form: strain A in G major, played twice (the second time ending on G7), then a more legato
// trio strain B in C major with a harmony voice in thirds, played twice (the second time turning
// to D7, which leads back to the top). Every voice is added into circular buffers one loop long,
// so whatever rings past the last frame lands at the start; the filters run over the loop twice
// and keep the second pass, so their state at the seam is the state the loop itself leaves.
#include "tools/soundtrack/soundtrack.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

constexpr double pi = 3.141592653589793;
constexpr double rate = soundtrack_rate;
constexpr long long frames = soundtrack_frames;
constexpr int sixteenths_per_bar = 8;
constexpr long long frames_per_sixteenth = soundtrack_frames_per_beat / 4;

// ---- Deterministic arithmetic -------------------------------------------------------------

// sin(x) for |x| up to a few hundred, from a Taylor series on [-pi/2, pi/2] (error below 1e-13).
double sine(double x) {
    const double turns = std::floor(x / (2.0 * pi) + 0.5);
    double r = x - turns * (2.0 * pi);
    if (r > pi / 2.0) {
        r = pi - r;
    } else if (r < -pi / 2.0) {
        r = -pi - r;
    }
    const double r2 = r * r;
    double term = r;
    double sum = r;
    for (int n = 1; n <= 9; ++n) {
        term *= -r2 / static_cast<double>((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

// e^x by halving the argument, a Taylor series and squaring back.
double exponential(double x) {
    int halvings = 0;
    while (x > 0.25 || x < -0.25) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 12; ++n) {
        term *= x / n;
        sum += term;
    }
    for (; halvings > 0; --halvings) {
        sum *= sum;
    }
    return sum;
}

constexpr double ln2 = 0.6931471805599453;

double midi_frequency(double pitch) {
    return 440.0 * exponential((pitch - 69.0) / 12.0 * ln2);
}

double cents_ratio(double cents) {
    return exponential(cents / 1200.0 * ln2);
}

// Per-frame factor of an exponential decay with time constant `seconds`.
double decay_per_frame(double seconds) {
    return exponential(-1.0 / (seconds * rate));
}

double smoothstep(double u) {
    if (u <= 0.0) {
        return 0.0;
    }
    if (u >= 1.0) {
        return 1.0;
    }
    return u * u * (3.0 - 2.0 * u);
}

// xorshift32: the noise of the drums, from a fixed seed.
double next_noise(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state) / 2147483648.0 - 1.0;
}

// ---- Mixing -------------------------------------------------------------------------------

struct Mix {
    std::vector<double> left;
    std::vector<double> right;
};

// Gains for a position from -1 (left) to 1 (right), constant power.
struct Pan {
    double left;
    double right;
};

Pan pan_gains(double position) {
    return {std::sqrt((1.0 - position) * 0.5), std::sqrt((1.0 + position) * 0.5)};
}

void add_frame(Mix& mix, long long frame, double value, Pan pan) {
    const auto index = static_cast<std::size_t>(frame % frames);
    mix.left[index] += value * pan.left;
    mix.right[index] += value * pan.right;
}

// ---- Wavetables ---------------------------------------------------------------------------

constexpr int table_size = 4096;

// One cycle built from sine harmonics, scaled to a peak of 1, with one extra entry for
// interpolation.
struct Wavetable {
    std::vector<double> samples;
};

// Harmonic n has amplitude sin(pi n duty) / n^power (with power 1, a band-limited pulse of that
// duty cycle; duty 0 leaves out the sine factor), softened above `corner` by
// 1 / (1 + (n / corner)^2).
Wavetable pulse_table(double duty, double corner, int harmonics, int power) {
    Wavetable table;
    table.samples.assign(table_size + 1, 0.0);
    for (int n = 1; n <= harmonics; ++n) {
        const double nd = n;
        const double shape = duty > 0.0 ? sine(pi * nd * duty) : 1.0;
        double falloff = 1.0;
        for (int p = 0; p < power; ++p) {
            falloff *= nd;
        }
        const double amplitude = shape / falloff / (1.0 + (nd / corner) * (nd / corner));
        for (int i = 0; i < table_size; ++i) {
            const double phase = 2.0 * pi * nd * i / table_size;
            table.samples[static_cast<std::size_t>(i)] += amplitude * sine(phase);
        }
    }
    double peak = 0.0;
    for (int i = 0; i < table_size; ++i) {
        peak = std::fmax(peak, std::fabs(table.samples[static_cast<std::size_t>(i)]));
    }
    for (int i = 0; i < table_size; ++i) {
        table.samples[static_cast<std::size_t>(i)] /= peak;
    }
    table.samples[table_size] = table.samples[0];
    return table;
}

// `phase` in [0, 1).
double lookup(const Wavetable& table, double phase) {
    const double position = phase * table_size;
    const double whole = std::floor(position);
    const auto index = static_cast<std::size_t>(whole);
    const double fraction = position - whole;
    return table.samples[index] + (table.samples[index + 1] - table.samples[index]) * fraction;
}

struct Tables {
    Wavetable musette;  // the melody's bright reeds (strain A)
    Wavetable clarinet; // the melody's mellow register (strain B)
    Wavetable chord;    // the left hand's chord reeds
    Wavetable tuba_body;
    Wavetable tuba_edge;
};

// ---- Voices -------------------------------------------------------------------------------

// One reed of a register: its tuning against the written pitch, its place and its share.
struct Reed {
    double octave;
    double cents;
    double pan;
    double level;
};

struct Register {
    const Wavetable* table;
    std::vector<Reed> reeds;
    double attack_s;
    double release_s;
    double accent; // extra level at the onset, fading with `accent_s`
    double accent_s;
};

// Adds one held note: every reed from phase 0, a smooth attack, an onset accent, held for
// `gate` frames and released smoothly.
void add_reed_note(Mix& mix, const Register& reg, long long start, long long gate, double pitch,
                   double level) {
    const long long attack = static_cast<long long>(reg.attack_s * rate);
    const long long release = static_cast<long long>(reg.release_s * rate);
    const double accent_decay = decay_per_frame(reg.accent_s);
    // Each reed starts at its own point of the cycle, so the reeds do not all strike in phase.
    double start_phase = 0.0;
    for (const Reed& reed : reg.reeds) {
        start_phase += 0.37;
        if (start_phase >= 1.0) {
            start_phase -= 1.0;
        }
        const double step =
            midi_frequency(pitch + 12.0 * reed.octave) * cents_ratio(reed.cents) / rate;
        const Pan pan = pan_gains(reed.pan);
        double phase = start_phase;
        double accent = reg.accent;
        for (long long i = 0; i < gate + release; ++i) {
            double envelope = smoothstep(static_cast<double>(i) / attack);
            if (i >= gate) {
                envelope *= 1.0 - smoothstep(static_cast<double>(i - gate) / release);
            }
            const double value = lookup(*reg.table, phase) * envelope * (1.0 + accent);
            add_frame(mix, start + i, value * level * reed.level, pan);
            accent *= accent_decay;
            phase += step;
            if (phase >= 1.0) {
                phase -= 1.0;
            }
        }
    }
}

// The tuba's "oom": a round body plus a brassy edge that fades quickly after the onset.
void add_tuba_note(Mix& mix, const Tables& tables, long long start, long long gate, double pitch,
                   double level) {
    const long long attack = static_cast<long long>(0.012 * rate);
    const long long release = static_cast<long long>(0.07 * rate);
    const double step = midi_frequency(pitch) / rate;
    const double edge_decay = decay_per_frame(0.05);
    const double body_decay = decay_per_frame(0.6);
    const Pan pan = pan_gains(-0.12);
    double phase = 0.0;
    double edge = 0.7;
    double body = 1.0;
    for (long long i = 0; i < gate + release; ++i) {
        double envelope = smoothstep(static_cast<double>(i) / attack);
        if (i >= gate) {
            envelope *= 1.0 - smoothstep(static_cast<double>(i - gate) / release);
        }
        const double value =
            lookup(tables.tuba_body, phase) * body + lookup(tables.tuba_edge, phase) * edge;
        add_frame(mix, start + i, value * envelope * level, pan);
        edge *= edge_decay;
        body *= body_decay;
        phase += step;
        if (phase >= 1.0) {
            phase -= 1.0;
        }
    }
}

// A soft kick: a sine falling from about 130 Hz to 48 Hz.
void add_kick(Mix& mix, long long start, double level) {
    const long long length = static_cast<long long>(0.3 * rate);
    const double sweep_decay = decay_per_frame(0.025);
    const double amplitude_decay = decay_per_frame(0.09);
    const Pan pan = pan_gains(0.0);
    double sweep = 1.0;
    double amplitude = 1.0;
    double phase = 0.0;
    for (long long i = 0; i < length; ++i) {
        const double fade = 1.0 - smoothstep(static_cast<double>(i - (length - 2000)) / 2000.0);
        add_frame(mix, start + i, sine(2.0 * pi * phase) * amplitude * fade * level, pan);
        phase += (48.0 + 82.0 * sweep) / rate;
        if (phase >= 1.0) {
            phase -= 1.0;
        }
        sweep *= sweep_decay;
        amplitude *= amplitude_decay;
    }
}

// A brushed snare: band-passed noise over a short low body.
void add_snare(Mix& mix, long long start, double level, std::uint32_t& noise) {
    const long long length = static_cast<long long>(0.22 * rate);
    const long long attack = 60;
    const double noise_decay = decay_per_frame(0.055);
    const double body_decay = decay_per_frame(0.03);
    // Chamberlin state-variable filter around 3 kHz.
    const double tune = 2.0 * sine(pi * 3000.0 / rate);
    const double damping = 1.1;
    const Pan pan = pan_gains(-0.25);
    double low = 0.0;
    double band = 0.0;
    double noise_level = 1.0;
    double body_level = 0.5;
    for (long long i = 0; i < length; ++i) {
        const double input = next_noise(noise);
        const double high = input - low - damping * band;
        band += tune * high;
        low += tune * band;
        const double body = sine(2.0 * pi * 185.0 * static_cast<double>(i) / rate) * body_level;
        const double envelope =
            smoothstep(static_cast<double>(i) / attack) *
            (1.0 - smoothstep(static_cast<double>(i - (length - 1500)) / 1500.0));
        add_frame(mix, start + i, (band * 0.6 * noise_level + body) * envelope * level, pan);
        noise_level *= noise_decay;
        body_level *= body_decay;
    }
}

// A closed hi-hat tick: high-passed noise, very short.
void add_hat(Mix& mix, long long start, double level, std::uint32_t& noise) {
    const long long length = static_cast<long long>(0.09 * rate);
    const long long attack = 40;
    const double decay = decay_per_frame(0.018);
    const double smoothing = 1.0 - exponential(-2.0 * pi * 7000.0 / rate);
    const Pan pan = pan_gains(0.35);
    double low = 0.0;
    double amplitude = 1.0;
    for (long long i = 0; i < length; ++i) {
        const double input = next_noise(noise);
        low += (input - low) * smoothing;
        const double envelope = smoothstep(static_cast<double>(i) / attack) *
                                (1.0 - smoothstep(static_cast<double>(i - (length - 800)) / 800.0));
        add_frame(mix, start + i, (input - low) * amplitude * envelope * level, pan);
        amplitude *= decay;
    }
}

// ---- The score ----------------------------------------------------------------------------

struct Note {
    int start;  // in sixteenths from the top of the loop
    int length; // in sixteenths
    int pitch;  // MIDI number, 0 for a rest
};

struct Chord {
    int root;     // pitch class, C = 0
    bool seventh; // dominant seventh
};

// "D5e", "F#4s", "Bb4q", "re": a letter, an optional sharp or flat and an octave (or "r" for a
// rest), then the length: s = sixteenth, e = eighth, q = quarter, d = dotted quarter, h = half.
// Bars are separated by '|' and must each hold two beats. Appends to `notes`; false if malformed.
bool parse_melody(std::string_view text, int first_bar, std::vector<Note>& notes) {
    static constexpr int letter_class[7] = {9, 11, 0, 2, 4, 5, 7}; // A to G
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
            if (text[i] < 'A' || text[i] > 'G') {
                return false;
            }
            int pitch_class = letter_class[text[i] - 'A'];
            ++i;
            if (i < text.size() && (text[i] == '#' || text[i] == 'b')) {
                pitch_class += text[i] == '#' ? 1 : -1;
                ++i;
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
    static constexpr int letter_class[7] = {9, 11, 0, 2, 4, 5, 7};
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (text[i] < 'A' || text[i] > 'G') {
            return false;
        }
        Chord chord{letter_class[text[i] - 'A'], false};
        ++i;
        if (i < text.size() && (text[i] == '#' || text[i] == 'b')) {
            chord.root = (chord.root + (text[i] == '#' ? 1 : 11)) % 12;
            ++i;
        }
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

struct Score {
    std::vector<Note> strain_a; // bars 0 to 15
    std::vector<Note> strain_b; // bars 16 to 31
    std::vector<Chord> chords;  // one per bar
};

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

// ---- Arrangement --------------------------------------------------------------------------

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

// Oom-pah: the tuba on each beat (root, then the fifth below), the chord on each off-beat.
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

// A few early reflections of a small wooden room, crossed between the sides, no reverb tail.
void add_room(Mix& mix) {
    struct Tap {
        double seconds;
        double gain;
        bool crossed;
    };
    static constexpr Tap left_taps[5] = {{0.0071, 0.2, true},
                                         {0.0137, 0.15, false},
                                         {0.0193, 0.12, true},
                                         {0.0299, 0.09, false},
                                         {0.0413, 0.06, true}};
    static constexpr Tap right_taps[5] = {{0.0083, 0.2, true},
                                          {0.0121, 0.15, false},
                                          {0.0217, 0.12, true},
                                          {0.0271, 0.09, false},
                                          {0.0379, 0.06, true}};
    const auto n = static_cast<std::size_t>(frames);
    Mix wet{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
    for (int t = 0; t < 5; ++t) {
        const auto left_delay = static_cast<std::size_t>(left_taps[t].seconds * rate);
        const auto right_delay = static_cast<std::size_t>(right_taps[t].seconds * rate);
        const std::vector<double>& left_source = left_taps[t].crossed ? mix.right : mix.left;
        const std::vector<double>& right_source = right_taps[t].crossed ? mix.left : mix.right;
        for (std::size_t i = 0; i < n; ++i) {
            wet.left[i] += left_source[(i + n - left_delay) % n] * left_taps[t].gain;
            wet.right[i] += right_source[(i + n - right_delay) % n] * right_taps[t].gain;
        }
    }
    // Walls swallow the highs: a one-pole low-pass at 2.5 kHz, run over the loop twice so the
    // second pass starts from the state the loop's end leaves.
    const double smoothing = 1.0 - exponential(-2.0 * pi * 2500.0 / rate);
    double left_state = 0.0;
    double right_state = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < n; ++i) {
            left_state += (wet.left[i] - left_state) * smoothing;
            right_state += (wet.right[i] - right_state) * smoothing;
            if (pass == 1) {
                mix.left[i] += left_state;
                mix.right[i] += right_state;
            }
        }
    }
}

// Removes any DC offset with a gentle high-pass (about 10 Hz), again over two passes.
void block_dc(std::vector<double>& channel) {
    const double pole = exponential(-2.0 * pi * 10.0 / rate);
    double previous_input = 0.0;
    double previous_output = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        for (double& sample : channel) {
            const double output = sample - previous_input + pole * previous_output;
            previous_input = sample;
            previous_output = output;
            if (pass == 1) {
                sample = output;
            }
        }
    }
}

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

} // namespace

std::vector<std::int16_t> render_soundtrack() {
    Score score;
    if (!build_score(score)) {
        return {};
    }
    const Tables tables{pulse_table(0.3, 14.0, 20, 1), pulse_table(0.46, 7.0, 20, 1),
                        pulse_table(0.36, 9.0, 20, 1), pulse_table(0.0, 3.0, 8, 2),
                        pulse_table(0.4, 12.0, 20, 1)};
    const auto n = static_cast<std::size_t>(frames);
    Mix mix{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
    render_accompaniment(mix, tables, score);
    render_melody(mix, tables, score);
    render_drums(mix);
    add_room(mix);
    block_dc(mix.left);
    block_dc(mix.right);

    // Peak at -1.5 dBFS.
    double peak = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        peak = std::fmax(peak, std::fmax(std::fabs(mix.left[i]), std::fabs(mix.right[i])));
    }
    const double scale = peak > 0.0 ? 0.84 * 32767.0 / peak : 0.0;
    std::vector<std::int16_t> samples(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[2 * i] = static_cast<std::int16_t>(std::floor(mix.left[i] * scale + 0.5));
        samples[2 * i + 1] = static_cast<std::int16_t>(std::floor(mix.right[i] * scale + 0.5));
    }
    return samples;
}

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
