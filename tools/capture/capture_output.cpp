#include "tools/capture/capture_output.h"

#include "png/png_file.h"
#include "tools/capture/fd_write.h"
#include "tools/capture/frame_colour.h"
#include "tools/capture/y4m_stream.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Makes `path` and any missing folders above it; remembers what it made so that a failed
// capture can take it away again.
bool make_folder(const std::string& path, std::vector<std::string>& made, std::string* error) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    struct stat info {};
    if (stat(trimmed.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            *error = "cannot write " + path + ": it exists and is not a folder";
            return false;
        }
        if (access(trimmed.c_str(), W_OK | X_OK) != 0) {
            *error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const auto slash = trimmed.rfind('/');
    if (slash != std::string::npos && slash > 0 &&
        !make_folder(trimmed.substr(0, slash), made, error)) {
        return false;
    }
    if (mkdir(trimmed.c_str(), 0777) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    made.push_back(trimmed);
    return true;
}

} // namespace

bool CaptureOutput::claim(const CaptureOptions& options, std::string* error) {
    options_ = options;
    if (options.output_kind == OutputKind::png_folder) {
        return make_folder(options.output, folders_, error);
    }
    if (writes_to_stdout(options)) {
        stream_ = fcntl(1, F_DUPFD_CLOEXEC, 3);
        if (stream_ < 0) {
            *error = std::string("cannot write to standard output: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    struct stat info {};
    if (stat(options.output.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "cannot write " + options.output + ": it is a folder";
        return false;
    }
    const auto slash = options.output.rfind('/');
    const std::string name =
        slash == std::string::npos ? options.output : options.output.substr(slash + 1);
    const std::string partial =
        join(folder_of(options.output), "." + name + "." + std::to_string(getpid()) + ".partial");
    const int file = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        *error = "cannot write " + options.output + ": " + std::strerror(errno);
        return false;
    }
    partial_ = partial;
    if (options.output_kind == OutputKind::y4m) {
        stream_ = file;
    } else {
        close(file); // ffmpeg writes it
    }
    return true;
}

bool CaptureOutput::start(long long frames, double start_s, std::vector<std::string> names,
                          std::string* error) {
    names_ = std::move(names);
    const int width = options_.mode.width;
    const int height = options_.mode.height;
    if (stream_ >= 0) {
        // A reader that goes away must show up as a failed write, not end the capture.
        std::signal(SIGPIPE, SIG_IGN);
        const std::string header = y4m_header(width, height, options_.fps, options_.chroma);
        if (!write_all(stream_, reinterpret_cast<const std::uint8_t*>(header.data()),
                       header.size())) {
            *error = "cannot write " + options_.output + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    if (options_.output_kind == OutputKind::png_folder) {
        return true;
    }
    with_audio_ = access("tarmelipolkka.wav", R_OK) == 0;
    const VideoSettings settings{width,          height,
                                 options_.fps,   frames,
                                 start_s,        with_audio_ ? "tarmelipolkka.wav" : "",
                                 partial_,       options_.output_kind,
                                 options_.chroma};
    switch (start_video(settings, &pipe_, error)) {
    case VideoStart::started:
        return true;
    case VideoStart::ffmpeg_missing:
        *error = "ffmpeg not found, so " + options_.output +
                 " cannot be made; install ffmpeg, or give a folder name (-o frames) for "
                 "numbered PNGs instead";
        return false;
    case VideoStart::failed:
        return false;
    }
    return false;
}

bool CaptureOutput::write_png_frame(const HandedFrame& frame, std::string* error) {
    rgba_to_rgb_rows(frame.pixels.data(), options_.mode.width, options_.mode.height, scratch_);
    const std::string path = join(options_.output, names_.at(frame.index));
    if (!write_png(path, options_.mode.width, options_.mode.height, scratch_, error)) {
        return false;
    }
    files_.push_back(path);
    return true;
}

bool CaptureOutput::write(const HandedFrame& frame, std::string* error) {
    if (options_.output_kind == OutputKind::png_folder) {
        return write_png_frame(frame, error);
    }
    const int width = options_.mode.width;
    const int height = options_.mode.height;
    scratch_.resize(planar_frame_bytes(width, height, options_.chroma));
    rgba_to_planar(frame.pixels.data(), width, height, options_.chroma, scratch_.data());
    if (stream_ >= 0) {
        if (!write_y4m_frame(stream_, scratch_)) {
            const int why = errno;
            const std::string where =
                writes_to_stdout(options_) ? "standard output" : options_.output;
            *error = why == EPIPE ? where + " was closed before the last frame"
                                  : "cannot write " + where + ": " + std::strerror(why);
            return false;
        }
        return true;
    }
    if (!write_video_frame(pipe_, scratch_.data(), scratch_.size())) {
        finish_video(&pipe_, error);
        if (error->empty()) {
            *error = "ffmpeg stopped taking frames";
        }
        return false;
    }
    return true;
}

bool CaptureOutput::commit(std::string* error) {
    if (options_.output_kind == OutputKind::png_folder) {
        committed_ = true;
        return true;
    }
    if (stream_ >= 0) {
        const int stream = stream_;
        stream_ = -1;
        if (close(stream) != 0) {
            *error = "cannot write " + options_.output + ": " + std::strerror(errno);
            return false;
        }
    } else if (!finish_video(&pipe_, error)) {
        return false;
    }
    if (!partial_.empty() && std::rename(partial_.c_str(), options_.output.c_str()) != 0) {
        *error = "cannot write " + options_.output + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

CaptureOutput::~CaptureOutput() {
    if (stream_ >= 0) {
        close(stream_);
    }
    if (pipe_.pid > 0) {
        abort_video(&pipe_);
    } else if (pipe_.log >= 0) {
        close(pipe_.log);
    }
    if (committed_) {
        return;
    }
    for (const std::string& file : files_) {
        std::remove(file.c_str());
    }
    if (!partial_.empty()) {
        std::remove(partial_.c_str());
    }
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
        rmdir(folder->c_str());
    }
}
