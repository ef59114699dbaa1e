// window_pixels WINDOW: counts the lit (not black) pixels in the middle of an X11 window, where
// a show window's client area always lies, and prints the count. Exit status 2 when the window
// cannot be read (it may be gone already).
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A window that goes away while it is read is reported through the exit status, not by Xlib's
// default handler.
int ignore_error(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_pixels WINDOW-ID\n");
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "window_pixels: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(ignore_error);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        std::fprintf(stderr, "window_pixels: no window %s\n", argv[1]);
        XCloseDisplay(display);
        return 2;
    }
    const int width = attributes.width / 2;
    const int height = attributes.height / 2;
    XImage* image = XGetImage(display, window, attributes.width / 4, attributes.height / 4, width,
                              height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        std::fprintf(stderr, "window_pixels: cannot read window %s\n", argv[1]);
        XCloseDisplay(display);
        return 2;
    }
    long lit = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((XGetPixel(image, x, y) & 0xffffff) != 0) {
                ++lit;
            }
        }
    }
    XDestroyImage(image);
    XCloseDisplay(display);
    std::printf("%ld\n", lit);
    return 0;
}
