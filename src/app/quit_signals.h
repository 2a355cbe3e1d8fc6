#pragma once

#include <functional>

class QObject;

namespace splicerec {

// SIGINT and SIGTERM run `quit` from the event loop, for as long as `owner` lives, so
// that a handler that is waiting unwinds and the program exits normally. Call once,
// after the application object exists; false when the handlers cannot be installed.
bool quitOnSignals(QObject& owner, std::function<void()> quit);

}  // namespace splicerec
