// xwindow_tool: finds and closes top-level windows of an X server by title, so
// that a script can watch the real program run under a virtual X server. A
// title matches itself and itself followed by a blank and more ("Form39 -
// narvo", as Qt adds the program's name).
//
//   xwindow_tool wait TITLE SECONDS    exit 0 once a viewable window TITLE exists
//   xwindow_tool absent TITLE          exit 0 when no viewable window TITLE exists
//   xwindow_tool close TITLE SECONDS   waits for it, then asks it to close
//                                      (WM_DELETE_WINDOW, as a window manager does)
//   xwindow_tool geometry TITLE        prints WIDTHxHEIGHT+X+Y of the window
// Exit status 1 when the condition was not met in time, 2 for usage or no display.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string titleOf(Display* d, Window w) {
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(d, w, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

// Whether a window titled `actual` is the one asked for: the same title, or
// that title followed by the separator Qt puts before the program's name.
bool matches(const std::string& actual, const std::string& wanted) {
    if (actual == wanted) return true;
    return actual.size() > wanted.size() && actual.compare(0, wanted.size(), wanted) == 0 &&
           actual[wanted.size()] == ' ';
}

// The first viewable window (depth first) whose title matches `title`; 0 if none.
Window find(Display* d, Window w, const std::string& title) {
    XWindowAttributes a;
    if (w != DefaultRootWindow(d)) {
        if (!XGetWindowAttributes(d, w, &a)) return 0;
        if (a.map_state == IsViewable && matches(titleOf(d, w), title)) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i) found = find(d, children[i], title);
    if (children) XFree(children);
    return found;
}

Window waitFor(Display* d, const std::string& title, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (Window w = find(d, DefaultRootWindow(d), title)) return w;
        if (std::chrono::steady_clock::now() >= end) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

int ignoreErrors(Display*, XErrorEvent*) { return 0; }  // windows come and go meanwhile

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: xwindow_tool wait|absent|close|geometry TITLE [SECONDS]\n");
        return 2;
    }
    const std::string verb = argv[1], title = argv[2];
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "xwindow_tool: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    int status = 2;
    if (verb == "wait") {
        status = waitFor(d, title, seconds) ? 0 : 1;
    } else if (verb == "absent") {
        status = find(d, DefaultRootWindow(d), title) ? 1 : 0;
    } else if (verb == "geometry") {
        if (Window w = waitFor(d, title, seconds)) {
            XWindowAttributes a;
            Window child;
            int x = 0, y = 0;
            XGetWindowAttributes(d, w, &a);
            XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
            std::printf("%dx%d+%d+%d\n", a.width, a.height, x, y);
            status = 0;
        } else {
            status = 1;
        }
    } else if (verb == "close") {
        if (Window w = waitFor(d, title, seconds)) {
            XEvent e;
            std::memset(&e, 0, sizeof e);
            e.xclient.type = ClientMessage;
            e.xclient.window = w;
            e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            e.xclient.format = 32;
            e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, w, False, NoEventMask, &e);
            XFlush(d);
            status = 0;
        } else {
            status = 1;
        }
    }
    XCloseDisplay(d);
    return status;
}
