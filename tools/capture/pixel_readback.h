// Frames read back through two pixel pack buffers: reading frame n is started (the copy queued
// behind its drawing, with a fence) and frame n - 1 is collected while frame n + 1 is drawn.
#pragma once

#include "gl/portable/gles3.h"

#include <cstddef>
#include <cstdint>

class PixelReadback {
  public:
    PixelReadback() = default;
    PixelReadback(const PixelReadback&) = delete;
    PixelReadback& operator=(const PixelReadback&) = delete;
    ~PixelReadback();

    // Needs the context current. Every read is width x rows RGBA texels from (0, 0).
    void open(const Gles3Functions& gl, int width, int rows);

    // Queues the read of the framebuffer bound for reading into the next free buffer. At most
    // two reads are outstanding: collect one before starting a third.
    void start();

    // Waits for the oldest outstanding read and copies its bytes (width * rows * 4) to `out`.
    // False when the buffer cannot be mapped.
    bool collect(std::uint8_t* out);

    std::size_t bytes() const { return bytes_; }
    // Reads started and not yet collected: 0, 1 or 2.
    int outstanding() const { return count_; }

  private:
    const Gles3Functions* gl_ = nullptr;
    int width_ = 0;
    int rows_ = 0;
    std::size_t bytes_ = 0;
    unsigned int buffers_[2] = {0, 0};
    GLsync fences_[2] = {nullptr, nullptr};
    int oldest_ = 0;
    int count_ = 0;
};
