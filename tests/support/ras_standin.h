// Puts a build of the RAS stand-in (tools/rasstub), Wine's own RAS library or none where the
// program loads RASAPI32.DLL from, and gives the test the stand-in's connection table.
// Wine then loads our file only with WINEDLLOVERRIDES holding rasapi32=n,b (wine-run sets it).
#pragma once

#include "ras/ras_api.h"
#include "standin_table.h"
#include "wait.h"

#include <string>

enum class RasLibrary {
    Full,    // all six entry points
    Poll,    // without RasConnectionNotificationA
    NoEdit,  // without RasEditPhonebookEntryA: cannot be loaded
    Missing, // no file at all
    Wine,    // Wine's own: no connections, notifications refused
};

class CRasStandin {
public:
    // Starts from an empty table without faults; installs nothing yet.
    CRasStandin();
    // Unloads the program's RAS library, puts Wine's own back and empties the table, so that
    // later tests find the prefix as it was made.
    ~CRasStandin();
    CRasStandin(const CRasStandin&) = delete;
    CRasStandin& operator=(const CRasStandin&) = delete;

    // Unloads the program's RAS library (UnloadRasApi), then places library. Fails while
    // another process (a running Linkvigil.exe) holds the file loaded: Wine, like Windows,
    // then refuses to replace or delete it.
    bool Install(RasLibrary library);
    // Only swaps the file in the system directory; a library the program holds stays loaded.
    static bool Place(RasLibrary library);
    // Where the build put a stand-in variant ("" for Missing and Wine), and rasctl.exe.
    static std::string BuildPath(RasLibrary library);
    static std::string RasctlPath();
    // The system directory's RASAPI32.DLL, as the program loads it.
    static std::string SystemLibraryPath();
    // FALSE when this process was started without the override that lets Wine load our file.
    static bool OverrideActive();

    // TRUE when a program is registered for RAS notifications: the process processId, or any
    // process when it is 0.
    bool Registered(DWORD processId = 0);
    // TRUE when a check has enumerated the table since the last registration: the look that a
    // program makes after registering.
    bool LookedSinceRegistration();
    // Waits until a program is registered and has made that look: from then on it has seen the
    // table, and every change reaches it as a signal.
    bool WaitForRegistration(DWORD processId = 0, DWORD timeoutMs = kPatienceMs);

    rasstub::CStandinTable table;
};
