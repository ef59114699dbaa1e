#include "tools/capture/frame_writer.h"

FrameWriter::FrameWriter(std::size_t buffers, Write write)
    : write_(std::move(write)), frames_(buffers < 2 ? 2 : buffers) {
    for (HandedFrame& frame : frames_) {
        free_.push_back(&frame);
    }
    thread_ = std::thread([this] { run(); });
}

FrameWriter::~FrameWriter() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
        failed_ = true; // what is left is not written
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

HandedFrame* FrameWriter::acquire() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    HandedFrame* frame = free_.front();
    free_.pop_front();
    return frame;
}

void FrameWriter::submit(HandedFrame* frame) {
    {
        const std::lock_guard lock(mutex_);
        frame->index = handed_++;
        ready_.push_back(frame);
    }
    changed_.notify_all();
}

bool FrameWriter::failed() {
    const std::lock_guard lock(mutex_);
    return failed_;
}

bool FrameWriter::finish(std::string* error) {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    if (failed_) {
        *error = error_;
    }
    return !failed_;
}

void FrameWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closing_ || !ready_.empty(); });
        if (ready_.empty()) {
            return;
        }
        HandedFrame* frame = ready_.front();
        ready_.pop_front();
        if (!failed_) {
            lock.unlock();
            std::string why;
            const bool written = write_(*frame, &why);
            lock.lock();
            if (!written && !failed_) {
                failed_ = true;
                error_ = why;
            }
        }
        free_.push_back(frame);
        changed_.notify_all();
    }
}
