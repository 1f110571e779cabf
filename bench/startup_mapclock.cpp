// The stopwatch of startup_bench.sh: starts a program and times it to the
// first window mapped on the screen, as the window manager maps it (a
// MapNotify on the root window), then waits until a top-level window whose
// title holds the given text is listed, so that the map timed is the
// program's.
//
//   startup_mapclock TITLE PROGRAM [ARGS...]
// Prints the seconds to the map. Exit 1 when no map or no such window comes
// within 30 s, or the program ends first; the program is stopped either way.
//
// It listens on the X connection itself, so that nothing between the event
// and the clock (a shell loop, a polling tool) competes with the program
// for the processor while it starts.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
    std::free(r);
    return a;
}

std::string Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    std::string s;
    if (r) s.assign(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
    std::free(r);
    return s;
}

// Whether a window the manager lists has a title with this text in it.
bool Listed(xcb_connection_t* c, xcb_window_t root, const std::string& title) {
    static const xcb_atom_t list = Atom(c, "_NET_CLIENT_LIST"), name = Atom(c, "_NET_WM_NAME");
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, list, XCB_ATOM_WINDOW, 0, 4096), nullptr);
    if (!r) return false;
    bool found = false;
    auto* windows = static_cast<xcb_window_t*>(xcb_get_property_value(r));
    int n = xcb_get_property_value_length(r) / 4;
    for (int i = 0; i < n && !found; ++i)
        found = Property(c, windows[i], name).find(title) != std::string::npos ||
                Property(c, windows[i], XCB_ATOM_WM_NAME).find(title) != std::string::npos;
    std::free(r);
    return found;
}

bool gReaped = false;

bool Ended(pid_t pid) {
    if (!gReaped) gReaped = waitpid(pid, nullptr, WNOHANG) == pid;
    return gReaped;
}

// SIGTERM, and SIGKILL when that has not ended it within 5 s.
void Stop(pid_t pid) {
    if (Ended(pid)) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 250 && !Ended(pid); ++i) usleep(20000);
    if (Ended(pid)) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_mapclock TITLE PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::string title = argv[1];
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "startup_mapclock: no X display\n");
        return 2;
    }
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // the mask is in place

    pid_t pid = 0;
    const double start = Now();
    if (posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::perror("startup_mapclock: spawn");
        return 1;
    }
    double mapped = 0;
    const double deadline = start + 30;
    bool ok = false;
    while (Now() < deadline) {
        if (mapped == 0) {
            pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&p, 1, 100);
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY && mapped == 0) mapped = Now();
                std::free(e);
            }
            if (xcb_connection_has_error(c)) break;
            if (mapped == 0 && Ended(pid)) break;
            continue;
        }
        // The map is timed; now make sure it was the program's window.
        if (Listed(c, root, title)) {
            ok = true;
            break;
        }
        if (Ended(pid)) break;
        usleep(20000);
    }
    Stop(pid);
    xcb_disconnect(c);
    if (!ok) {
        std::fprintf(stderr, "startup_mapclock: no window \"%s\" within 30 s\n", title.c_str());
        return 1;
    }
    std::printf("%.4f\n", mapped - start);
    return 0;
}
