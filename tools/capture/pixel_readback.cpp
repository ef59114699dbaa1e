#include "tools/capture/pixel_readback.h"

#include <cstring>

void PixelReadback::open(const Gles3Functions& gl, int width, int rows) {
    gl_ = &gl;
    width_ = width;
    rows_ = rows;
    bytes_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 4;
    gl.GenBuffers(2, buffers_);
    for (const unsigned int buffer : buffers_) {
        gl.BindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        gl.BufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes_), nullptr,
                      GL_STREAM_READ);
    }
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

void PixelReadback::start() {
    const Gles3Functions& gl = *gl_;
    const int slot = (oldest_ + count_) % 2;
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[slot]);
    gl.ReadPixels(0, 0, width_, rows_, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    fences_[slot] = gl.FenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    ++count_;
}

bool PixelReadback::collect(std::uint8_t* out) {
    const Gles3Functions& gl = *gl_;
    const int slot = oldest_;
    // Flush with the first wait so that the fence is sure to be reached.
    GLenum waited = gl.ClientWaitSync(fences_[slot], GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000);
    while (waited == GL_TIMEOUT_EXPIRED) {
        waited = gl.ClientWaitSync(fences_[slot], 0, 1000000000);
    }
    gl.DeleteSync(fences_[slot]);
    fences_[slot] = nullptr;
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[slot]);
    const void* mapped = gl.MapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes_),
                                           GL_MAP_READ_BIT);
    if (mapped != nullptr) {
        std::memcpy(out, mapped, bytes_);
        gl.UnmapBuffer(GL_PIXEL_PACK_BUFFER);
    }
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    oldest_ = (oldest_ + 1) % 2;
    --count_;
    return mapped != nullptr;
}

PixelReadback::~PixelReadback() {
    if (gl_ == nullptr) {
        return;
    }
    for (GLsync& fence : fences_) {
        if (fence != nullptr) {
            gl_->DeleteSync(fence);
        }
    }
    gl_->DeleteBuffers(2, buffers_);
}
