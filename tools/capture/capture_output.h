// Where a capture's frames go: a folder of PNGs, ffmpeg, or a Y4M stream (a file or standard
// output). A capture that does not complete leaves nothing under the output's name.
#pragma once

#include "tools/capture/capture_options.h"
#include "tools/capture/frame_writer.h"
#include "tools/capture/video_pipe.h"

#include <string>
#include <vector>

class CaptureOutput {
  public:
    CaptureOutput() = default;
    CaptureOutput(const CaptureOutput&) = delete;
    CaptureOutput& operator=(const CaptureOutput&) = delete;
    // Unless committed: stops ffmpeg and takes away every file and folder the capture made.
    ~CaptureOutput();

    // Claims the output's name before anything is drawn: makes the folder, or a hidden partial
    // file beside the output that becomes it when the capture completes.
    bool claim(const CaptureOptions& options, std::string* error);

    // Starts the encoder or writes the Y4M header. `frames` frames will follow; the first lies
    // `start_s` seconds into the show; PNGs get `names`.
    bool start(long long frames, double start_s, std::vector<std::string> names,
               std::string* error);

    // Writes one frame (RGBA as OpenGL reads it back), converting it first; called on the writer
    // thread.
    bool write(const HandedFrame& frame, std::string* error);

    // Ends the video or stream and gives the output its name.
    bool commit(std::string* error);

    bool with_audio() const { return with_audio_; }

  private:
    bool write_png_frame(const HandedFrame& frame, std::string* error);

    CaptureOptions options_{};
    bool with_audio_ = false;
    bool committed_ = false;
    std::vector<std::string> names_;
    std::vector<std::string> files_;   // PNGs written so far
    std::vector<std::string> folders_; // folders made for them
    std::string partial_;              // the video or Y4M file until it is complete
    int stream_ = -1;                  // the Y4M file or standard output
    VideoPipe pipe_{-1, -1, -1};
    std::vector<std::uint8_t> scratch_; // a frame converted on the writer thread
};
