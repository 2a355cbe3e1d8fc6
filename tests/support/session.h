#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/controller.h"
#include "support/fake_window.h"
#include "support/sim_port.h"

namespace splicerec::test {

// The whole program without widgets or devices: the real controller against the fake
// window, the simulated instrument and a real log file in a private folder.
struct Session {
    explicit Session(sim::Behaviour behaviour = {}, std::string logName = "RECORD.txt")
        : dir(makeDir()), port(window, clock, behaviour), controller(window, port, clock, RecordLog(dir / logName))
    {
        controller.startUp();
    }
    ~Session() { std::filesystem::remove_all(dir); }

    std::vector<std::string> logLines() const
    {
        std::ifstream in(controller.log().path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        std::vector<std::string> lines;
        const auto all = text.str();
        for (std::size_t start = 0; start < all.size();) {
            const auto end = all.find("\r\n", start);
            lines.push_back(all.substr(start, end - start));
            start = end == std::string::npos ? all.size() : end + 2;
        }
        return lines;
    }

    std::vector<std::string> pageLines() const
    {
        std::vector<std::string> lines;
        const auto text = window.pageText();
        for (std::size_t start = 0; start <= text.size();) {
            const auto end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        return lines;
    }

    // Record requests sent since `mark`, a size of port.written() taken earlier.
    long requestsSince(std::size_t mark) const
    {
        const auto sent = port.written().substr(mark);
        return std::count(sent.begin(), sent.end(), 'n');
    }

    std::vector<bool> lowerButtons() const
    {
        return {window.isEnabled(Button::Command1), window.isEnabled(Button::Command4),
                window.isEnabled(Button::Command3), window.isEnabled(Button::Command2)};
    }

    static std::filesystem::path makeDir()
    {
        static int sequence = 0;
        auto dir = std::filesystem::temp_directory_path() /
                   ("splice-session-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        return dir;
    }

    std::filesystem::path dir;
    FakeClock clock;
    FakeWindow window{clock};
    SimPort port;
    Controller controller;
};

// Start, Next Page, ReadAll, StopRead, as the lower buttons read from left to right.
inline std::vector<bool> buttons(bool start, bool nextPage, bool readAll, bool stopRead)
{
    return {start, nextPage, readAll, stopRead};
}

}  // namespace splicerec::test
