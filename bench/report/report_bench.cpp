// report-bench: how long splice-report takes over a 100,000-line log, in-process step by
// step and as the real program. Prints medians; it is not a test.
//
//   report-bench [--lines N] [--runs N] [--keep FILE]
#include <QBuffer>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "report/pdf_report.h"
#include "report/splice_report.h"
#include "report/text_output.h"

namespace {

using namespace splicerec::report;

// A technician's log after many jobs: downloads of 2,000 records each, every one read
// twice, with the memory cleared between jobs so numbers come back with new dates;
// the older loss form for about one line in twelve.
std::string makeLog(int lines)
{
    std::string log;
    log.reserve(static_cast<std::size_t>(lines) * 42);
    char text[64];
    unsigned seed = 12345;
    for (int n = 0; n < lines; ++n) {
        const int job = n / 4000, number = n % 2000 + 1;
        seed = seed * 1103515245u + 12345u;
        const int loss = (number * 7 + job * 13) % 23 == 0 ? 150 + number % 100 : (number * 31 + job) % 19;
        const int day = 1 + job % 28, month = 1 + job / 28 % 12, year = 10 + job / 336;
        const int hour = 8 + number / 240 % 10, minute = number / 4 % 60;
        const bool older = loss >= 100 && seed % 12 == 0;
        std::snprintf(text, sizeof text, "NO %05d: 20%02d-%02d-%02d %02d:%02d   LOSS:%s\r\n", number, year, month,
                      day, hour, minute,
                      (older ? "0." + std::to_string(loss) + "dB" : lossText(static_cast<std::uint8_t>(loss)) + "dB").c_str());
        log += text;
    }
    return log;
}

double medianMs(int runs, const std::function<void()>& step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption linesOption(QStringLiteral("lines"), QStringLiteral("Log lines (default 100000)."),
                                         QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each step (default 5)."),
                                        QStringLiteral("N"), QStringLiteral("5"));
    parser.addOptions({linesOption, runsOption});
    parser.process(app);
    const int lines = std::max(1, parser.value(linesOption).toInt());
    const int runs = std::max(1, parser.value(runsOption).toInt());

    const std::string log = makeLog(lines);
    ParsedLogs parsed;
    SpliceReport report;
    std::string csv;
    const double parseMs = medianMs(runs, [&] {
        parsed = {};
        parseLog(log, "bench.log", true, parsed);
    });
    const double buildMs = medianMs(runs, [&] { report = buildReport(parsed, 0.10); });
    const double csvMs = medianMs(runs, [&] { csv = csvText(report); });
    QByteArray pdfBytes;
    const double pdfMs = medianMs(runs, [&] {
        QBuffer buffer(&pdfBytes);
        buffer.open(QIODevice::WriteOnly);
        PdfOptions options;
        writePdf(report, options, buffer, nullptr);
    });

    // The program itself, start-up and file reading included.
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("bench.log"));
    QFile file(logPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(log.data(), static_cast<qint64>(log.size())) < 0) {
        std::fprintf(stderr, "report-bench: cannot write %s\n", qPrintable(logPath));
        return 1;
    }
    file.close();
    const auto programMs = [&](const QStringList& outputs) {
        return medianMs(runs, [&] {
            QProcess process;
            process.start(QStringLiteral(SPLICE_REPORT_PATH), outputs + QStringList{logPath});
            process.waitForFinished(600000);
        });
    };
    const double programCsvMs = programMs({QStringLiteral("--csv"), dir.filePath(QStringLiteral("out.csv"))});
    const double programAllMs = programMs({QStringLiteral("--csv"), dir.filePath(QStringLiteral("out.csv")),
                                           QStringLiteral("--pdf"), dir.filePath(QStringLiteral("out.pdf"))});

    std::printf("log: %d lines, %zu splices, %zu duplicates dropped; median of %d runs\n", lines,
                report.splices.size(), report.duplicatesDropped, runs);
    std::printf("  parse                        %9.1f ms\n", parseMs);
    std::printf("  duplicates, statistics       %9.1f ms\n", buildMs);
    std::printf("  CSV text                     %9.1f ms\n", csvMs);
    const int pages = pdfPageCount(report, PdfOptions{});
    std::printf("  PDF, %5d pages              %9.1f ms   (%.2f ms a page)\n", pages, pdfMs, pdfMs / pages);
    std::printf("  parse + report (no PDF)      %9.1f ms   target < 1000 ms\n", parseMs + buildMs + csvMs);
    std::printf("splice-report --csv            %9.1f ms   (the program, start-up included)\n", programCsvMs);
    std::printf("splice-report --csv --pdf      %9.1f ms\n", programAllMs);
    return 0;
}
