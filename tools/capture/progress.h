// A capture's progress on stderr: frames done of total, frames per second and time left, on one
// rewritten line on a terminal, otherwise a line every few seconds.
#pragma once

#include <chrono>

class Progress {
  public:
    Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // Ends the rewritten line, where one was shown.
    ~Progress();

    void show(long long done, long long total);

  private:
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    bool terminal_;
    bool shown_ = false;
};
