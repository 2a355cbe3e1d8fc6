// download-bench: how fast the program downloads and how little CPU it uses meanwhile,
// with the real protocol code and serial port against splicer-sim in a separate
// process; also the program's start-up time and resident memory at rest.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_window.h"
#include "child_process.h"
#include "log/record_log.h"
#include "protocol/clock.h"
#include "protocol/controller.h"
#include "serial/qt_serial_port.h"

namespace splicerec::bench {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Mode = EventPump::Mode;

// One record: a request byte and an eight-byte reply, ten bits a byte at 2400 baud. The
// simulated instrument, paced, charges both, so no download can beat this.
constexpr double kWireSecondsPerRecord = 9 * 10 / 2400.0;

struct Config {
    int runs = 3;
    int unpacedRecords = 5000;
    int pacedRecords = 200;
    int startupRuns = 5;
    std::string simPath = SPLICER_SIM_PATH;
    std::string appPath = SPLICE_RECORDS_PATH;
    std::string windowPath = HW_DRIVER_PATH;  // the real window, driven from stdin
    std::filesystem::path workDir;
    int restMs = 3000;  // how long the resting window is watched
    double maxWindowRatio = 0;  // > 0: fail when the window on X turns around slower than this many bench windows
    std::string only;  // "unpaced", "paced" or "window": that download alone, for a profiler
    Mode onlyMode = Mode::Paced;
};

struct Download {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakRssMb = 0;
    double turnaroundMedianMs = 0;  // paced: as the instrument saw it
    double turnaroundP95Ms = 0;
    double serverCpuSeconds = 0;     // the X server's, during the download
    double restWakeupsPerSecond = 0;  // the window's, at rest after it
};

// splicer-sim's closing line: "turnaround: N requests, median X ms, p95 Y ms, ...".
void readTurnaround(ChildProcess& sim, Download& d)
{
    sim.terminate();
    while (const auto line = sim.readLine(seconds(5))) {
        if (std::sscanf(line->c_str(), "turnaround: %*d requests, median %lf ms, p95 %lf ms", &d.turnaroundMedianMs,
                        &d.turnaroundP95Ms) == 2)
            return;
    }
}

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double peakRssMb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kB on Linux
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

long countLines(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

// Com Test, then ReadAll until the download completes. Only ReadAll is timed: the
// clocks start once the instrument has told its record count.
Download download(const Config& config, int records, bool paced, Mode mode)
{
    std::vector<std::string> arguments{"--records", std::to_string(records)};
    if (paced)
        arguments.emplace_back("--paced");
    ChildProcess::Options capture;
    capture.captureStdout = true;
    ChildProcess sim(config.simPath, arguments, capture);
    const auto device = sim.readLine(seconds(10));
    if (!device || device->empty())
        throw std::runtime_error("splicer-sim printed no device path");

    const auto logPath = config.workDir / "RECORD.txt";
    std::filesystem::remove(logPath);

    BenchWindow window(mode);
    QtSerialPort port(QString::fromStdString(*device));
    SteadyClock clock;
    RecordLog log(logPath.string());
    Controller controller(window, port, clock, log);
    controller.startUp();
    controller.comTest();
    if (controller.state().recordCount != records)
        throw std::runtime_error("Com Test failed: " + window.statusText() + " " + window.messages());

    const double cpuBefore = processCpuSeconds();
    const double wallBefore = wallSeconds();
    controller.readAll();
    const double wallAfter = wallSeconds();
    const double cpuAfter = processCpuSeconds();

    if (!window.downloadCompleted() || window.recordsShown() != records || window.lastRecordNumber() != records ||
        countLines(logPath) != records) {
        throw std::runtime_error("download incomplete: " + std::to_string(window.recordsShown()) + " of " +
                                 std::to_string(records) + " records; messages: " + window.messages());
    }
    Download d{wallAfter - wallBefore, cpuAfter - cpuBefore, peakRssMb()};
    if (paced)
        readTurnaround(sim, d);
    return d;
}

// CPU time of every thread of `pid` so far, to the nanosecond.
double childCpuSeconds(pid_t pid)
{
    double total = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream stat(task.path() / "schedstat");
        double nanoseconds = 0;
        if (stat >> nanoseconds)
            total += nanoseconds * 1e-9;
    }
    return total;
}

// An X server of the bench's own. On it the real window is drawn and sent to a display
// server, as on a technician's desktop; offscreen, Qt draws into memory and talks to nobody.
class XServer {
public:
    XServer() : process_("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, options())
    {
        const auto number = process_.readLine(seconds(10));
        if (!number || number->empty())
            throw std::runtime_error("Xvfb printed no display number");
        display_ = ":" + *number;
    }
    const std::string& display() const { return display_; }
    pid_t pid() const { return process_.pid(); }

private:
    static ChildProcess::Options options()
    {
        ChildProcess::Options options;
        options.captureStdout = true;
        return options;
    }
    ChildProcess process_;
    std::string display_;
};

std::vector<std::string> appEnvironment(const Config& config, const XServer* x = nullptr);

// Context switches of every thread of `pid` so far: each one a wake-up or a preemption.
long childContextSwitches(pid_t pid)
{
    long total = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:"))
                total += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return total;
}

// The same paced download in the real window (hw_driver) in its own process, offscreen or
// on `x`: Com Test, then ReadAll, timed from the click until the log holds every record.
// Then the completion box is closed and the resting window's wake-ups are counted.
std::optional<Download> windowDownload(const Config& config, int records, const XServer* x)
{
    if (config.windowPath.empty())
        return std::nullopt;
    ChildProcess::Options capture;
    capture.captureStdout = true;
    ChildProcess sim(config.simPath, {"--records", std::to_string(records), "--paced"}, capture);
    const auto device = sim.readLine(seconds(10));
    if (!device || device->empty())
        throw std::runtime_error("splicer-sim printed no device path");
    const auto logPath = config.workDir / "window-RECORD.txt";
    std::filesystem::remove(logPath);

    ChildProcess::Options options;
    options.captureStdout = true;
    options.pipeStdin = true;
    options.extraEnvironment = appEnvironment(config, x);
    ChildProcess window(config.windowPath, {"--port", *device, "--log", logPath.string()}, options);
    const auto waitFor = [&](const std::string& prefix, seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto line = window.readLine(milliseconds(500));
            if (line && line->starts_with(prefix))
                return true;
        }
        return false;
    };
    const std::string where = x ? "on the X server" : "offscreen";
    if (!waitFor("ready", seconds(30)) || !window.writeLine("click Command5") ||
        !waitFor("status: Communication success", seconds(30)))
        throw std::runtime_error("Com Test failed in the real window " + where);
    window.writeLine("watch off");
    if (!waitFor("watch", seconds(10)))
        throw std::runtime_error("the real window " + where + " does not answer");

