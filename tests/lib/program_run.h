// A program run as a user runs it, for the tests of the tools: one shell command line in, its
// exit status and everything it wrote out.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    int status;      // the exit status; -1 when a signal ended it or it could not be started
    std::string out; // all it wrote to stdout
    std::string err; // and to stderr

    // `out` split into lines, without their line ends.
    std::vector<std::string> out_lines() const;
};

// Runs `command` through /bin/sh, in `folder` unless that is empty, and waits for it. Its stdout
// and stderr go to files of their own (never a pipe, so a large output cannot stall it), which
// are gone again once read.
ProgramRun run_program(const std::string& command, const std::string& folder = "");

// Takes DISPLAY out of this process's environment, and so out of every program it starts: the
// tools draw offscreen, and their tests show that they need no X server to do it.
void forget_display();
