// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Termination.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int wakePipe[2] = {-1, -1};

void OnSignal(int)
{
    // Only what is safe in a signal handler: one byte to the event loop.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}
} // namespace

void QuitOnTermination()
{
    if (wakePipe[0] >= 0 || ::pipe(wakePipe) != 0)
        return;
    for (const int fd : wakePipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        notifier->setEnabled(false);
        // Every event loop ends, a message box's or a mark pause's included.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}
#else
void QuitOnTermination()
{
    // Windows ends a windowed program through its window and the session's end instead.
}
#endif
