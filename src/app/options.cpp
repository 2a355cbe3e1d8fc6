#include "app/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace splicerec {

ParsedCommandLine parseCommandLine(const QStringList& arguments, const QString& defaultPort,
                                   const QString& defaultLogPath)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Downloads the stored splice records of a fusion splicer over a serial line."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Serial device (default: %1).").arg(defaultPort),
                                  QStringLiteral("DEVICE"), defaultPort);
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Talk to a built-in simulated splicer instead of a device."));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Record log (default: %1).").arg(defaultLogPath),
                                 QStringLiteral("FILE"), defaultLogPath);
    const QCommandLineOption listPorts(QStringLiteral("list-ports"),
                                       QStringLiteral("List the serial ports found, mark the default, and exit."));
    parser.addOption(port);
    parser.addOption(demo);
    parser.addOption(log);
    parser.addOption(listPorts);
    // Read before the application object takes out its own options, so those are known
    // here too, in Qt's one-dash form.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "display", "geometry", "title", "style", "stylesheet",
                             "session", "widgetcount"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char* name : {"reverse", "nograb", "dograb", "sync"}) {
        QCommandLineOption qtFlag(QString::fromLatin1(name));
        qtFlag.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtFlag);
    }

    // Without an application object the parser cannot name the program itself.
    const auto helpText = [&] {
        QString text = parser.helpText();
        if (!QCoreApplication::instance())
            text.replace(QStringLiteral("<executable_name>"), arguments.value(0));
        return text;
    };

    ParsedCommandLine result;
    const auto fail = [&](const QString& error) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = error + QStringLiteral("\n\n") + helpText();
        return result;
    };

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = ParsedCommandLine::Action::ShowHelp;
        result.text = helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::ShowVersion;
        result.text = QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                      QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(listPorts)) {
        result.action = ParsedCommandLine::Action::ListPorts;
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    // The demo has its own splicer; a device named as well is a mistake,
    // not something to ignore silently.
    if (parser.isSet(demo) && parser.isSet(port))
        return fail(QStringLiteral("--demo and --port cannot be used together."));
    if (parser.value(port).isEmpty())
        return fail(QStringLiteral("--port needs a device."));
    if (parser.value(log).isEmpty())
        return fail(QStringLiteral("--log needs a file."));

    result.options.port = parser.isSet(port) ? parser.value(port) : QString();
    result.options.demo = parser.isSet(demo);
    result.options.logPath = parser.value(log);
    return result;
}

}  // namespace splicerec
