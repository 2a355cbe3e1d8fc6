// splicer-sim: the simulated splicer on a pseudo-terminal, for trying the program
// without an instrument.
#include "pty_instrument.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

struct NumberOption {
    QCommandLineOption option;
    int minimum;
    std::function<void(splicerec::sim::Behaviour&, int)> apply;
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

    using splicerec::sim::Behaviour;
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    const auto ms = [](int value) { return microseconds(milliseconds(value)); };
    const std::vector<NumberOption> numbers = {
        {{"records", "Stored records (default 57).", "N"}, 0,
         [](Behaviour& b, int v) { b.records = v; }},
        {{"wrong-id", "Answer the first K identification requests wrongly.", "K"}, 0,
         [](Behaviour& b, int v) { b.wrongIdentifications = v; }},
        {{"count-length", "Bytes in the record count reply (default 2).", "N"}, 0,
         [](Behaviour& b, int v) { b.countReplyLength = v; }},
        {{"delay", "Wait this long before each reply.", "MS"}, 0,
         [ms](Behaviour& b, int v) { b.replyDelay = ms(v); }},
        {{"pieces", "Split each reply into N pieces (default 1).", "N"}, 1,
         [](Behaviour& b, int v) { b.pieces = v; }},
        {{"piece-gap", "Time between the pieces of a reply.", "MS"}, 0,
         [ms](Behaviour& b, int v) { b.pieceGap = ms(v); }},
        {{"hang-up-after", "Drop the line instead of serving record K+1.", "K"}, 0,
         [](Behaviour& b, int v) { b.hangUpAfterRecords = v; }},
        {{"silent-after", "Stop answering after K records.", "K"}, 0,
         [](Behaviour& b, int v) { b.silentAfterRecords = v; }},
        {{"short-frame-after", "Send only 7 bytes of record K+1, then nothing.", "K"}, 0,
         [](Behaviour& b, int v) { b.shortFrameAfterRecords = v; }},
        {{"extra-bytes", "Trailing bytes after each record.", "N"}, 0,
         [](Behaviour& b, int v) { b.extraBytesPerFrame = v; }},
        {{"garbage", "Answer every request with N bytes of line noise.", "N"}, 0,
         [](Behaviour& b, int v) { b.garbageBytes = v; }},
        {{"late-after", "Send record K+1 late (see --late-by).", "K"}, 0,
         [](Behaviour& b, int v) { b.lateAfterRecords = v; }},
        {{"late-by", "How late the record of --late-after comes.", "MS"}, 0,
         [ms](Behaviour& b, int v) { b.lateBy = ms(v); }},
    };
    const QCommandLineOption silent("silent", "Answer nothing at all.");
    const QCommandLineOption echo("echo", "Answer every byte with itself, like a loop-back plug.");
    const QCommandLineOption paced("paced", "Send one byte every 4.17 ms, as a real line at 2400 baud.");
    const QCommandLineOption stalled("stalled", "Take nothing the program writes, like a stuck adapter.");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Serves a simulated fusion splicer on a pseudo-terminal and prints its path.");
    const auto helpOption = parser.addHelpOption();
    const auto versionOption = parser.addVersionOption();
    for (const auto& number : numbers)
        parser.addOption(number.option);
    parser.addOptions({silent, echo, paced, stalled});

    if (!parser.parse(QCoreApplication::arguments()))
        fail(parser.errorText());
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    Behaviour behaviour;
    for (const auto& number : numbers) {
        if (!parser.isSet(number.option))
            continue;
        const auto text = parser.value(number.option);
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < number.minimum)
            fail(QStringLiteral("--%1 needs a whole number of at least %2, not \"%3\"")
                     .arg(number.option.names().first())
                     .arg(number.minimum)
                     .arg(text));
        number.apply(behaviour, value);
    }
    behaviour.silent = parser.isSet(silent);
    behaviour.echo = parser.isSet(echo);
    behaviour.paced = parser.isSet(paced);
    behaviour.stalled = parser.isSet(stalled);

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
        splicerec::sim::PtyInstrument instrument(behaviour);
        std::printf("%s\n", qPrintable(instrument.devicePath()));
        std::fflush(stdout);
        std::fprintf(stderr, "Point the program at it: splice-records --port %s\n",
                     qPrintable(instrument.devicePath()));
        return app.exec();
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "splicer-sim: %s\n", error.what());
        return 1;
    }
}
