#include <QGuiApplication>
#include <cstdlib>

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
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("splice-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPLICE_VERSION));
    return splicerec::report::runReport(QCoreApplication::arguments());
}
