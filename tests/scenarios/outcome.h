#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenarios/scenarios.h"

namespace splicerec::test {

// The program as the technician finds it at the end of a row.
struct Outcome {
    std::vector<std::string> boxes;  // message box texts, in order
    std::string status, buttons;
    bool portOpen = false;
    std::vector<std::string> log;
    std::string page;   // the text area, lines apart by CR LF
    std::string heard;  // what the instrument heard
};

inline bool boxMatches(const std::string& seen, const std::string& wanted)
{
    if (!wanted.empty() && wanted.back() == '*')
        return seen.starts_with(wanted.substr(0, wanted.size() - 1));
    return seen == wanted;
}

// `text` with every `what` in it written as `name`.
inline std::string replaced(std::string text, const std::string& what, const std::string& name)
{
    for (auto at = text.find(what); !what.empty() && at != std::string::npos; at = text.find(what, at + name.size()))
        text.replace(at, what.size(), name);
    return text;
}

inline void expectOutcome(const Scenario& row, const Outcome& got, const std::string& device, const std::string& log)
{
    const auto named = [&](const std::string& text) { return replaced(replaced(text, log, "{log}"), device, "{dev}"); };
    std::vector<std::string> boxes;
    for (const auto& box : got.boxes)
        boxes.push_back(named(box));
    EXPECT_TRUE(std::equal(boxes.begin(), boxes.end(), row.boxes.begin(), row.boxes.end(), boxMatches))
        << "boxes seen: " << testing::PrintToString(boxes);
    EXPECT_PRED2(boxMatches, named(got.status), row.end.status);
    EXPECT_EQ(got.buttons, row.end.buttons);
    EXPECT_EQ(got.portOpen, row.end.portOpen);
    EXPECT_EQ(got.log, expectedLines(row.log)) << "the record log";
    std::string page;
    for (const auto& line : row.page())
        page += (page.empty() ? "" : "\r\n") + line;
    EXPECT_EQ(got.page, page);
    if (!row.heard.empty() || row.behaviour.stalled) {
        EXPECT_EQ(got.heard, row.heard);
    }
}

}  // namespace splicerec::test
