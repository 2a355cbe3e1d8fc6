#include "app/options.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace splicerec {
namespace {

enum class Option { Port, Log, Demo, ListPorts, Help, Version, QtValue, QtFlag };

struct Named {
    std::string_view name;
    Option option;
};

constexpr Named kOurs[] = {
    {"port", Option::Port}, {"log", Option::Log},   {"demo", Option::Demo},       {"list-ports", Option::ListPorts},
    {"help", Option::Help}, {"h", Option::Help},    {"version", Option::Version}, {"v", Option::Version},
};

// The options QGuiApplication and QApplication take out of the command line, with one
// dash or two.
constexpr Named kQts[] = {
    {"platform", Option::QtValue},   {"platformpluginpath", Option::QtValue}, {"platformtheme", Option::QtValue},
    {"plugin", Option::QtValue},     {"qwindowgeometry", Option::QtValue},    {"qwindowicon", Option::QtValue},
    {"qwindowtitle", Option::QtValue}, {"display", Option::QtValue},          {"geometry", Option::QtValue},
    {"title", Option::QtValue},      {"style", Option::QtValue},              {"stylesheet", Option::QtValue},
    {"session", Option::QtValue},    {"widgetcount", Option::QtValue},        {"reverse", Option::QtFlag},
    {"nograb", Option::QtFlag},      {"dograb", Option::QtFlag},              {"sync", Option::QtFlag},
};

std::optional<Option> optionNamed(std::string_view name, bool qtOptions)
{
    const auto has = [&](const Named& named) { return named.name == name; };
    if (const auto* ours = std::find_if(std::begin(kOurs), std::end(kOurs), has); ours != std::end(kOurs))
        return ours->option;
    if (const auto* qt = std::find_if(std::begin(kQts), std::end(kQts), has); qtOptions && qt != std::end(kQts))
        return qt->option;
    return std::nullopt;
}

bool takesValue(Option option)
{
    return option == Option::Port || option == Option::Log || option == Option::QtValue;
}

std::string helpText(const std::string& program, const CommandLineContext& context)
{
    const auto withDefault = [](std::string text, const std::string& value) {
        return value.empty() ? text + '.' : text + " (default: " + value + ").";
    };
    const std::pair<std::string, std::string> rows[] = {
        {"--port DEVICE", withDefault("Serial port of the splicer", context.defaultPort)},
        {"--log FILE", withDefault("Append the records to FILE", context.defaultLogPath)},
        {"--demo", "Talk to a built-in simulated splicer instead of a device."},
        {"--list-ports", "List the serial ports found, mark the default, and exit."},
        {"-h, --help", "Show this help and exit."},
        {"-v, --version", "Show the version and exit."},
    };
    std::size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    std::string text = "Usage: " + program + " [options]\n"
                       "Downloads the stored splice records of a fusion splicer over a serial line.\n\nOptions:\n";
    for (const auto& [option, what] : rows)
        text += "  " + option + std::string(width - option.size() + 2, ' ') + what + '\n';
    return text;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, const CommandLineContext& context)
{
    const std::string program = arguments.empty() || arguments[0].empty() ? "splice-records" : arguments[0];
    ParsedCommandLine result;
    const auto fail = [&](const std::string& error) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = error + "\n\n" + helpText(program, context);
        return result;
    };

    std::optional<std::string> port, log;
    bool demo = false, listPorts = false, help = false, version = false, optionsEnded = false;
    std::vector<std::string> unknown, positional;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // "-port" is "--port": the Qt program has always read one-dash words as long options.
        const std::string_view body = std::string_view(argument).substr(argument.starts_with("--") ? 2 : 1);
        const auto equals = body.find('=');
        const std::string_view name = body.substr(0, equals);
        const auto option = optionNamed(name, context.qtOptions);
        if (!option) {
            unknown.emplace_back(name);
            continue;
        }
        std::string value;
        if (takesValue(*option)) {
            if (equals != std::string_view::npos)
                value = body.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                return fail("Missing value after '" + argument + "'.");
        } else if (equals != std::string_view::npos) {
            return fail("Unexpected value after '" + argument.substr(0, argument.find('=')) + "'.");
        }
        switch (*option) {
        case Option::Port: port = value; break;
        case Option::Log: log = value; break;
        case Option::Demo: demo = true; break;
        case Option::ListPorts: listPorts = true; break;
        case Option::Help: help = true; break;
        case Option::Version: version = true; break;
        case Option::QtValue:
        case Option::QtFlag: break;
        }
    }

    if (unknown.size() == 1)
        return fail("Unknown option '" + unknown[0] + "'.");
    if (unknown.size() > 1) {
        std::string names;
        for (const auto& name : unknown)
            names += (names.empty() ? "" : ", ") + name;
        return fail("Unknown options: " + names + ".");
    }
    using Action = ParsedCommandLine::Action;
    if (help) {
        result.action = Action::ShowHelp;
        result.text = helpText(program, context);
        return result;
    }
    if (version) {
        result.action = Action::ShowVersion;
        result.text = "splice-records " + context.version + '\n';
        return result;
    }
    if (listPorts) {
        result.action = Action::ListPorts;
        return result;
    }
    if (!positional.empty())
        return fail("Unexpected argument '" + positional[0] + "'.");
    // The demo has its own splicer; a device named as well is a mistake,
    // not something to ignore silently.
    if (demo && port)
        return fail("--demo and --port cannot be used together.");
    if (port && port->empty())
        return fail("--port needs a device.");
    // Without --log the default is used; a machine that has none needs one given.
    const std::string logPath = log.value_or(context.defaultLogPath);
    if (logPath.empty())
        return fail("--log needs a file.");

    result.options.port = port.value_or("");
    result.options.demo = demo;
    result.options.logPath = logPath;
    return result;
}

}  // namespace splicerec