    const double serverBefore = x ? childCpuSeconds(x->pid()) : 0;
    const double cpuBefore = childCpuSeconds(window.pid());
    const double wallBefore = wallSeconds();
    window.writeLine("click Command3");
    const auto deadline = std::chrono::steady_clock::now() + seconds(10 + records);
    while (countLines(logPath) < records && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(2));
    const double wallAfter = wallSeconds();
    const double cpuAfter = childCpuSeconds(window.pid());
    const double serverAfter = x ? childCpuSeconds(x->pid()) : 0;
    if (countLines(logPath) != records)
        throw std::runtime_error("the real window " + where + " logged " + std::to_string(countLines(logPath)) +
                                 " of " + std::to_string(records) + " records");
    Download d{wallAfter - wallBefore, cpuAfter - cpuBefore, 0};
    d.serverCpuSeconds = serverAfter - serverBefore;
    readTurnaround(sim, d);

    // At rest: the completion box closed, the port closed, nothing asked of the program.
    window.writeLine("ok");
    if (!waitFor("ok", seconds(10)))
        throw std::runtime_error("the real window " + where + " did not close its box");
    std::this_thread::sleep_for(milliseconds(500));
    const long switchesBefore = childContextSwitches(window.pid());
    const double restBefore = wallSeconds();
    std::this_thread::sleep_for(milliseconds(config.restMs));
    d.restWakeupsPerSecond =
        static_cast<double>(childContextSwitches(window.pid()) - switchesBefore) / (wallSeconds() - restBefore);
    window.writeLine("quit");
    window.waitForExit(seconds(10));
    return d;
}

std::vector<std::string> appEnvironment(const Config& config, const XServer* x)
{
    std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen"};
    if (x)
        environment = {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x->display()};
    if (!std::getenv("XDG_RUNTIME_DIR"))
        environment.push_back("XDG_RUNTIME_DIR=" + config.workDir.string());
    return environment;
}

std::vector<std::string> appArguments(const Config& config)
{
    return {"--demo", "--log", (config.workDir / "app-RECORD.txt").string()};
}

// From launching the program until it exits right after showing its window.
std::optional<double> startupSeconds(const Config& config)
{
    auto environment = appEnvironment(config);
    environment.push_back("SPLICE_EXIT_WHEN_SHOWN=1");
    const double before = wallSeconds();
    ChildProcess::Options options;
    options.extraEnvironment = environment;
    ChildProcess app(config.appPath, appArguments(config), options);
    if (!app.waitForExit(seconds(10)))
        return std::nullopt;  // a program without the exit hook stays up
    return wallSeconds() - before;
}

std::optional<double> vmRssMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;  // kB
    }
    return std::nullopt;
}

