// What a capture changes about the process while it draws, undone when it ends: Ctrl-C and
// SIGTERM end it cleanly at the next frame, and stdout, where draw_frame writes a time line per
// frame, points at /dev/null.
#pragma once

class QuietRun {
  public:
    QuietRun();
    QuietRun(const QuietRun&) = delete;
    QuietRun& operator=(const QuietRun&) = delete;
    ~QuietRun();

    // Whether SIGINT or SIGTERM has come since the run began.
    bool interrupted() const;

  private:
    int saved_stdout_;
};
