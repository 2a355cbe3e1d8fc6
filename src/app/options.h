#pragma once

#include <QString>
#include <QStringList>

namespace splicerec {

struct Options {
    QString port;     // the device given; empty: the first adapter, looked for at each Com Test
    bool demo = false;  // talk to the simulated instrument, in this process
    QString logPath;
};

// What the command line asks for. `text` is the help, the version line, or the error
// followed by the usage, ready to print; ListPorts leaves the listing to the caller.
struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, ListPorts, Fail };
    Action action = Action::Run;
    Options options;
    QString text;
};

// `arguments` includes the program name first, as QCoreApplication::arguments() does.
// The defaults come from the caller, since they depend on the machine.
ParsedCommandLine parseCommandLine(const QStringList& arguments, const QString& defaultPort,
                                   const QString& defaultLogPath);

}  // namespace splicerec
