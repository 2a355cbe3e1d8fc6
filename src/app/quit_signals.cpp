#include "app/quit_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>


namespace splicerec {
namespace {

int quitPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int)
{
    // Only async-signal-safe work here: the event loop reads the pipe and quits.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(quitPipe[1], &byte, 1);
    errno = savedErrno;
}

bool installHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, quitPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0)
        return false;
    // A launcher may start us with these blocked so that an early signal waits for the
    // handler instead of killing us half-initialised.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGINT);
    sigaddset(&quitSignals, SIGTERM);
    return ::sigprocmask(SIG_UNBLOCK, &quitSignals, nullptr) == 0;
}

}  // namespace

bool quitOnSignals(QObject& owner, std::function<void()> quit)
{
    if (!installHandlers())
        return false;
    // A child of the owner, so it lives exactly as long as there is something to quit.
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [quit = std::move(quit)] {
        char bytes[16];
        while (::read(quitPipe[0], bytes, sizeof bytes) > 0) {
        }
        quit();
    });
    return true;
}

}  // namespace splicerec
