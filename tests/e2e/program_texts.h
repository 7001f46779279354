// What the program shows and logs, as the end-to-end tests expect to read it.
#pragma once

#include <string>

const char kNotInstalled[] = "AOL is *not* installed on this system (aol.exe not found)";
const char kInstalled[] = "AOL *is* installed on this system";
const char kStart[] = "&Start Monitoring";
const char kStop[] = "&Stop Monitoring";
const char kAol[] = "AOL L2TP";
const char kHeader[] = "Connectoid list:";
const char kListDown[] = "Disconnection detected";
const char kLogDown[] = "'AOL': disconnected from the Internet.";
const char kLogUpPrefix[] = "'AOL': connected to the Internet. IP address: ";

inline std::string ListUp(const std::string& ip) {
    return "Connection detected: IP address=" + ip;
}
inline std::string LogUp(const std::string& ip) {
    return kLogUpPrefix + ip + ".";
}
