#include "report/pdf_report.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "report/text_output.h"

namespace splicerec::report {
namespace {

// Everything is laid out in millimetres on A4 and converted at the writer's resolution.
constexpr int kDpi = 300;
constexpr double kPageW = 210, kPageH = 297;
constexpr double kLeft = 18, kRight = kPageW - 18, kTop = 16, kBottom = kPageH - 18;
constexpr double kRowH = 4.8;

const QColor kInk(30, 30, 30), kGrey(110, 110, 110), kRule(190, 190, 190), kGrid(225, 225, 225);
const QColor kBar(70, 110, 160), kAbove(185, 30, 30), kAboveRow(252, 226, 226), kHeaderRow(236, 239, 244);

double px(double mm) { return mm * kDpi / 25.4; }
QRectF box(double x, double y, double w, double h) { return {px(x), px(y), px(w), px(h)}; }

QString qs(const std::string& text) { return QString::fromStdString(text); }

QString dateText(const std::string& iso)  // "2002-12-19T15:27" -> "2002-12-19 15:27"
{
    return qs(iso).replace(QLatin1Char('T'), QLatin1Char(' '));
}

QString percent(double share) { return QString::number(share * 100.0, 'f', 1) + QStringLiteral(" %"); }

QString humanFlags(const Splice& splice)
{
    QStringList flags;
    if (!splice.record.validDate)
        flags << QStringLiteral("invalid date");
    if (splice.numberReused)
        flags << QStringLiteral("number reused");
    return flags.join(QStringLiteral(", "));
}

// A step of 1, 2 or 5 times a power of ten that divides `max` into at most `ticks` parts.
double niceStep(double max, int ticks)
{
    const double raw = std::max(max, 1.0) / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10.0 * power;
}

struct Column {
    const char* heading;
    double width;
    Qt::Alignment align;
};
constexpr Column kColumns[] = {
    {"No.", 14, Qt::AlignRight}, {"Date and time", 34, Qt::AlignLeft}, {"Loss (dB)", 19, Qt::AlignRight},
    {"Limit", 16, Qt::AlignLeft}, {"Flags", 48, Qt::AlignLeft},        {"Source", 43, Qt::AlignLeft},
};
constexpr double kCellPad = 1.6;

class Painter {
public:
    Painter(const SpliceReport& report, const PdfOptions& options, QPainter* painter, int pageCount)
        : report_(report), options_(options), p_(painter), pageCount_(pageCount)
    {
        // The title block names the files in full; the rows need only their names.
        for (const std::string& file : report.files)
            fileNames_ << QFileInfo(qs(file)).fileName();
    }