// The idle program's resident memory, a while after its window came up.
std::optional<double> restingRssMb(const Config& config)
{
    ChildProcess::Options options;
    options.extraEnvironment = appEnvironment(config);
    ChildProcess app(config.appPath, appArguments(config), options);
    std::this_thread::sleep_for(milliseconds(1500));
    const auto rss = vmRssMb(app.pid());
    app.terminate();
    return rss;
}

std::string cpuModel()
{
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.starts_with("model name")) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown CPU";
}

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void row(const std::string& figure, const std::string& paced, const std::string& busy, const std::string& target)
{
    std::printf("| %-55s | %10s | %10s | %-8s |\n", figure.c_str(), paced.c_str(), busy.c_str(), target.c_str());
}

// One kind of download alone, each run's figures on a line: something to put under a
// profiler without the busy runs drowning it.
int runOnly(const Config& config)
{
    if (config.only == "window") {
        const XServer x;
        for (int runIndex = 0; runIndex < config.runs; ++runIndex) {
            const auto d = windowDownload(config, config.pacedRecords, &x);
            if (!d)
                throw std::runtime_error("no window program to run");
            std::printf("window on X, %d records: turnaround median %.3f ms, p95 %.3f ms, efficiency %.1f%%, "
                        "CPU %.2f%% of one core, X server %.2f%%, at rest %.1f wake-ups/s\n",
                        config.pacedRecords, d->turnaroundMedianMs, d->turnaroundP95Ms,
                        100.0 * config.pacedRecords * kWireSecondsPerRecord / d->wallSeconds,
                        100.0 * d->cpuSeconds / d->wallSeconds, 100.0 * d->serverCpuSeconds / d->wallSeconds,
                        d->restWakeupsPerSecond);
            std::fflush(stdout);
        }
        return 0;
    }
    const bool paced = config.only == "paced";
    const int records = paced ? config.pacedRecords : config.unpacedRecords;
    for (int runIndex = 0; runIndex < config.runs; ++runIndex) {
        const auto d = download(config, records, paced, config.onlyMode);
        std::printf("%s %d records, %s pump: wall %.3f s, CPU %.3f s (%.2f%% of one core, %.3f ms/record)\n",
                    config.only.c_str(), records, config.onlyMode == Mode::Paced ? "paced" : "busy", d.wallSeconds,
                    d.cpuSeconds, 100.0 * d.cpuSeconds / d.wallSeconds, d.cpuSeconds * 1000.0 / records);
    }
    return 0;
}

// Each run's figures of one kind of download.
struct Series {
    std::vector<double> wall, cpu, rss, turnaround, turnaroundP95, serverCpu, restWakeups;
    void add(const Download& d)
    {
        wall.push_back(d.wallSeconds);
        cpu.push_back(d.cpuSeconds);
        rss.push_back(d.peakRssMb);
        turnaround.push_back(d.turnaroundMedianMs);
        turnaroundP95.push_back(d.turnaroundP95Ms);
        serverCpu.push_back(d.serverCpuSeconds);
        restWakeups.push_back(d.restWakeupsPerSecond);
    }
};

