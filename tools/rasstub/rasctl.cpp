// Drives the RAS stand-in's connection table from a console: tests, scripts and people
// bring connections up and down, switch faults on and read the counters.
#include "standin_table.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using rasstub::CStandinTable;

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;

const char kUsage[] =
    "Usage: rasctl COMMAND [ARGUMENTS]\n"
    "Changes the connection table of the RAS stand-in (rasapi32.dll of tools/rasstub).\n"
    "\n"
    "  up NAME IP               list NAME as connected with address IP\n"
    "  pending NAME IP          list NAME with its IP projection not yet complete\n"
    "  complete NAME            complete the projection of the first NAME listed\n"
    "  complete NAME --no-signal\n"
    "                           the same without a signal, as real RAS (which promises\n"
    "                           no event for an address that arrives late)\n"
    "  down NAME                end the first NAME listed\n"
    "  list                     show connections, faults and registered events\n"
    "  counters                 show call and signal counters\n"
    "  reset                    remove all connections, faults and counters\n"
    "\n"
    "  fault notify CODE        registering for events fails with CODE (0: succeeds)\n"
    "  fault projection CODE    every projection query fails with CODE (0: normal)\n"
    "  fault enum CODE [SIZE]   every enumeration fails with CODE, writing no record;\n"
    "                           with 603 or 8, SIZE is the size it asks for\n"
    "                           (default: the size really needed); 0 clears\n"
    "  fault count N|off        every enumeration reports N connections\n"
    "  fault many N [PREFIX]    add N connections PREFIX1..PREFIXN (default prefix Conn)\n"
    "  fault clear              clear every fault (connections stay)\n"
    "\n"
    "up, pending, complete (unless --no-signal) and down signal the events registered\n"
    "with RasConnectionNotificationA. A NAME of 257 bytes or more fills the entry-name field\n"
    "without a terminating NUL, an IP of 16 bytes or more the address field likewise.\n"
    "Numbers are decimal or 0x-prefixed hexadecimal. Exit code 0: done; 1: bad command;\n"
    "2: not done (no such connection, table full, table unavailable).\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "rasctl: %s\n\n%s", problem, kUsage);
    return kExitUsage;
}

int Failed(const char* what, const char* name) {
    std::fprintf(stderr, "rasctl: %s: %s\n", what, name);
    return kExitFailed;
}

bool ParseNumber(const char* text, DWORD* value) {
    if (text == nullptr || *text == '\0' || *text == '-' || *text == '+' || *text == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long parsed = std::strtoul(text, &end, 0);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFul)
        return false;
    *value = static_cast<DWORD>(parsed);
    return true;
}

void PrintFaults(const rasstub::Faults& faults) {
    std::printf("faults:");
    if (faults.dwNotifyError != 0)
        std::printf(" notify=%lu", faults.dwNotifyError);
    if (faults.dwProjectionError != 0)
        std::printf(" projection=%lu", faults.dwProjectionError);
    if (faults.dwEnumError != 0)
        std::printf(" enum=%lu", faults.dwEnumError);
    if (faults.dwEnumError != 0 && faults.bEnumSize)
        std::printf(" size=%lu", faults.dwEnumSize);
    if (faults.bCount)
        std::printf(" count=%lu", faults.dwCount);
    bool any = faults.dwNotifyError != 0 || faults.dwProjectionError != 0 ||
               faults.dwEnumError != 0 || faults.bCount;
    std::printf("%s\n", any ? "" : " none");
}

int List(CStandinTable& table) {
    std::vector<rasstub::Connection> connections = table.GetConnections();
    std::printf("%u connection(s)\n", static_cast<unsigned>(connections.size()));
    for (const rasstub::Connection& c : connections) {
        std::printf("  0x%04lx  %-8s  %-16s  %s\n", c.hConnection, c.bComplete ? "up" : "pending",
                    rasstub::FieldText(c.szIpAddress).c_str(),
                    rasstub::FieldText(c.szEntryName).c_str());
    }
    PrintFaults(table.GetFaults());
    std::printf("registered events: %u\n", static_cast<unsigned>(table.GetRegistrations().size()));
    return 0;
}

