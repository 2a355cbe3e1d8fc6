#pragma once

namespace splicerec {

class Form1;

// SIGINT and SIGTERM close `form` the way the technician would (Form1::requestQuit), so
// a handler that is waiting unwinds and the program exits normally. Call once, after
// the QApplication exists; false when the handlers cannot be installed.
bool quitOnSignals(Form1& form);

}  // namespace splicerec
