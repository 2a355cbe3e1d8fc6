#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <chrono>

namespace splicerec::test {

// One application for the whole test binary; it lives until the process ends.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "serial_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// Pumps events until `done` holds or `timeout` passes; returns done(). The 1 ms timer
// keeps WaitForMoreEvents from blocking for ever while nothing happens.
template <class Done>
bool pumpUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    QTimer tick;
    tick.start(1);
    const QDeadlineTimer deadline(timeout);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

}  // namespace splicerec::test
