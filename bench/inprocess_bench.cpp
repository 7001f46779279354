#include "inprocess_bench.h"

#include "app/aol_probe.h"
#include "app_driver.h"
#include "connection/connection.h"
#include "framework/text.h"
#include "log/log_file.h"
#include "measure.h"
#include "ras_standin.h"

#include <functional>
#include <utility>

namespace bench {

namespace {

// The state line the program writes most often, with its arguments.
constexpr char kStateFormat[] = "'%s': connected to the Internet. IP address: %s.\n";

// The log's own kind of file without the log: opened by the same code and mode.
class CBareFile : public CStdioFile {
public:
    FILE* Stream() const { return m_pStream; }
};

// The log's timestamp of the local time now: the steps of a line that take the time.
size_t TimestampNow(char (&stamp)[kLogTimestampSize]) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return FormatLogTimestamp(now, stamp);
}

template <typename Body> double LinesPerSecond(unsigned lines, Body body) {
    LONGLONG start = Qpc();
    for (unsigned i = 0; i < lines; ++i)
        body();
    return lines / (QpcToMs(Qpc() - start) / 1000.0);
}

// Microseconds per check, the median of a few rounds.
double CheckMicroseconds(unsigned checks) {
    for (int i = 0; i < 3; ++i)
        CheckConnections();
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        LONGLONG start = Qpc();
        for (unsigned i = 0; i < checks; ++i)
            CheckConnections();
        rounds.push_back(QpcToMs(Qpc() - start) * 1000.0 / checks);
    }
    return Median(rounds);
}

} // namespace

void RunLogLine(CReport& report, const Options& options) {
    const char* figure = "4. Log lines per second: CLogFile::Write";
    std::string dir = MakeScratchDir("logline");
    CLogFile log;
    CBareFile bare;
    if (!log.SetPathAndOpen((dir + "\\LogFile.txt").c_str()) ||
        !log.Write(kStateFormat, "AOL", "10.20.30.40") ||
        !bare.Open((dir + "\\Bare.txt").c_str(), CLogFile::kOpenMode))
        return report.Fail(figure, "cannot open the files");
    FILE* stream = bare.Stream();
    std::fseek(stream, 0, SEEK_END);
    // Byte for byte the line the log writes.
    char stamp[kLogTimestampSize];
    std::string line =
        std::string(stamp, TimestampNow(stamp)) + " " + Format(kStateFormat, "AOL", "10.20.30.40");

    // Lines per second, the median of rounds taken in turns with the other candidates.
    struct Candidate {
        explicit Candidate(std::function<void()> work) : body(std::move(work)) {}
        std::function<void()> body;
        std::vector<double> rates;
        double Rate() const { return Median(rates); }
        double MicrosPerLine() const { return 1e6 / Median(rates); }
    };
    Candidate bareLoop([&] {
        std::fputs(line.c_str(), stream);
        std::fflush(stream);
    });
    Candidate logFile([&] { log.Write(kStateFormat, "AOL", "10.20.30.40"); });
    // Single steps of a line, for where the time goes.
    Candidate seekOnly([&] { std::fseek(stream, 0, SEEK_END); });
    Candidate timestampOnly([] {
        char text[kLogTimestampSize];
        TimestampNow(text);
    });
    Candidate formatOnly([&] { Format(kStateFormat, "AOL", "10.20.30.40"); });
    Candidate* candidates[] = {&bareLoop, &logFile, &seekOnly, &timestampOnly, &formatOnly};
    for (unsigned round = 0; round < options.logRounds; ++round)
        for (Candidate* candidate : candidates)
            candidate->rates.push_back(LinesPerSecond(options.logLines, candidate->body));

    double ratio = logFile.Rate() / bareLoop.Rate();
    report.Add({figure, Fixed(logFile.Rate(), 0) + " lines/s",
                Fixed(bareLoop.Rate(), 0) + " lines/s (fputs + fflush)", Fixed(ratio, 2),
                "at least 0.8", Verdict(ratio >= 0.8)});
    report.Note("Log lines: " + std::to_string(options.logRounds) + " rounds of " +
                std::to_string(options.logLines) + " lines of " + std::to_string(line.size()) +
                " bytes, candidates in turns; medians. Per line: fputs + fflush " +
                Fixed(bareLoop.MicrosPerLine(), 2) + " us, CLogFile::Write " +
                Fixed(logFile.MicrosPerLine(), 2) +
                " us; of its steps alone, the seek to the end (only after an open) " +
                Fixed(seekOnly.MicrosPerLine(), 2) + " us, the local time and its text " +
                Fixed(timestampOnly.MicrosPerLine(), 2) + " us, formatting the message " +
                Fixed(formatOnly.MicrosPerLine(), 2) + " us.");
}

