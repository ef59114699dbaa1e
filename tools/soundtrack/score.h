// The soundtrack's score and its arrangement. The tunes are written as text (a note or rest with
// its length, bars between '|') and parsed into notes; the arrangement hands them to the voices:
// the melody with a harmony in thirds in the trio, oom-pah underneath and a light kit.
#pragma once

#include "tools/soundtrack/voices.h"

#include <vector>

namespace synth {

struct Note {
    int start;  // in sixteenths from the top of the loop
    int length; // in sixteenths
    int pitch;  // MIDI number, 0 for a rest
};

struct Chord {
    int root;     // pitch class, C = 0
    bool seventh; // dominant seventh
};

struct Score {
    std::vector<Note> strain_a; // bars 0 to 15
    std::vector<Note> strain_b; // bars 16 to 31
    std::vector<Chord> chords;  // one per bar
};

// The polka's score, parsed from its text; false if any of it is malformed.
bool build_score(Score& score);

// The melody: strain A on the bright reeds, strain B on the mellow ones with a harmony voice.
void render_melody(Mix& mix, const Tables& tables, const Score& score);
// Oom-pah: the tuba on each beat (root, then the fifth below), the chord on each off-beat.
void render_accompaniment(Mix& mix, const Tables& tables, const Score& score);
// Kick on the beats, snare on the off-beats, hi-hat on every sixteenth, rolls into the strains.
void render_drums(Mix& mix);

} // namespace synth
