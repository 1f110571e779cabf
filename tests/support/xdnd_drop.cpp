// Drops a file on an X window the way a file manager does (the XDND
// protocol, as the source): tests drive the real program with it, since
// xdotool moves and clicks but cannot drag a file.
//
// usage: xdnd_drop WINDOW-ID FILE
// Exit 0 when the window took the drop, 1 when it refused it or did not
// answer within the time limit, 2 on wrong usage.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kTimeLimitMs = 20000;

Display* gDpy = nullptr;

Atom A(const char* name) { return XInternAtom(gDpy, name, False); }

void Send(Window target, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.display = gDpy;
    e.xclient.window = target;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    long data[5] = {l0, l1, l2, l3, l4};
    for (int i = 0; i < 5; ++i) e.xclient.data.l[i] = data[i];
    XSendEvent(gDpy, target, False, NoEventMask, &e);
    XFlush(gDpy);
}

// The next event, waiting at most until `end`; false when the time is up.
bool NextEvent(XEvent& e, std::chrono::steady_clock::time_point end) {
    while (!XPending(gDpy)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p = {ConnectionNumber(gDpy), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    XNextEvent(gDpy, &e);
    return true;
}

// A file URI for a path: bytes other than letters, digits, "/-._~" are
// percent-encoded, as file managers send them.
std::string FileUri(const std::string& path) {
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            uri += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            uri += hex;
        }
    }
    return uri;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: xdnd_drop WINDOW-ID FILE\n", stderr);
        return 2;
    }
    const Window target = std::strtoul(argv[1], nullptr, 0);
    const std::string uri = FileUri(argv[2]) + "\r\n";
    gDpy = XOpenDisplay(nullptr);
    if (!gDpy) {
        std::fputs("xdnd_drop: no X display\n", stderr);
        return 1;
    }
    const Window root = DefaultRootWindow(gDpy);
    const Window source = XCreateSimpleWindow(gDpy, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom selection = A("XdndSelection"), uriList = A("text/uri-list"), copy = A("XdndActionCopy");
    XSetSelectionOwner(gDpy, selection, source, CurrentTime);

    // The protocol version the target speaks (its XdndAware property).
    long version = 5;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* prop = nullptr;
    if (XGetWindowProperty(gDpy, target, A("XdndAware"), 0, 1, False, XA_ATOM, &type, &format, &count, &after, &prop) ==
            Success &&
        prop && count == 1) {
        version = std::min(version, *reinterpret_cast<long*>(prop));
    }
    if (prop) XFree(prop);

    // The middle of the target window, in root coordinates.
    XWindowAttributes wa = {};
    XGetWindowAttributes(gDpy, target, &wa);
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(gDpy, target, root, wa.width / 2, wa.height / 2, &x, &y, &child);

    Send(target, A("XdndEnter"), static_cast<long>(source), version << 24, static_cast<long>(uriList), 0, 0);
    Send(target, A("XdndPosition"), static_cast<long>(source), 0, (long{x} << 16) | y, CurrentTime,
         static_cast<long>(copy));

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeLimitMs);
    bool dropped = false;
    XEvent e;
    while (NextEvent(e, end)) {
        if (e.type == ClientMessage && e.xclient.message_type == A("XdndStatus")) {
            if (dropped) continue;
            if (!(e.xclient.data.l[1] & 1)) {
                std::fputs("xdnd_drop: the window refuses the drop\n", stderr);
                Send(target, A("XdndLeave"), static_cast<long>(source), 0, 0, 0, 0);
                return 1;
            }
            Send(target, A("XdndDrop"), static_cast<long>(source), 0, CurrentTime, 0, 0);
            dropped = true;
        } else if (e.type == SelectionRequest) {
            XSelectionRequestEvent& r = e.xselectionrequest;
            XEvent reply = {};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = r.requestor;
            reply.xselection.selection = r.selection;
            reply.xselection.target = r.target;
            reply.xselection.time = r.time;
            reply.xselection.property = None;
            if (r.target == uriList) {
                XChangeProperty(gDpy, r.requestor, r.property, uriList, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(uri.data()), static_cast<int>(uri.size()));
                reply.xselection.property = r.property;
            }
            XSendEvent(gDpy, r.requestor, False, NoEventMask, &reply);
            XFlush(gDpy);
        } else if (e.type == ClientMessage && e.xclient.message_type == A("XdndFinished")) {
            return 0;
        }
    }
    std::fputs(dropped ? "xdnd_drop: the drop was never finished\n" : "xdnd_drop: the window never answered\n", stderr);
    return 1;
}
