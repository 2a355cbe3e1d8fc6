#pragma once

#include <string>
#include <vector>

namespace splicerec {

struct Options {
    std::string port;   // the device given; empty: the first adapter, looked for at each Com Test
    bool demo = false;  // talk to the simulated instrument, in this process
    std::string logPath;
};

// What the command line asks for. `text` is the help, the version line, or the error
// followed by the usage, ready to print; ListPorts leaves the listing to the caller.
struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, ListPorts, Fail };
    Action action = Action::Run;
    Options options;
    std::string text;

    // The program's exit code when it ends here instead of running: 2 after a mistake, else 0.
    int exitCode() const { return action == Action::Fail ? 2 : 0; }
};

// What the command line cannot know by itself: the defaults depend on the machine.
struct CommandLineContext {
    std::string version;
    std::string defaultPort;
    std::string defaultLogPath;
    // The Qt program's QApplication reads its own options (-platform offscreen, ...)
    // after us; they are taken here and ignored. The Windows program has none.
    bool qtOptions = false;
};

// `arguments` are UTF-8 and include the program name first.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, const CommandLineContext& context);

}  // namespace splicerec