// The real window's download on the X server and offscreen; returns how many times the
// bench window's turnaround median the window on X took.
double printWindowTable(const Config& config, const Series& onX, const Series& offscreen, double benchTurnaround)
{
    const double wireLimit = config.pacedRecords * kWireSecondsPerRecord;
    const auto percentOfWall = [](const std::vector<double>& seconds, const std::vector<double>& wall) {
        std::vector<double> percent;
        for (std::size_t i = 0; i < wall.size(); ++i)
            percent.push_back(100.0 * seconds[i] / wall[i]);
        return median(percent);
    };
    const auto efficiency = [&](const Series& series) {
        std::vector<double> eff;
        for (const double wall : series.wall)
            eff.push_back(100.0 * wireLimit / wall);
        return format("%.1f%%", median(eff));
    };
    std::printf("\n");
    row("the real window, paced " + std::to_string(config.pacedRecords) + " records", "on X", "offscreen", "target");
    row("-------------------------------------------------------", "----------", "----------", "--------");
    row("efficiency", efficiency(onX), efficiency(offscreen), ">= 99%");
    row("turnaround median ms", format("%.3f", median(onX.turnaround)), format("%.3f", median(offscreen.turnaround)),
        "<= 0.3");
    row("turnaround p95 ms", format("%.3f", median(onX.turnaroundP95)), format("%.3f", median(offscreen.turnaroundP95)),
        "<= 1");
    row("CPU % of one core", format("%.2f%%", percentOfWall(onX.cpu, onX.wall)),
        format("%.2f%%", percentOfWall(offscreen.cpu, offscreen.wall)), "<= 1.5%");
    row("the X server's CPU meanwhile, % of one core", format("%.2f%%", percentOfWall(onX.serverCpu, onX.wall)), "",
        "");
    row("wake-ups a second at rest, after the download", format("%.1f", median(onX.restWakeups)),
        format("%.1f", median(offscreen.restWakeups)), "");
    const double ratio = benchTurnaround > 0 ? median(onX.turnaround) / benchTurnaround : 0;
    row("turnaround median on X / bench window's", format("%.2f", ratio), "", "");
    std::printf("RESULT window_x_turnaround_ms=%.3f window_x_p95_ms=%.3f window_x_cpu=%.2f%% window_ratio=%.2f\n",
                median(onX.turnaround), median(onX.turnaroundP95), percentOfWall(onX.cpu, onX.wall), ratio);
    return ratio;
}

