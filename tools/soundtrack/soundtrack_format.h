// The soundtrack's format and form: its sample rate and channels, its tempo, and the length of
// the loop in whole bars. The mixer and the score measure everything in these frames.
#pragma once

constexpr int soundtrack_rate = 44100;
constexpr int soundtrack_channels = 2;
constexpr int soundtrack_beats_per_minute = 126;
// 21,000 frames: at 126 beats per minute a beat is a whole number of frames, so every note
// starts on an exact frame and the loop length is exact.
constexpr int soundtrack_frames_per_beat = soundtrack_rate * 60 / soundtrack_beats_per_minute;
constexpr int soundtrack_beats_per_bar = 2;
constexpr int soundtrack_bars = 32;
// 1,344,000 frames, 30.476 s: the piece plays twice in the 61-second show.
constexpr int soundtrack_frames =
    soundtrack_frames_per_beat * soundtrack_beats_per_bar * soundtrack_bars;
