// Figures of the real log class and the real connection check, run in this process.
#pragma once

#include "report.h"

namespace bench {

// CLogFile::Write against a bare fputs + fflush loop on the same kind of file.
void RunLogLine(CReport& report, const Options& options);
// One check of the RAS connection table with 1, 10 and 100 connections listed.
void RunCheckCost(CReport& report, const Options& options);

// The program's own start-up steps, each timed once, cold, in this process.
void RunStartupWork(CReport& report);

} // namespace bench
