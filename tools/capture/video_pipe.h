// Encoding frames into a video file with ffmpeg: planar YUV frames (BT.709, limited range) go
// down a pipe into its stdin, and the stream is tagged with that colour space so that players
// show the colours as drawn.
#pragma once

#include "tools/capture/capture_options.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct VideoSettings {
    int width;
    int height;
    int fps;
    long long frames;        // frames that will be sent
    double audio_start_s;    // where in the looped soundtrack the first frame lies
    std::string audio_path;  // soundtrack to loop under the picture; empty for none
    std::string output_path; // file ffmpeg writes (the container is named, not guessed)
    OutputKind kind;         // mp4, mkv or webm
    Chroma chroma;           // what the frames sent hold, and what the video keeps
};

struct VideoPipe {
    pid_t pid;
    int input; // write end of ffmpeg's stdin
    int log;   // ffmpeg's stderr, kept in an unlinked temporary file
};

enum class VideoStart { started, ffmpeg_missing, failed };

// The ffmpeg command line for `settings`, program name first.
std::vector<std::string> ffmpeg_arguments(const VideoSettings& settings);

// Starts ffmpeg (found on PATH). On anything but `started` stores why in `error`.
VideoStart start_video(const VideoSettings& settings, VideoPipe* pipe, std::string* error);

// Sends one planar frame (see frame_colour.h). False when ffmpeg stopped taking input;
// `finish_video` then tells why.
bool write_video_frame(const VideoPipe& pipe, const std::uint8_t* planar, std::size_t size);

// Closes the input and waits for ffmpeg. False, with ffmpeg's own last words, when it failed.
bool finish_video(VideoPipe* pipe, std::string* error);

// Stops ffmpeg without waiting for it to finish the file.
void abort_video(VideoPipe* pipe);
