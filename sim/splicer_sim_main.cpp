// splicer-sim: the simulated splicer on a pseudo-terminal, for trying the program
// without an instrument.
#include "pty_instrument.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <variant>

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

using splicerec::sim::Behaviour;
using Duration = std::chrono::microseconds;

// Every option sets one field of Behaviour; MS options are given in milliseconds.
struct NumberOption {
    const char *name, *help, *valueName;
    int minimum;
    std::variant<int Behaviour::*, Duration Behaviour::*> field;
};

const NumberOption kNumbers[] = {
    {"records", "Stored records (default 57).", "N", 0, &Behaviour::records},
    {"wrong-id", "Answer the first K identification requests wrongly.", "K", 0, &Behaviour::wrongIdentifications},
    {"count-length", "Bytes in the record count reply (default 2).", "N", 0, &Behaviour::countReplyLength},
    {"delay", "Wait this long before each reply.", "MS", 0, &Behaviour::replyDelay},
    {"pieces", "Split each reply into N pieces (default 1).", "N", 1, &Behaviour::pieces},
    {"piece-gap", "Time between the pieces of a reply.", "MS", 0, &Behaviour::pieceGap},
    {"hang-up-after", "Drop the line instead of serving record K+1.", "K", 0, &Behaviour::hangUpAfterRecords},
    {"silent-after", "Stop answering after K records.", "K", 0, &Behaviour::silentAfterRecords},
    {"short-frame-after", "Send only 7 bytes of record K+1, then nothing.", "K", 0, &Behaviour::shortFrameAfterRecords},
    {"extra-bytes", "Trailing bytes after each record.", "N", 0, &Behaviour::extraBytesPerFrame},
    {"garbage", "Answer every request with N bytes of line noise.", "N", 0, &Behaviour::garbageBytes},
    {"late-after", "Send record K+1 late (see --late-by).", "K", 0, &Behaviour::lateAfterRecords},
    {"late-by", "How late the record of --late-after comes.", "MS", 0, &Behaviour::lateBy},
};

const struct {
    const char *name, *help;
    bool Behaviour::*field;
} kFlags[] = {
    {"silent", "Answer nothing at all.", &Behaviour::silent},
    {"echo", "Answer every byte with itself, like a loop-back plug.", &Behaviour::echo},
    {"paced", "Send one byte every 4.17 ms, as a real line at 2400 baud.", &Behaviour::paced},
    {"stalled", "Take nothing the program writes, like a stuck adapter.", &Behaviour::stalled},
};

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "splicer-sim: %s\nTry splicer-sim --help.\n", qPrintable(message));
    std::exit(2);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("splicer-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPLICE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Serves a simulated fusion splicer on a pseudo-terminal (or --serve PATH) and prints its path.");
    const auto helpOption = parser.addHelpOption();
    const auto versionOption = parser.addVersionOption();
    for (const auto& number : kNumbers)
        parser.addOption({number.name, number.help, number.valueName});
    for (const auto& flag : kFlags)
        parser.addOption({flag.name, flag.help});
    const QCommandLineOption serve(
        "serve", "Serve an existing terminal (e.g. the host end of an emulated machine's serial port) "
                 "instead of a new pseudo-terminal.", "PATH");
    parser.addOption(serve);

    if (!parser.parse(QCoreApplication::arguments()))
        fail(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    Behaviour behaviour;
    for (const auto& number : kNumbers) {
        if (!parser.isSet(number.name))
            continue;
        const auto text = parser.value(number.name);
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < number.minimum)
            fail(QStringLiteral("--%1 needs a whole number of at least %2, not \"%3\"")
                     .arg(QLatin1String(number.name))
                     .arg(number.minimum)
                     .arg(text));
        if (const auto* count = std::get_if<int Behaviour::*>(&number.field))
            behaviour.*(*count) = value;
        else
            behaviour.*std::get<Duration Behaviour::*>(number.field) = std::chrono::milliseconds(value);
    }
    for (const auto& flag : kFlags)
        behaviour.*flag.field = parser.isSet(flag.name);

    // Signals only write a byte; the loop notices it and quits normally, so the
    // pseudo-terminal is torn down and the exit code is 0.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("splicer-sim: socketpair");
        return 1;
    }
    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    try {
        using splicerec::sim::PtyInstrument;
        const auto served = parser.isSet(serve) ? std::make_unique<PtyInstrument>(behaviour, parser.value(serve))
                                                : std::make_unique<PtyInstrument>(behaviour);
        const auto& instrument = *served;
        std::printf("%s\n", qPrintable(instrument.devicePath()));
        std::fflush(stdout);
        std::fprintf(stderr, "Point the program at it: splice-records --port %s\n",
                     qPrintable(instrument.devicePath()));
        const int code = app.exec();
        // The program's turnaround as the instrument saw it, for the benchmark.
        auto turnarounds = instrument.turnarounds();
        if (!turnarounds.empty()) {
            std::sort(turnarounds.begin(), turnarounds.end());
            const auto at = [&](double share) {
                return turnarounds[std::min(turnarounds.size() - 1, static_cast<std::size_t>(share * turnarounds.size()))];
            };
            std::printf("turnaround: %zu requests, median %.3f ms, p95 %.3f ms, max %.3f ms\n", turnarounds.size(),
                        at(0.5), at(0.95), turnarounds.back());
            std::fflush(stdout);
        }
        return code;
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "splicer-sim: %s\n", error.what());
        return 1;
    }
}