    // Lays out (and, with a painter, draws) every page; returns the number of pages.
    int run()
    {
        drawTitleBlock();
        drawStatistics();
        drawHistogram();
        drawRecords();
        drawBadLines();
        drawFooter();
        return page_;
    }

private:
    QFont font(double points, bool bold = false, bool mono = false) const
    {
        QFont f(mono ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(points);
        f.setBold(bold);
        return f;
    }

    void text(const QRectF& rect, const QString& s, const QFont& f, const QColor& color,
              Qt::Alignment align = Qt::AlignLeft, Qt::TextElideMode elide = Qt::ElideRight)
    {
        if (!p_)
            return;
        p_->setFont(f);
        p_->setPen(color);
        const QString shown = QFontMetricsF(f, p_->device()).elidedText(s, elide, rect.width());
        p_->drawText(rect, static_cast<int>(align | Qt::AlignVCenter), shown);
    }

    void rule(double x1, double y, double x2, const QColor& color, double widthMm = 0.2)
    {
        if (!p_)
            return;
        p_->setPen(QPen(color, px(widthMm)));
        p_->drawLine(QPointF(px(x1), px(y)), QPointF(px(x2), px(y)));
    }

    void fill(const QRectF& rect, const QColor& color)
    {
        if (p_)
            p_->fillRect(rect, color);
    }

    void drawFooter()
    {
        rule(kLeft, kBottom + 3, kRight, kRule);
        text(box(kLeft, kBottom + 4, 120, 5), options_.title, font(7.5), kGrey);
        text(box(kRight - 50, kBottom + 4, 50, 5),
             QStringLiteral("page %1 of %2").arg(page_).arg(std::max(pageCount_, page_)), font(7.5), kGrey,
             Qt::AlignRight);
    }

    void newPage()
    {
        drawFooter();
        if (p_)
            static_cast<QPdfWriter*>(p_->device())->newPage();
        ++page_;
        y_ = kTop;
    }

    void ensureRoom(double height)
    {
        if (y_ + height > kBottom)
            newPage();
    }

    void sectionHeading(const QString& heading)
    {
        text(box(kLeft, y_, kRight - kLeft, 7), heading, font(11.5, true), kInk);
        y_ += 7.5;
    }

    void drawTitleBlock()
    {
        text(box(kLeft, y_, kRight - kLeft, 11), options_.title, font(19, true), kInk);
        y_ += 11;
        QString generated = options_.generator;
        if (options_.generated.isValid())
            generated = QStringLiteral("Generated %1 by %2")
                            .arg(options_.generated.toString(QStringLiteral("yyyy-MM-dd HH:mm")), options_.generator);
        text(box(kLeft, y_, kRight - kLeft, 5), generated, font(8), kGrey);
        y_ += 6;
        rule(kLeft, y_, kRight, kInk, 0.4);
        y_ += 3;

        QStringList files;
        for (const std::string& file : report_.files)
            files << qs(file);
        const Statistics& s = report_.statistics;
        const QString splices = QStringLiteral("%1 (from %2 record lines, %3 dropped as duplicates)")
                                    .arg(s.count)
                                    .arg(report_.linesRead)
                                    .arg(report_.duplicatesDropped);
        QString dates = report_.firstDateTime
                            ? dateText(*report_.firstDateTime) + QStringLiteral("  to  ") + dateText(*report_.lastDateTime)
                            : QStringLiteral("none valid");
        std::size_t invalidDates = 0, reused = 0;
        for (const Splice& splice : report_.splices) {
            invalidDates += splice.record.validDate ? 0 : 1;
            reused += splice.numberReused ? 1 : 0;
        }
        QStringList flagged;
        if (invalidDates)
            flagged << QStringLiteral("%1 with an invalid date or time").arg(invalidDates);
        if (reused)
            flagged << QStringLiteral("%1 sharing a record number with a different record").arg(reused);

        const QList<std::pair<QString, QString>> rows = {
            {QStringLiteral("Source files"), files.join(QStringLiteral(", "))},
            {QStringLiteral("Splices"), splices},
            {QStringLiteral("Dates"), dates},
            {QStringLiteral("Loss limit"), QString::number(report_.maxLossDb, 'f', 2) + QStringLiteral(" dB (a loss above it is marked)")},
            {QStringLiteral("Flagged"), flagged.isEmpty() ? QStringLiteral("none") : flagged.join(QStringLiteral("; "))},
            {QStringLiteral("Lines skipped"),
             report_.badLines.empty() ? QStringLiteral("none")
                                      : QStringLiteral("%1 (listed at the end)").arg(report_.badLines.size())},
        };
        for (const auto& [label, value] : rows) {
            text(box(kLeft, y_, 30, 5.2), label, font(9, true), kInk);
            text(box(kLeft + 30, y_, kRight - kLeft - 30, 5.2), value, font(9), kInk);
            y_ += 5.2;
        }
        y_ += 4;
    }

    void drawStatistics()
    {
        sectionHeading(QStringLiteral("Statistics"));
        const Statistics& s = report_.statistics;
        const bool any = s.count > 0;
        const QString none = QStringLiteral("-");
        const QString limit = QString::number(report_.maxLossDb, 'f', 2);
        const QList<std::pair<QString, QString>> cells = {
            {QStringLiteral("Splices"), QString::number(s.count)},
            {QStringLiteral("Mean (dB)"), any ? QString::number(s.meanDb, 'f', 3) : none},
            {QStringLiteral("Median (dB)"), any ? QString::number(s.medianDb, 'f', 3) : none},
            {QStringLiteral("Maximum (dB)"), any ? QString::number(s.maxDb, 'f', 2) : none},
            {QStringLiteral("Above %1 dB").arg(limit), QString::number(s.aboveLimit)},
            {QStringLiteral("Share above"), any ? percent(s.aboveShare) : none},
        };
        const double w = (kRight - kLeft) / cells.size();
        fill(box(kLeft, y_, kRight - kLeft, 5.5), kHeaderRow);
        for (int i = 0; i < cells.size(); ++i) {
            const double x = kLeft + i * w;
            text(box(x + kCellPad, y_, w - 2 * kCellPad, 5.5), cells[i].first, font(8, true), kInk, Qt::AlignRight);
            const bool alarm = i >= 4 && s.aboveLimit > 0;
            text(box(x + kCellPad, y_ + 5.5, w - 2 * kCellPad, 7), cells[i].second, font(11, alarm),
                 alarm ? kAbove : kInk, Qt::AlignRight);
        }
        rule(kLeft, y_ + 12.5, kRight, kRule);
        y_ += 18;
    }

    void drawHistogram()
    {
        sectionHeading(QStringLiteral("Losses"));
        const auto& bins = report_.histogram;
        const int width = report_.binHundredths, first = report_.histogramStart;
        int maxCount = 0;
        for (const auto& bin : bins)
            maxCount = std::max(maxCount, bin.within + bin.above);
        const int overflow = static_cast<int>(report_.histogramOverflow);
        maxCount = std::max(maxCount, overflow);
        const double yStep = std::max(1.0, niceStep(maxCount, 5));  // whole splices
        const double yMax = std::max(yStep, std::ceil(maxCount / yStep) * yStep);

        const double x0 = kLeft + 12, x1 = kRight, top = y_ + 6, plotH = 52, base = top + plotH;
        // The overflow bar stands apart, one empty slot to the right of the others.
        const std::size_t slotCount = bins.size() + (overflow ? 2 : 0);
        const double barW = (x1 - x0) / static_cast<double>(slotCount);
        // Each whole hundredth sits at the middle of its own slot, so bin i covers
        // first + i * width - 0.5 to first + (i + 1) * width - 0.5 hundredths.
        const auto xOf = [&](double hundredths) { return x0 + (hundredths - first + 0.5) / width * barW; };

        text(box(kLeft, y_, 40, 5), QStringLiteral("splices"), font(7.5), kGrey);
        for (double v = 0; v <= yMax + 1e-9; v += yStep) {
            const double y = base - v / yMax * plotH;
            rule(x0, y, x1, v == 0 ? kInk : kGrid, v == 0 ? 0.3 : 0.15);
            text(box(kLeft, y - 2, 10.5, 4), QString::number(v, 'f', 0), font(7), kGrey, Qt::AlignRight);
        }
        for (std::size_t i = 0; i < bins.size(); ++i) {
            const double x = x0 + static_cast<double>(i) * barW + barW * 0.08, w = barW * 0.84;
            const double hWithin = bins[i].within / yMax * plotH, hAbove = bins[i].above / yMax * plotH;
            fill(box(x, base - hWithin, w, hWithin), kBar);
            fill(box(x, base - hWithin - hAbove, w, hAbove), kAbove);
        }
        if (overflow) {
            const double x = x0 + static_cast<double>(slotCount - 1) * barW, h = overflow / yMax * plotH;
            fill(box(x + barW * 0.08, base - h, barW * 0.84, h), kAbove);
            text(box(x + barW / 2 - 8, base + 1, 16, 4),
                 QStringLiteral("> ") + qs(lossText(static_cast<std::uint8_t>(report_.histogramTop))), font(7, true),
                 kAbove, Qt::AlignHCenter);
        }

        // Loss ticks at round values, about ten of them.
        const int end = first + static_cast<int>(bins.size()) * width;
        const int tick = std::max(width, static_cast<int>(niceStep(end, 10)));
        for (int t = 0; t < end - (overflow ? tick / 2 : 0); t += tick) {
            const double x = xOf(t);
            if (p_) {
                p_->setPen(QPen(kInk, px(0.2)));
                p_->drawLine(QPointF(px(x), px(base)), QPointF(px(x), px(base + 1)));
            }
            text(box(x - 8, base + 1, 16, 4), qs(lossText(static_cast<std::uint8_t>(std::min(t, 255)))), font(7),
                 kGrey, Qt::AlignHCenter);
        }
        text(box(x0, base + 5, x1 - x0, 4.5), QStringLiteral("loss (dB)"), font(7.5), kGrey, Qt::AlignHCenter);

        // The limit sits between the last loss within it and the first above it.
        const double limitHundredths = std::floor(report_.maxLossDb * 100.0 + 1e-6);
        if (limitHundredths < end) {
            const double x = xOf(limitHundredths + 0.5);
            if (p_) {
                QPen pen(kAbove, px(0.35));
                pen.setDashPattern({6, 3});
                p_->setPen(pen);
                p_->drawLine(QPointF(px(x), px(top - 1)), QPointF(px(x), px(base)));
            }
            const QString label = QStringLiteral("limit %1 dB").arg(report_.maxLossDb, 0, 'f', 2);
            const bool roomRight = x + 26 < x1;
            text(box(roomRight ? x + 1 : x - 27, top - 1, 26, 4), label, font(7.5, true), kAbove,
                 roomRight ? Qt::AlignLeft : Qt::AlignRight);
        }

        // Legend, top right.
        const double ly = y_ - 6.5;
        fill(box(x1 - 58, ly + 1.2, 2.6, 2.6), kBar);
        text(box(x1 - 54.5, ly, 24, 5), QStringLiteral("within limit"), font(7.5), kInk);
        fill(box(x1 - 28, ly + 1.2, 2.6, 2.6), kAbove);
        text(box(x1 - 24.5, ly, 24.5, 5), QStringLiteral("above limit"), font(7.5), kInk);

        y_ = base + 13;
    }

    void tableHeader()
    {
        fill(box(kLeft, y_, kRight - kLeft, kRowH + 0.4), kHeaderRow);
        double x = kLeft;
        for (const Column& c : kColumns) {
            text(box(x + kCellPad, y_, c.width - 2 * kCellPad, kRowH + 0.4), QString::fromLatin1(c.heading),
                 font(8, true), kInk, c.align);
            x += c.width;
        }
        y_ += kRowH + 0.4;
    }

    void drawRecords()
    {
        ensureRoom(7.5 + 3 * kRowH);
        sectionHeading(QStringLiteral("Splices (%1 above the limit marked)").arg(report_.statistics.aboveLimit));
        tableHeader();
        const QFont plain = font(8.5), bold = font(8.5, true);
        for (std::size_t i = 0; i < report_.splices.size(); ++i) {
            if (y_ + kRowH > kBottom) {
                newPage();
                tableHeader();
            }
            if (!p_) {  // counting pages only
                y_ += kRowH;
                continue;
            }
            const Splice& splice = report_.splices[i];
            if (splice.aboveLimit)
                fill(box(kLeft, y_, kRight - kLeft, kRowH), kAboveRow);
            else if (i % 2)
                fill(box(kLeft, y_, kRight - kLeft, kRowH), QColor(248, 248, 248));
            const QColor ink = splice.aboveLimit ? kAbove : kInk;
            const QString cells[] = {
                QString::number(splice.record.number),
                dateText(isoDateTime(splice.record)),
                qs(lossText(splice.record.lossHundredths)),
                splice.aboveLimit ? QStringLiteral("ABOVE") : QStringLiteral("ok"),
                humanFlags(splice),
                fileNames_[splice.record.file] + QLatin1Char(':') + QString::number(splice.record.line) +
                    (splice.copies > 1 ? QStringLiteral(" (%1 lines)").arg(splice.copies) : QString()),
            };
            double x = kLeft;
            for (std::size_t c = 0; c < std::size(kColumns); ++c) {
                const bool strong = splice.aboveLimit && (c == 2 || c == 3);
                const QColor color = c == 5 ? kGrey : (c == 4 && !cells[c].isEmpty() ? QColor(150, 90, 0) : ink);
                // The end of the source, its line, is what tells one record from another.
                text(box(x + kCellPad, y_, kColumns[c].width - 2 * kCellPad, kRowH), cells[c], strong ? bold : plain,
                     color, kColumns[c].align, c == 5 ? Qt::ElideLeft : Qt::ElideRight);
                x += kColumns[c].width;
            }
            y_ += kRowH;
        }
        rule(kLeft, y_, kRight, kRule);
        y_ += 6;
    }

    void drawBadLines()
    {
        if (report_.badLines.empty())
            return;
        ensureRoom(7.5 + 2 * kRowH);
        sectionHeading(QStringLiteral("Lines skipped (%1, not record lines)").arg(report_.badLines.size()));
        const QFont mono = font(7.5, false, true);
        for (const BadLine& bad : report_.badLines) {
            ensureRoom(kRowH);
            const QString where = fileNames_[bad.file] + QLatin1Char(':') + QString::number(bad.line);
            text(box(kLeft, y_, 34, kRowH), where, font(8), kGrey, Qt::AlignLeft, Qt::ElideLeft);
            text(box(kLeft + 35, y_, kRight - kLeft - 35, kRowH),
                 QLatin1Char('"') + qs(printableLine(bad.text)) + QLatin1Char('"'), mono, kInk);
            y_ += kRowH;
        }
    }

    const SpliceReport& report_;
    const PdfOptions& options_;
    QPainter* p_;
    QStringList fileNames_;
    int pageCount_;
    int page_ = 1;
    double y_ = kTop;
};

}  // namespace

int pdfPageCount(const SpliceReport& report, const PdfOptions& options)
{
    return Painter(report, options, nullptr, 0).run();
}

bool writePdf(const SpliceReport& report, const PdfOptions& options, QIODevice& out, QString* error)
{
    const int pages = pdfPageCount(report, options);

    QPdfWriter writer(&out);
    writer.setResolution(kDpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(options.title);
    writer.setCreator(options.generator);
    QPainter painter;
    if (!painter.begin(&writer)) {
        if (error)
            *error = QStringLiteral("cannot draw the PDF");
        return false;
    }
    Painter(report, options, &painter, pages).run();
    painter.end();
    if (auto* file = qobject_cast<QFileDevice*>(&out); file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        if (error)
            *error = file->errorString();
        return false;
    }
    return true;
}

}  // namespace splicerec::report
