#pragma once

#include <string>

#include "report/splice_report.h"

namespace splicerec::report {

// RFC 4180: a header `record,date_time,loss_db,above_limit,flags`, CR LF after every
// row, one row per splice in the report's order.
std::string csvText(const SpliceReport& report);

// A field quoted when it holds a comma, a double quote, CR or LF.
std::string csvField(const std::string& text);

// "1.50" from 150 hundredths.
std::string lossText(std::uint8_t hundredths);

// The few lines printed at the end of a run: counts, statistics, skipped lines.
std::string summaryText(const SpliceReport& report);

}  // namespace splicerec::report
