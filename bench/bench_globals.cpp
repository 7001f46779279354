// The program's two event globals, which the linked check and log code write to; defined
// in the order the program uses: the log before the connection that writes to it.
#include "connection/connection.h"
#include "log/log_file.h"

CLogFile g_logFile;
CAolConnection g_connection;
