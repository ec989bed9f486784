// SPDX-License-Identifier: GPL-3.0-or-later
// porome-mapwait: starts a program on the X display in $DISPLAY and prints, on one line,
//   <milliseconds from start to map> <resident KiB one second after the map>
// The time runs from just before the process is spawned to the moment the X server reports
// the MapNotify of the first top-level window that is not override-redirect (with no
// window manager on the display, that is the server handling the program's MapWindow
// request). The resident size is VmRSS of /proc/PID/status. The program is then ended.
//
//   porome-mapwait [--timeout SECONDS] PROGRAM [ARGUMENTS...]
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

long ResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char* argv[])
{
    int first = 1;
    double timeoutMs = 30000;
    if (argc > 2 && std::strcmp(argv[1], "--timeout") == 0) {
        timeoutMs = std::atof(argv[2]) * 1000.0;
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: porome-mapwait [--timeout SECONDS] PROGRAM [ARGUMENTS...]\n");
        return 2;
    }

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "porome-mapwait: cannot open the X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip, so the server listens before the program starts.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    const double start = NowMs();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[first], nullptr, nullptr, argv + first, environ) != 0) {
        std::fprintf(stderr, "porome-mapwait: cannot start %s: %s\n", argv[first], std::strerror(errno));
        return 1;
    }

    double mapped = -1;
    pollfd pfd{xcb_get_file_descriptor(c), POLLIN, 0};
    while (mapped < 0) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY
                && !reinterpret_cast<xcb_map_notify_event_t*>(e)->override_redirect && mapped < 0)
                mapped = NowMs();
            std::free(e);
        }
        if (mapped >= 0)
            break;
        const double left = start + timeoutMs - NowMs();
        const bool ended = waitpid(pid, nullptr, WNOHANG) == pid;
        if (left <= 0 || ended || xcb_connection_has_error(c)) {
            std::fprintf(stderr, "porome-mapwait: %s mapped no window\n", argv[first]);
            if (!ended)
                Stop(pid);
            return 1;
        }
        poll(&pfd, 1, left > 50 ? 50 : int(left) + 1);
    }

    usleep(1000000);
    const long rss = ResidentKiB(pid);
    Stop(pid);
    xcb_disconnect(c);
    std::printf("%.2f %ld\n", mapped - start, rss);
    return 0;
}