int Counters(CStandinTable& table) {
    rasstub::Counters counters = table.GetCounters();
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    std::printf("enum_calls=%lu\nprojection_calls=%lu\nsignals=%lu\nlast_signal_qpc=%lld\n"
                "qpc_frequency=%lld\nregistered_events=%u\n",
                counters.dwEnumCalls, counters.dwProjectionCalls, counters.dwSignals,
                counters.llLastSignalQpc, frequency.QuadPart,
                static_cast<unsigned>(table.GetRegistrations().size()));
    return 0;
}

int Fault(CStandinTable& table, int argc, char** argv) {
    if (argc < 1)
        return Usage("fault needs a kind");
    const char* kind = argv[0];
    rasstub::Faults faults = table.GetFaults();
    DWORD value = 0;

    if (std::strcmp(kind, "clear") == 0 && argc == 1) {
        faults = rasstub::Faults();
    } else if (std::strcmp(kind, "notify") == 0 && argc == 2 && ParseNumber(argv[1], &value)) {
        faults.dwNotifyError = value;
    } else if (std::strcmp(kind, "projection") == 0 && argc == 2 && ParseNumber(argv[1], &value)) {
        faults.dwProjectionError = value;
    } else if (std::strcmp(kind, "enum") == 0 && (argc == 2 || argc == 3) &&
               ParseNumber(argv[1], &value)) {
        DWORD size = 0;
        if (argc == 3 && !ParseNumber(argv[2], &size))
            return Usage("fault enum: SIZE must be a number");
        faults.dwEnumError = value;
        faults.bEnumSize = argc == 3;
        faults.dwEnumSize = size;
    } else if (std::strcmp(kind, "count") == 0 && argc == 2 &&
               (std::strcmp(argv[1], "off") == 0 || ParseNumber(argv[1], &value))) {
        faults.bCount = std::strcmp(argv[1], "off") != 0;
        faults.dwCount = value;
    } else if (std::strcmp(kind, "many") == 0 && (argc == 2 || argc == 3) &&
               ParseNumber(argv[1], &value)) {
        DWORD added = table.UpMany(value, argc == 3 ? argv[2] : "Conn");
        std::printf("%lu connection(s) added\n", added);
        return added == value ? 0 : Failed("table full", argv[1]);
    } else {
        return Usage("unknown fault or bad arguments");
    }
    table.SetFaults(faults);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command");
    const char* command = argv[1];
    int count = argc - 2;
    char** args = argv + 2;

    bool known = false;
    for (const char* name : {"up", "pending", "complete", "down", "list", "counters", "reset",
                             "fault", "help", "-h", "--help", "/?"})
        known = known || std::strcmp(command, name) == 0;
    if (!known)
        return Usage("unknown command");
    if (std::strcmp(command, "help") == 0 || command[0] == '-' || command[0] == '/') {
        std::fputs(kUsage, stdout);
        return 0;
    }

    CStandinTable table;
    if (!table.IsOpen())
        return Failed("cannot open the connection table", "");

    if (std::strcmp(command, "up") == 0 || std::strcmp(command, "pending") == 0) {
        if (count != 2)
            return Usage("up and pending take NAME and IP");
        if (table.Up(args[0], args[1], command[0] == 'u') == 0)
            return Failed("table full", args[0]);
        return 0;
    }
    if (std::strcmp(command, "complete") == 0 || std::strcmp(command, "down") == 0) {
        bool quiet = command[0] == 'c' && count == 2 && std::strcmp(args[1], "--no-signal") == 0;
        if (count != 1 && !quiet)
            return Usage("complete and down take NAME (complete also --no-signal after it)");
        bool done = command[0] == 'c' ? table.Complete(args[0], !quiet) : table.Down(args[0]);
        return done ? 0 : Failed("no such connection", args[0]);
    }
    if (std::strcmp(command, "fault") == 0)
        return Fault(table, count, args);
    if (count != 0)
        return Usage("this command takes no arguments");
    if (std::strcmp(command, "reset") == 0) {
        table.Reset();
        return 0;
    }
    return std::strcmp(command, "list") == 0 ? List(table) : Counters(table);
}
