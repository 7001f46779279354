// The program's two event globals, defined here for tests in the order the program uses:
// the log before the connection that writes to it.
#include "connection/connection.h"
#include "log/log_file.h"

CLogFile g_logFile;
CAolConnection g_connection;

// The monitor thread's intervals, a tenth of the shipped ones, which the tests of the real
// program keep: here only the order of waits and checks matters, not their length.
const DWORD kPollIntervalMs = 200;
const DWORD kSettleDelayMs = 300;
