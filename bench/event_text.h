// The list lines that the benchmark's connection events produce, shared by the driver and
// the yardstick dialog so that both hold exactly the same text.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

// The yardstick adds wParam such lines, those of events lParam, lParam + 1, ..., when it
// receives this message.
constexpr unsigned kAddLinesMessage = 0x8000 + 0x10; // WM_APP + 0x10

// Event i brings the connection up (even i) or down (odd i); each up has its own address.
inline bool IsUpEvent(unsigned i) {
    return i % 2 == 0;
}
inline std::string EventAddress(unsigned i) {
    char text[16];
    std::snprintf(text, sizeof text, "10.%u.%u.%u", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
    return text;
}
inline std::string EventListLine(unsigned i) {
    return IsUpEvent(i) ? "Connection detected: IP address=" + EventAddress(i)
                        : std::string("Disconnection detected");
}

} // namespace bench