int run(const Config& config)
{
    if (!config.only.empty())
        return runOnly(config);
    Series unpaced[2], paced[2], offscreenWindow, xWindow;  // [0] paced pump, [1] busy pump
    const Mode modes[2] = {Mode::Paced, Mode::Busy};
    const XServer x;

    // Interleaved, so that a change in the machine's load affects both modes alike.
    for (int runIndex = 0; runIndex < config.runs; ++runIndex) {
        for (int m = 0; m < 2; ++m)
            unpaced[m].add(download(config, config.unpacedRecords, false, modes[m]));
        for (int m = 0; m < 2; ++m)
            paced[m].add(download(config, config.pacedRecords, true, modes[m]));
        if (const auto d = windowDownload(config, config.pacedRecords, nullptr))
            offscreenWindow.add(*d);
        if (const auto d = windowDownload(config, config.pacedRecords, &x))
            xWindow.add(*d);
        std::fprintf(stderr, "download-bench: run %d of %d done\n", runIndex + 1, config.runs);
    }

    std::vector<double> startups;
    startupSeconds(config);  // warms the file cache; not counted
    for (int i = 0; i < config.startupRuns; ++i) {
        if (const auto seconds = startupSeconds(config))
            startups.push_back(*seconds);
    }
    std::vector<double> restingRss;
    for (int i = 0; i < std::max(1, config.runs); ++i) {
        if (const auto rss = restingRssMb(config))
            restingRss.push_back(*rss);
    }

    double unpacedRps[2], unpacedCpuMs[2], unpacedRss[2], pacedWall[2], pacedEff[2], pacedMsPerRecord[2],
        pacedCpuPercent[2];
    for (int m = 0; m < 2; ++m) {
        std::vector<double> rps, cpuMs, eff, cpuPercent;
        for (std::size_t i = 0; i < unpaced[m].wall.size(); ++i) {
            rps.push_back(config.unpacedRecords / unpaced[m].wall[i]);
            cpuMs.push_back(unpaced[m].cpu[i] * 1000.0 / config.unpacedRecords);
        }
        for (std::size_t i = 0; i < paced[m].wall.size(); ++i) {
            eff.push_back(100.0 * config.pacedRecords * kWireSecondsPerRecord / paced[m].wall[i]);
            cpuPercent.push_back(100.0 * paced[m].cpu[i] / paced[m].wall[i]);
        }
        unpacedRps[m] = median(rps);
        unpacedCpuMs[m] = median(cpuMs);
        unpacedRss[m] = median(unpaced[m].rss);
        pacedWall[m] = median(paced[m].wall);
        pacedEff[m] = median(eff);
        pacedMsPerRecord[m] = pacedWall[m] * 1000.0 / config.pacedRecords;
        pacedCpuPercent[m] = median(cpuPercent);
    }
    const double cpuRatio = pacedCpuPercent[1] > 0 ? pacedCpuPercent[0] / pacedCpuPercent[1] : 0;
    const std::string startup = startups.empty() ? "n/a" : format("%.3f", median(startups));
    const std::string rssRest = restingRss.empty() ? "n/a" : format("%.1f", median(restingRss));

    double load[3] = {};
    ::getloadavg(load, 3);
    const double wireLimit = config.pacedRecords * kWireSecondsPerRecord;
    std::printf("download-bench: median of %d runs; ReadAll timed after Com Test; %ld cores, %s, load %.2f\n",
                config.runs, ::sysconf(_SC_NPROCESSORS_ONLN), cpuModel().c_str(), load[0]);
    std::printf("(paced: the simulator charges 4.17 ms for every byte both ways, %.1f ms a record; turnaround: "
                "from a reply's last byte to the next request, at the simulator)\n\n",
                kWireSecondsPerRecord * 1000);
    row("figure", "paced pump", "busy pump", "target");
    row("-------------------------------------------------------", "----------", "----------", "--------");
    const auto unpacedLabel = "unpaced " + std::to_string(config.unpacedRecords) + " records: ";
    row(unpacedLabel + "records/s", format("%.0f", unpacedRps[0]), format("%.0f", unpacedRps[1]), ">= 2000");
    row(unpacedLabel + "CPU ms/record", format("%.3f", unpacedCpuMs[0]), format("%.3f", unpacedCpuMs[1]), "<= 0.5");
    row(unpacedLabel + "peak RSS MB", format("%.1f", unpacedRss[0]), format("%.1f", unpacedRss[1]), "");
    const auto pacedLabel = "paced " + std::to_string(config.pacedRecords) + " records: ";
    row(pacedLabel + "wall s", format("%.2f", pacedWall[0]), format("%.2f", pacedWall[1]), "");
    row(pacedLabel + "ms/record", format("%.1f", pacedMsPerRecord[0]), format("%.1f", pacedMsPerRecord[1]), "");
    row(pacedLabel + "efficiency (" + format("%.2f", wireLimit) + " s / wall)", format("%.1f%%", pacedEff[0]),
        format("%.1f%%", pacedEff[1]), ">= 99%");
    row(pacedLabel + "turnaround median ms", format("%.3f", median(paced[0].turnaround)),
        format("%.3f", median(paced[1].turnaround)), "<= 0.3");
    row(pacedLabel + "turnaround p95 ms", format("%.3f", median(paced[0].turnaroundP95)),
        format("%.3f", median(paced[1].turnaroundP95)), "<= 1");
    row(pacedLabel + "CPU % of one core", format("%.2f%%", pacedCpuPercent[0]), format("%.1f%%", pacedCpuPercent[1]),
        "<= 0.5%");
    row(pacedLabel + "CPU ratio paced/busy", format("%.4f", cpuRatio), "", "<= 0.02");
    row("start-up to shown window s", startup, "", "<= 0.3");
    row("RSS at rest (--demo, 1.5 s idle) MB", rssRest, "", "<= 60");
    const double windowRatio = printWindowTable(config, xWindow, offscreenWindow, median(paced[0].turnaround));
    std::printf("\nRESULT paced_eff=%.1f%% paced_cpu=%.2f%% unpaced_rps=%.0f unpaced_cpu_ms_per_rec=%.3f "
                "cpu_ratio=%.4f startup_s=%s rss_rest_mb=%s\n",
                pacedEff[0], pacedCpuPercent[0], unpacedRps[0], unpacedCpuMs[0], cpuRatio,
                startup.c_str(), rssRest.c_str());
    if (config.maxWindowRatio > 0 && !(windowRatio <= config.maxWindowRatio)) {
        std::printf("FAILED: the window on the X server turns around %.1f times slower than the bench window; "
                    "at most %.1f times is allowed\n",
                    windowRatio, config.maxWindowRatio);
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace splicerec::bench

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("download-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures download speed and CPU use against splicer-sim, and the program's start-up time and memory."));
    parser.addHelpOption();
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs per figure (default 3)."),
                                  QStringLiteral("N"));
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("One run, 1000 unpaced and 50 paced records."));
    const QCommandLineOption records(QStringLiteral("records"),
                                     QStringLiteral("Records in the unpaced download (default 5000)."),
                                     QStringLiteral("N"));
    const QCommandLineOption pacedRecords(QStringLiteral("paced-records"),
                                          QStringLiteral("Records in the paced download (default 200)."),
                                          QStringLiteral("N"));
    const QCommandLineOption sim(QStringLiteral("sim"), QStringLiteral("The splicer-sim executable."),
                                 QStringLiteral("PATH"));
    const QCommandLineOption program(QStringLiteral("app"), QStringLiteral("The splice-records executable."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Run only this download (unpaced, paced, or window: the real window on X)."),
        QStringLiteral("KIND"));
    const QCommandLineOption window(QStringLiteral("window"),
                                    QStringLiteral("The real window driven from stdin (hw_driver) to measure."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption maxRatio(
        QStringLiteral("max-window-ratio"),
        QStringLiteral("Exit 1 when the window on X turns around more than R times slower than the bench window."),
        QStringLiteral("R"));
    const QCommandLineOption busy(QStringLiteral("busy"), QStringLiteral("With --only: the busy pump."));
    parser.addOptions({runs, quick, records, pacedRecords, sim, program, only, busy, window, maxRatio});
    parser.process(app);

    splicerec::bench::Config config;
    if (parser.isSet(quick)) {
        config.runs = 1;
        config.unpacedRecords = 1000;
        config.pacedRecords = 50;
        config.startupRuns = 3;
        config.restMs = 1000;
    }
    const auto number = [&](const QCommandLineOption& option, int& target, int minimum) {
        if (!parser.isSet(option))
            return;
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (!ok || value < minimum) {
            std::fprintf(stderr, "download-bench: --%s needs a whole number of at least %d\n",
                         qPrintable(option.names().first()), minimum);
            std::exit(2);
        }
        target = value;
    };
    number(runs, config.runs, 1);
    // The record handler stops at 5000 records, and the count is two bytes.
    number(records, config.unpacedRecords, 1);
    number(pacedRecords, config.pacedRecords, 1);
    config.unpacedRecords = std::min(config.unpacedRecords, 5000);
    config.pacedRecords = std::min(config.pacedRecords, 5000);
    if (parser.isSet(only)) {
        config.only = parser.value(only).toStdString();
        if (config.only != "unpaced" && config.only != "paced" && config.only != "window") {
            std::fprintf(stderr, "download-bench: --only takes unpaced, paced or window\n");
            return 2;
        }
        config.onlyMode = parser.isSet(busy) ? splicerec::bench::Mode::Busy : splicerec::bench::Mode::Paced;
    }
    if (parser.isSet(sim))
        config.simPath = parser.value(sim).toStdString();
    if (parser.isSet(program))
        config.appPath = parser.value(program).toStdString();
    if (parser.isSet(window))
        config.windowPath = parser.value(window).toStdString();
    if (parser.isSet(maxRatio)) {
        bool ok = false;
        config.maxWindowRatio = parser.value(maxRatio).toDouble(&ok);
        if (!ok || config.maxWindowRatio <= 0) {
            std::fprintf(stderr, "download-bench: --max-window-ratio needs a number above 0\n");
            return 2;
        }
    }

    char workDir[] = "/tmp/download-bench-XXXXXX";
    if (!::mkdtemp(workDir)) {
        std::perror("download-bench: mkdtemp");
        return 1;
    }
    config.workDir = workDir;
    int status = 1;
    try {
        status = splicerec::bench::run(config);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download-bench: %s\n", error.what());
    }
    std::error_code ignored;
    std::filesystem::remove_all(config.workDir, ignored);
    return status;
}
