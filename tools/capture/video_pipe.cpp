#include "tools/capture/video_pipe.h"

#include "tools/capture/fd_write.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string seconds_text(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

// The last few lines ffmpeg wrote, for the error message.
std::string log_tail(int log) {
    std::string text;
    if (lseek(log, 0, SEEK_SET) == 0) {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = read(log, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    std::size_t start = text.size();
    for (int lines = 0; lines < 3 && start != std::string::npos && start > 0; ++lines) {
        start = text.rfind('\n', start - 1);
    }
    if (start != std::string::npos && start < text.size() && text[start] == '\n') {
        ++start;
    }
    if (start == std::string::npos) {
        start = 0;
    }
    return text.substr(start);
}

// BT.709 in every part of the colour description, limited range: given for the frames coming in
// (so that nothing is converted) and for the stream going out (so that it says so).
const std::vector<std::string> colour_tags = {"-color_range",     "tv",    "-colorspace", "bt709",
                                              "-color_primaries", "bt709", "-color_trc",  "bt709"};

// The raw frames coming down the pipe.
std::vector<std::string> input_arguments(const VideoSettings& s, const std::string& pixel_format) {
    std::vector<std::string> args = {"-f", "rawvideo", "-pix_fmt", pixel_format};
    args.insert(args.end(), colour_tags.begin(), colour_tags.end());
    args.insert(args.end(),
                {"-video_size", std::to_string(s.width) + "x" + std::to_string(s.height),
                 "-framerate", std::to_string(s.fps), "-i", "pipe:0"});
    return args;
}

// The soundtrack loops for ever; the trim cuts the stretch that lies under the frames.
std::vector<std::string> audio_arguments(const VideoSettings& s) {
    const double duration = static_cast<double>(s.frames) / s.fps;
    return {"-stream_loop",
            "-1",
            "-i",
            s.audio_path,
            "-map",
            "0:v",
            "-map",
            "1:a",
            "-af",
            "atrim=start=" + seconds_text(s.audio_start_s) + ":duration=" + seconds_text(duration) +
                ",asetpts=PTS-STARTPTS"};
}

// VP9 and Opus in WebM.
std::vector<std::string> webm_arguments(const std::string& pixel_format, bool audio) {
    std::vector<std::string> codecs = {"-c:v", "libvpx-vp9", "-deadline", "realtime",  "-cpu-used",
                                       "8",    "-row-mt",    "1",         "-b:v",      "0",
                                       "-crf", "32",         "-pix_fmt",  pixel_format};
    codecs.insert(codecs.end(), colour_tags.begin(), colour_tags.end());
    if (audio) {
        codecs.insert(codecs.end(), {"-c:a", "libopus", "-b:a", "160k"});
    }
    codecs.insert(codecs.end(), {"-f", "webm"});
    return codecs;
}

// H.264 and AAC in MP4 or Matroska. The encoder takes most of a capture's time once frames are
// drawn quickly: "superfast" encodes a third faster than "veryfast" for files about a quarter
// larger at the same quality, so that a 2-core machine keeps up with the show's own pace.
std::vector<std::string> h264_arguments(OutputKind kind, const std::string& pixel_format,
                                        bool audio) {
    std::vector<std::string> codecs = {"-c:v", "libx264", "-preset",  "superfast",
                                       "-crf", "18",      "-pix_fmt", pixel_format};
    codecs.insert(codecs.end(), colour_tags.begin(), colour_tags.end());
    if (audio) {
        codecs.insert(codecs.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    if (kind == OutputKind::mp4) {
        codecs.insert(codecs.end(), {"-movflags", "+faststart", "-f", "mp4"});
    } else {
        codecs.insert(codecs.end(), {"-f", "matroska"});
    }
    return codecs;
}

} // namespace

std::vector<std::string> ffmpeg_arguments(const VideoSettings& s) {
    const std::string pixel_format = s.chroma == Chroma::yuv444 ? "yuv444p" : "yuv420p";
    const bool audio = !s.audio_path.empty();
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel",
                                     "error",  "-nostats",     "-y"};
    for (const std::vector<std::string>& part :
         {input_arguments(s, pixel_format), audio ? audio_arguments(s) : std::vector<std::string>{},
          s.kind == OutputKind::webm ? webm_arguments(pixel_format, audio)
                                     : h264_arguments(s.kind, pixel_format, audio)}) {
        args.insert(args.end(), part.begin(), part.end());
    }
    args.push_back(s.output_path);
    return args;
}

VideoStart start_video(const VideoSettings& settings, VideoPipe* pipe_out, std::string* error) {
    *pipe_out = VideoPipe{-1, -1, -1};
    std::FILE* log_file = std::tmpfile();
    if (log_file == nullptr) {
        *error = std::string("cannot make a temporary file for ffmpeg's messages: ") +
                 std::strerror(errno);
        return VideoStart::failed;
    }
    const int log = dup(fileno(log_file));
    std::fclose(log_file);
    int ends[2];
    if (log < 0 || pipe2(ends, O_CLOEXEC) != 0) {
        *error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        if (log >= 0) {
            close(log);
        }
        return VideoStart::failed;
    }
    // A dead ffmpeg must show up as a failed write, not kill the capture.
    std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string> args = ffmpeg_arguments(settings);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, log, 2);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (spawned != 0) {
        close(ends[1]);
        close(log);
        if (spawned == ENOENT) {
            *error = "ffmpeg not found";
            return VideoStart::ffmpeg_missing;
        }
        *error = std::string("cannot start ffmpeg: ") + std::strerror(spawned);
        return VideoStart::failed;
    }
    *pipe_out = VideoPipe{pid, ends[1], log};
    return VideoStart::started;
}

bool write_video_frame(const VideoPipe& pipe, const std::uint8_t* planar, std::size_t size) {
    return write_all(pipe.input, planar, size);
}

bool finish_video(VideoPipe* pipe, std::string* error) {
    if (pipe->input >= 0) {
        close(pipe->input);
        pipe->input = -1;
    }
    int status = 0;
    while (waitpid(pipe->pid, &status, 0) < 0 && errno == EINTR) {
    }
    pipe->pid = -1;
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        const std::string words = log_tail(pipe->log);
        if (WIFEXITED(status)) {
            *error = "ffmpeg failed with status " + std::to_string(WEXITSTATUS(status));
        } else {
            *error = "ffmpeg was stopped by signal " + std::to_string(WTERMSIG(status));
        }
        if (!words.empty()) {
            *error += ": " + words;
        }
    }
    close(pipe->log);
    pipe->log = -1;
    return ok;
}

void abort_video(VideoPipe* pipe) {
    if (pipe->input >= 0) {
        close(pipe->input);
        pipe->input = -1;
    }
    if (pipe->pid > 0) {
        kill(pipe->pid, SIGTERM);
        int status = 0;
        while (waitpid(pipe->pid, &status, 0) < 0 && errno == EINTR) {
        }
        pipe->pid = -1;
    }
    if (pipe->log >= 0) {
        close(pipe->log);
        pipe->log = -1;
    }
}
