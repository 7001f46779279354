// Figures of the real Linkvigil.exe under Wine, with the RAS stand-in playing RAS.
#pragma once

#include "report.h"

namespace bench {

// Start-up to the first list line, against the yardstick dialog.
void RunStartup(CReport& report, const Options& options);
// Notification mode: idle cost, detection latency, and memory before and after many events.
// Returns the median latency in ms, or a negative value when it was not measured.
double RunNotificationMode(CReport& report, const Options& options);
// Polling mode: idle cost and detection latency.
double RunPollingMode(CReport& report, const Options& options);

// Where the build put the yardstick dialog, without and with the program's manifest.
std::string BaselinePath();
std::string BaselineV6Path();

} // namespace bench
