#include "tools/capture/y4m_stream.h"

#include "tools/capture/fd_write.h"

std::string y4m_header(int width, int height, int fps, Chroma chroma) {
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
           std::to_string(fps) + ":1 Ip A1:1 " + (chroma == Chroma::yuv444 ? "C444" : "C420jpeg") +
           " XCOLORRANGE=LIMITED\n";
}

bool write_y4m_frame(int fd, const std::vector<std::uint8_t>& planar) {
    static const std::uint8_t marker[] = {'F', 'R', 'A', 'M', 'E', '\n'};
    return write_all(fd, marker, sizeof marker) && write_all(fd, planar.data(), planar.size());
}
