#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <cstdlib>

#include "report/pdf_report.h"
#include "report/report_cli.h"

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform asks for a runtime directory it never uses for a PDF; its
// warning would only puzzle someone running the report from cron or a script.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char* argv[])
{
    // The PDF is drawn without a window, so no display is wanted even when one is there:
    // a stale DISPLAY over ssh would otherwise stop a run that only writes files.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    defaultHandler = qInstallMessageHandler(quietHandler);
    // Takes Qt's own options (-platform, -display...) out of argv; the rest keeps its bytes.
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("splice-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPLICE_VERSION));
    const std::vector<std::string> arguments(argv, argv + argc);

    const auto writePdf = [](const splicerec::report::SpliceReport& report, const std::string& path,
                             const std::string& title, std::string& error) {
        splicerec::report::PdfOptions options;
        options.title = QString::fromStdString(title);
        options.generated = QDateTime::currentDateTime();
        options.generator = QStringLiteral("splice-report " SPLICE_VERSION);
        QFile file(QFile::decodeName(path.c_str()));
        QString reason;
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && splicerec::report::writePdf(report, options, file, &reason))
            return true;
        error = (reason.isEmpty() ? file.errorString() : reason).toStdString();
        return false;
    };
    return splicerec::report::runReport(arguments, SPLICE_VERSION, writePdf);
}
