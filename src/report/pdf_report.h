#pragma once

#include <QDateTime>
#include <QString>

#include "report/splice_report.h"

class QIODevice;

namespace splicerec::report {

struct PdfOptions {
    QString title = QStringLiteral("Splice report");
    QDateTime generated;  // printed under the title; invalid: left out
    QString generator;    // "splice-report 1.0.0"
};

// Draws the report on A4 pages into `out`: the title block, the statistics, the
// histogram of the losses with the limit, the table of splices and the skipped lines.
// Needs a QGuiApplication (any platform, "offscreen" included). False with `error`
// set when the device could not be painted on or written.
bool writePdf(const SpliceReport& report, const PdfOptions& options, QIODevice& out, QString* error);

// How many pages writePdf() draws for `report`.
int pdfPageCount(const SpliceReport& report, const PdfOptions& options);

}  // namespace splicerec::report
