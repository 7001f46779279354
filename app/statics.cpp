// The program's three static objects, defined together so that they are constructed in this
// order and destroyed in reverse: the log outlives the connection that writes to it, and
// the application object outlives both.
#include "connection/connection.h"
#include "log/log_file.h"
#include "monitor_app.h"

CMonitorApp theApp;
CLogFile g_logFile;
CAolConnection g_connection;
