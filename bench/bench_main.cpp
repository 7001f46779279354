// Runs every benchmark and prints one table. Figures are read, never judged: the exit code
// says only whether everything could be measured.
//   linkvigil_bench [--quick] [--only files,log,check,startup,notify,poll]
//                   [--detect spin|yield|sleep] [--idle SECONDS] [--events N]
#include "app_bench.h"
#include "footprint.h"
#include "inprocess_bench.h"
#include "measure.h"
#include "ras_standin.h"

#include <algorithm>
#include <cstdlib>
#include <string>

using namespace bench;

namespace {

bool Wanted(const std::string& only, const char* section) {
    return only.empty() ||
           ("," + only + ",").find(std::string(",") + section + ",") != std::string::npos;
}

int Usage() {
    std::fprintf(stderr, "usage: linkvigil_bench [--quick] [--only SECTIONS] [--detect MODE] "
                         "[--idle SECONDS] [--events N]\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--quick") {
            options.idleSeconds = 6;
            options.notifyEvents = 400;
            options.latencySample = 200;
            options.pollEvents = 4;
            options.startupRuns = 3;
            options.logLines = 1000;
            options.logRounds = 3;
        } else if (arg == "--only" && hasValue) {
            only = argv[++i];
        } else if (arg == "--detect" && hasValue) {
            options.detect = argv[++i];
        } else if (arg == "--idle" && hasValue) {
            options.idleSeconds = static_cast<DWORD>(std::atoi(argv[++i]));
        } else if (arg == "--events" && hasValue) {
            options.notifyEvents = static_cast<unsigned>(std::atoi(argv[++i]));
            options.latencySample = std::min(options.latencySample, options.notifyEvents);
        } else {
            return Usage();
        }
    }
    if (options.notifyEvents == 0 || options.idleSeconds == 0)
        return Usage();
    if (!CRasStandin::OverrideActive()) {
        std::fprintf(stderr, "run under the build's wine-run (it lets Wine load the stand-in)\n");
        return 1;
    }

    CReport report;
    double notifyMedian = -1, pollMedian = -1;
    LONGLONG runStart = Qpc();
    auto begin = [&](const char* name, const char* title) {
        if (!Wanted(only, name))
            return false;
        std::fprintf(stderr, "== %s (at %.0f s)\n", title, QpcToMs(Qpc() - runStart) / 1000);
        return true;
    };
    if (begin("files", "file footprint"))
        RunFileFootprint(report);
    if (begin("log", "log line cost"))
        RunLogLine(report, options);
    if (begin("check", "check cost"))
        RunCheckCost(report, options);
    if (begin("startup", "start-up")) {
        RunStartupWork(report);
        RunStartup(report, options);
    }
    if (begin("notify", "notification mode: idle, latency, memory"))
        notifyMedian = RunNotificationMode(report, options);
    if (begin("poll", "polling mode: idle, latency"))
        pollMedian = RunPollingMode(report, options);
    if (notifyMedian > 0 && pollMedian > 0)
        report.Add({"1. Latency ratio, polling / notification (medians)", "", "",
                    Fixed(pollMedian / notifyMedian, 0) + " x", "", ""});

    std::fprintf(stderr, "== done in %.0f s\n", QpcToMs(Qpc() - runStart) / 1000);
    report.Print(stdout);
    return report.Failed() ? 2 : 0;
}
