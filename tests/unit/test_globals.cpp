// The program's two event globals, defined here for tests in the order the program uses:
// the log before the connection that writes to it.
#include "connection/connection.h"
#include "log/log_file.h"

CLogFile g_logFile;
CAolConnection g_connection;