void RunCheckCost(CReport& report, const Options&) {
    const char* figure = "4. One check, 1 / 10 / 100 connections listed";
    CRasStandin standin; // its destructor unloads the library and empties the table
    if (!standin.Install(RasLibrary::Full))
        return report.Fail(figure, "cannot install the RAS stand-in");
    std::string dir = MakeScratchDir("check");
    g_logFile.SetPathAndOpen((dir + "\\LogFile.txt").c_str());
    g_logFile.m_bEnabled = TRUE;

    const unsigned counts[] = {1, 10, 100, 0};
    std::vector<double> logged, quiet;
    for (unsigned count : counts) {
        // Entries other than the monitored one: each is logged, the projection never read.
        standin.table.Reset();
        if (count > 0 && standin.table.UpMany(count, "Office ") != count)
            return report.Fail(figure, "cannot fill the connection table");
        unsigned checks = 2000 / (count + 1) + 20;
        g_logFile.m_bEnabled = TRUE;
        logged.push_back(CheckMicroseconds(checks));
        g_logFile.m_bEnabled = FALSE;
        quiet.push_back(CheckMicroseconds(checks));
    }
    g_logFile.Close();
    g_logFile.m_strPath[0] = '\0';

    double perConnection = (logged[2] - logged[0]) / 99.0;
    report.Add(
        {figure,
         Fixed(logged[0], 0) + " / " + Fixed(logged[1], 0) + " / " + Fixed(logged[2], 0) + " us",
         Fixed(quiet[0], 0) + " / " + Fixed(quiet[1], 0) + " / " + Fixed(quiet[2], 0) +
             " us without logging",
         Fixed(logged[2] / logged[0], 1) + " x from 1 to 100", "", ""});
    report.Note("Check cost grows by " + Fixed(perConnection, 1) +
                " us per listed connection with logging (one log line each), " +
                Fixed((quiet[2] - quiet[0]) / 99.0, 2) +
                " us without; entries other than AOL L2TP, so every one is logged. With no "
                "connection listed, as in an idle poll, a check costs " +
                Fixed(logged[3], 0) + " us.");
}

void RunStartupWork(CReport& report) {
    CRasStandin standin;
    if (!standin.Install(RasLibrary::Full))
        return report.Note("Start-up steps: cannot install the RAS stand-in.");
    std::string dir = MakeScratchDir("startup_work");
    // The steps of the window's initialisation, in its order.
    LONGLONG start = Qpc();
    BOOL loaded = LoadRasApi();
    LONGLONG rasLoaded = Qpc();
    BOOL installed = IsAolInstalled();
    LONGLONG probed = Qpc();
    g_logFile.SetPathAndOpen((dir + "\\LogFile.txt").c_str());
    g_logFile.m_bEnabled = TRUE;
    g_logFile.Write("%s\n", installed
                                ? "AOL *is* installed on this system"
                                : "AOL is *not* installed on this system (aol.exe not found)");
    LONGLONG logged = Qpc();
    BOOL monitoring = StartMonitoring();
    LONGLONG started = Qpc();
    CheckConnections();
    LONGLONG checked = Qpc();
    StopMonitoring();
    g_logFile.Close();
    g_logFile.m_bEnabled = FALSE;
    g_logFile.m_strPath[0] = '\0';
    if (!loaded || !monitoring)
        return report.Note("Start-up steps: the RAS stand-in did not load.");
    report.Note("Start-up steps of the program, timed once in this process: loading the RAS "
                "library (here the stand-in) " +
                Fixed(QpcToMs(rasLoaded - start), 2) + " ms, AOL probe " +
                Fixed(QpcToMs(probed - rasLoaded), 2) + " ms, log open and first line " +
                Fixed(QpcToMs(logged - probed), 2) + " ms, monitor thread start " +
                Fixed(QpcToMs(started - logged), 2) + " ms, first check " +
                Fixed(QpcToMs(checked - started), 2) + " ms; " +
                Fixed(QpcToMs(checked - start), 2) + " ms in all.");
}

} // namespace bench
