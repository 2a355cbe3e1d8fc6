#include "report/report_cli.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "report/pdf_report.h"
#include "report/text_output.h"

namespace splicerec::report {
namespace {

void print(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void print(std::FILE* stream, const QString& text) { print(stream, text.toStdString()); }

int usageError(const QString& message)
{
    print(stderr, QStringLiteral("splice-report: %1\nTry 'splice-report --help'.\n").arg(message));
    return kUsage;
}

bool readAll(const QString& path, std::string& content, QString& error)
{
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                    : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    content.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool writeFile(const QString& path, const std::string& content, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content.data(), static_cast<qint64>(content.size())) != static_cast<qint64>(content.size()) ||
        !file.flush()) {
        error = file.errorString();
        return false;
    }
    file.close();
    return true;
}

}  // namespace

int runReport(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Makes a splice report from splice-records logs: duplicates from repeated downloads\n"
        "collapse to one, each loss is checked against a limit, and the result goes to a CSV\n"
        "file, an A4 PDF and a short summary on standard output.\n\n"
        "Exit status: 0 every splice within the limit, 3 one or more above it,\n"
        "1 bad input (a line that is not a record line, an unreadable log, an unwritable output),\n"
        "2 usage error."));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Write the splices as CSV to FILE (- for standard output)."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("Write the A4 report to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("Heading of the PDF report (job or route name)."),
                                   QStringLiteral("TEXT"), QStringLiteral("Splice report"));
    const QCommandLineOption maxLoss(QStringLiteral("max-loss"),
                                     QStringLiteral("Loss limit in dB; a splice above it is marked (default 0.10)."),
                                     QStringLiteral("DB"), QStringLiteral("0.10"));
    const QCommandLineOption skipBad(QStringLiteral("skip-bad"),
                                     QStringLiteral("Skip lines that are not record lines, and list them in the report."));
    parser.addOptions({csv, pdf, title, maxLoss, skipBad});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("Log files written by splice-records (- for standard input)."),
                                 QStringLiteral("LOG..."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, parser.helpText());
        return kWithinLimit;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("splice-report %1\n").arg(QCoreApplication::applicationVersion()));
        return kWithinLimit;
    }
    bool isNumber = false;
    const double limit = parser.value(maxLoss).toDouble(&isNumber);
    if (!isNumber || !(limit >= 0) || limit > 1000)
        return usageError(QStringLiteral("--max-loss wants a loss in dB such as 0.10, not \"%1\"").arg(parser.value(maxLoss)));
    const QStringList logs = parser.positionalArguments();
    if (logs.isEmpty())
        return usageError(QStringLiteral("name at least one log file"));
    const QString csvPath = parser.value(csv), pdfPath = parser.value(pdf);
    if (parser.isSet(csv) && csvPath.isEmpty())
        return usageError(QStringLiteral("--csv wants a file name or -"));
    if (parser.isSet(pdf) && (pdfPath.isEmpty() || pdfPath == QLatin1String("-")))
        return usageError(QStringLiteral("--pdf wants a file name"));

    ParsedLogs parsed;
    std::string content;
    for (const QString& log : logs) {
        QString error;
        if (!readAll(log, content, error)) {
            print(stderr, QStringLiteral("splice-report: %1: %2\n").arg(log, error));
            return kBadInput;
        }
        if (!parseLog(content, log.toStdString(), !parser.isSet(skipBad), parsed)) {
            const BadLine& bad = parsed.badLines.back();
            print(stderr, log.toStdString() + ":" + std::to_string(bad.line) + ": not a record line: \"" +
                              printableLine(bad.text) + "\"\n");
            return kBadInput;
        }
    }
    const SpliceReport report = buildReport(std::move(parsed), limit);

    const bool csvToStdout = csvPath == QLatin1String("-");
    if (parser.isSet(csv)) {
        const std::string text = csvText(report);
        QString error;
        if (csvToStdout) {
            if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
                print(stderr, QStringLiteral("splice-report: cannot write the CSV to standard output\n"));
                return kBadInput;
            }
        } else if (!writeFile(csvPath, text, error)) {
            print(stderr, QStringLiteral("splice-report: %1: %2\n").arg(csvPath, error));
            return kBadInput;
        }
    }
    if (parser.isSet(pdf)) {
        PdfOptions options;
        options.title = parser.value(title);
        options.generated = QDateTime::currentDateTime();
        options.generator = QStringLiteral("splice-report %1").arg(QCoreApplication::applicationVersion());
        QFile file(pdfPath);
        QString error;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !writePdf(report, options, file, &error)) {
            print(stderr, QStringLiteral("splice-report: %1: %2\n").arg(pdfPath, error.isEmpty() ? file.errorString() : error));
            return kBadInput;
        }
    }
    // The summary keeps out of the way of a CSV on standard output.
    print(csvToStdout ? stderr : stdout, summaryText(report));
    return report.statistics.aboveLimit ? kAboveLimit : kWithinLimit;
}

}  // namespace splicerec::report
