// Frames handed from the drawing thread to a writer thread that encodes or stores them, so that
// drawing frame n + 1 and writing frame n go on side by side. Frames are written in the order
// they are handed over, each exactly once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HandedFrame {
    std::vector<std::uint8_t> pixels;
    std::size_t index; // counts the frames handed over, from 0
};

class FrameWriter {
  public:
    // Writes one frame; false with the reason in `error` stops the writing for good.
    using Write = std::function<bool(const HandedFrame& frame, std::string* error)>;

    // Starts the writer thread with `buffers` frames of room (at least 2).
    FrameWriter(std::size_t buffers, Write write);
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;
    // Stops the thread; frames handed over and not yet written are dropped.
    ~FrameWriter();

    // A free frame to fill, waiting for the writer while every one is in use.
    HandedFrame* acquire();

    // Hands a frame from acquire() over for writing.
    void submit(HandedFrame* frame);

    // Whether a write has failed; later frames are not written.
    bool failed();

    // Waits until every frame handed over is written and stops the thread. False with the
    // first failure's reason.
    bool finish(std::string* error);

  private:
    void run();

    Write write_;
    std::vector<HandedFrame> frames_;
    std::deque<HandedFrame*> free_;
    std::deque<HandedFrame*> ready_;
    std::size_t handed_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    std::string error_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};
