#include "report/text_output.h"

#include <cstdio>

namespace splicerec::report {

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string lossText(std::uint8_t hundredths)
{
    char text[8];
    std::snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
    return text;
}

std::string csvText(const SpliceReport& report)
{
    std::string csv = "record,date_time,loss_db,above_limit,flags\r\n";
    csv.reserve(csv.size() + report.splices.size() * 48);
    for (const Splice& splice : report.splices) {
        csv += std::to_string(splice.record.number);
        csv += ',';
        csv += isoDateTime(splice.record);
        csv += ',';
        csv += lossText(splice.record.lossHundredths);
        csv += splice.aboveLimit ? ",yes," : ",no,";
        csv += csvField(flagsText(splice));
        csv += "\r\n";
    }
    return csv;
}

std::string summaryText(const SpliceReport& report)
{
    const Statistics& s = report.statistics;
    char line[256];
    std::string text;
    std::snprintf(line, sizeof line, "splices: %zu from %zu record lines (%zu dropped as duplicates)\n", s.count,
                  report.linesRead, report.duplicatesDropped);
    text += line;
    if (report.reusedNumbers) {
        std::snprintf(line, sizeof line, "record numbers used by more than one record: %zu\n", report.reusedNumbers);
        text += line;
    }
    if (report.firstDateTime) {
        std::string first = *report.firstDateTime, last = *report.lastDateTime;
        first[10] = last[10] = ' ';
        text += "dates: " + first + " to " + last + "\n";
    }
    if (s.count) {
        std::snprintf(line, sizeof line, "loss dB: mean %.3f, median %.3f, max %.2f\n", s.meanDb, s.medianDb,
                      s.maxDb);
        text += line;
    }
    std::snprintf(line, sizeof line, "above %.2f dB: %zu (%.1f%%)\n", report.maxLossDb, s.aboveLimit,
                  s.aboveShare * 100.0);
    text += line;
    if (!report.badLines.empty()) {
        std::snprintf(line, sizeof line, "lines skipped: %zu\n", report.badLines.size());
        text += line;
        for (const BadLine& bad : report.badLines)
            text += "  " + report.files[bad.file] + ":" + std::to_string(bad.line) + ": \"" +
                    printableLine(bad.text) + "\"\n";
    }
    return text;
}

}  // namespace splicerec::report
