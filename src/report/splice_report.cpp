#include "report/splice_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace splicerec::report {

std::string flagsText(const Splice& splice)
{
    std::string flags;
    if (!splice.record.validDate)
        flags = "invalid_date";
    if (splice.numberReused)
        flags += flags.empty() ? "number_reused" : ";number_reused";
    return flags;
}

bool isAbove(std::uint8_t lossHundredths, double limitDb)
{
    // The limit is typed in dB with two decimals; the margin keeps 0.10 from reading as 0.1000001.
    return lossHundredths > limitDb * 100.0 + 1e-6;
}

namespace {

Statistics computeStatistics(const std::vector<Splice>& splices)
{
    Statistics s;
    s.count = splices.size();
    if (s.count == 0)
        return s;
    // Losses are whole hundredths: count them instead of sorting.
    std::array<std::size_t, 256> counts{};
    std::uint64_t sum = 0;
    int max = 0;
    for (const Splice& splice : splices) {
        const int loss = splice.record.lossHundredths;
        ++counts[static_cast<std::size_t>(loss)];
        sum += static_cast<std::uint64_t>(loss);
        max = std::max(max, loss);
        s.aboveLimit += splice.aboveLimit ? 1 : 0;
    }
    const auto nth = [&counts](std::size_t index) {  // 0-based, in ascending order
        std::size_t seen = 0;
        for (std::size_t loss = 0; loss < counts.size(); ++loss) {
            seen += counts[loss];
            if (seen > index)
                return static_cast<int>(loss);
        }
        return 255;
    };
    const int low = nth((s.count - 1) / 2), high = nth(s.count / 2);
    s.meanDb = static_cast<double>(sum) / static_cast<double>(s.count) / 100.0;
    s.medianDb = (low + high) / 200.0;
    s.maxDb = max / 100.0;
    s.aboveShare = static_cast<double>(s.aboveLimit) / static_cast<double>(s.count);
    return s;
}

// A width that gives at most 30 bars up to the largest loss or the limit.
int binWidth(int maxHundredths)
{
    for (int width : {1, 2, 5, 10, 20, 25, 50})
        if (maxHundredths / width < 29)
            return width;
    return 100;
}

}  // namespace

SpliceReport buildReport(ParsedLogs logs, double maxLossDb)
{
    SpliceReport report;
    report.files = std::move(logs.files);
    report.badLines = std::move(logs.badLines);
    report.linesRead = logs.records.size();
    report.maxLossDb = maxLossDb;

    std::unordered_map<std::uint64_t, std::size_t> seen;  // key -> index in splices
    seen.reserve(logs.records.size());
    std::vector<std::uint8_t> variants(65536, 0);  // different records per number, capped at 2
    for (const LogRecord& record : logs.records) {
        const auto [it, added] = seen.try_emplace(record.key(), report.splices.size());
        if (!added) {
            ++report.splices[it->second].copies;
            ++report.duplicatesDropped;
            continue;
        }
        Splice splice;
        splice.record = record;
        splice.aboveLimit = isAbove(record.lossHundredths, maxLossDb);
        report.splices.push_back(splice);
        auto& count = variants[record.number];
        if (count < 2 && ++count == 2)
            ++report.reusedNumbers;
    }

    int maxLoss = 0;
    for (Splice& splice : report.splices) {
        splice.numberReused = variants[splice.record.number] > 1;
        maxLoss = std::max<int>(maxLoss, splice.record.lossHundredths);
        if (splice.record.validDate) {
            const std::string when = isoDateTime(splice.record);
            // ISO text of valid dates sorts as the dates do.
            if (!report.firstDateTime || when < *report.firstDateTime)
                report.firstDateTime = when;
            if (!report.lastDateTime || when > *report.lastDateTime)
                report.lastDateTime = when;
        }
    }
    report.statistics = computeStatistics(report.splices);

    // The bars cover three times the limit, or more when over 5% of the splices lie
    // beyond that; the few losses further out (failed splices, far above the limit)
    // share one overflow bar instead of squeezing the others into a corner.
    const int limitHundredths = std::clamp(static_cast<int>(std::floor(maxLossDb * 100.0 + 1e-6)), 0, 255);
    std::vector<int> losses;
    losses.reserve(report.splices.size());
    for (const Splice& splice : report.splices)
        losses.push_back(splice.record.lossHundredths);
    int p95 = 0;
    if (!losses.empty()) {
        const auto at = losses.begin() + static_cast<std::ptrdiff_t>((losses.size() - 1) * 95 / 100);
        std::nth_element(losses.begin(), at, losses.end());
        p95 = *at;
    }
    const int top = std::min(maxLoss, std::max(3 * (limitHundredths + 1), p95));
    report.histogramTop = top;
    const int rangeTop = std::max(top, limitHundredths + 1);
    // Bins start where the limit falls, so that no bar mixes losses within it and above it.
    const int width = report.binHundredths = binWidth(rangeTop);
    const int offset = (limitHundredths + 1) % width;
    report.histogramStart = offset ? offset - width : 0;
    report.histogram.resize(static_cast<std::size_t>((rangeTop - report.histogramStart) / width + 1));
    for (const Splice& splice : report.splices) {
        if (splice.record.lossHundredths > top) {
            ++report.histogramOverflow;
            continue;
        }
        const int bin = (splice.record.lossHundredths - report.histogramStart) / width;
        ++(splice.aboveLimit ? report.histogram[static_cast<std::size_t>(bin)].above
                             : report.histogram[static_cast<std::size_t>(bin)].within);
    }
    return report;
}

}  // namespace splicerec::report
