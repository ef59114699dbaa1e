#include "tests/lib/program_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File temporary_file() {
    return File(std::tmpfile(), std::fclose);
}

std::string contents(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    return text;
}

// Starts sh -c `line` with stdout and stderr on the two files; -1 when it cannot start.
pid_t start_shell(const std::string& line, std::FILE* out, std::FILE* err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), 1);
    posix_spawn_file_actions_adddup2(&actions, fileno(err), 2);
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

} // namespace

std::vector<std::string> ProgramRun::out_lines() const {
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

ProgramRun run_program(const std::string& command, const std::string& folder) {
    ProgramRun run{-1, "", ""};
    const File out = temporary_file();
    const File err = temporary_file();
    if (out == nullptr || err == nullptr) {
        run.err = "cannot make a temporary file for the output of: " + command;
        return run;
    }
    const std::string line = folder.empty() ? command : "cd '" + folder + "' && " + command;
    const pid_t pid = start_shell(line, out.get(), err.get());
    if (pid < 0) {
        run.err = "cannot start /bin/sh for: " + command;
        return run;
    }
    int status = 0;
    pid_t waited = -1;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    run.status = waited == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = contents(out.get());
    run.err = contents(err.get());
    return run;
}

void forget_display() {
    unsetenv("DISPLAY");
}
