// What the version matrix and the late-address cases share: the real program under the Windows
// version that Wine shows it (the case's parameter), with the full RAS stand-in, AOL not
// registered, and the stand-in's own record of when a check came after its signal.
#pragma once

#include "aol_registration.h"
#include "app_driver.h"
#include "ras_standin.h"
#include "shown_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>

struct WindowsVersion {
    const char* name; // as Wine's Version setting spells it
    bool windows9x;
};

// Named by its version in test names and messages (not by its bytes, which hold a pointer).
inline void PrintTo(const WindowsVersion& version, std::ostream* os) {
    *os << version.name;
}
inline std::string VersionName(const ::testing::TestParamInfo<WindowsVersion>& info) {
    return info.param.name;
}

// The Windows 9x family sleeps 3000 ms between a RAS signal and its check. A sleep does not end
// early by more than a clock tick, so every such check comes later than this after its signal.
constexpr double kSettleBoundSeconds = 2.75;

class CShownVersionCase : public ::testing::TestWithParam<WindowsVersion> {
protected:
    // dirPrefix: the scratch folder's name before the version's.
    explicit CShownVersionCase(const char* dirPrefix) : m_dirPrefix(dirPrefix) {}

    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        ASSERT_TRUE(m_version.IsSet());
        ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
        m_dir = MakeScratchDir(m_dirPrefix + GetParam().name);
    }

    rasstub::Counters Counters() { return m_standin.table.GetCounters(); }
    bool Registered() { return m_standin.Registered(m_app.ProcessId()); }
    // Registered, and past the look that follows: every change from now on is signalled.
    bool WaitForRegistration() { return m_standin.WaitForRegistration(m_app.ProcessId()); }

    // Seconds from the stand-in's last signal to the last enumeration it answered, as the
    // test and the program read the performance counter: the program's check is timed by the
    // stand-in inside it, not by when this process polls.
    static double SecondsFromSignalToCheck(const rasstub::Counters& counters) {
        LARGE_INTEGER frequency = {};
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(counters.llLastEnumQpc - counters.llLastSignalQpc) /
               static_cast<double>(frequency.QuadPart);
    }

    CAolUnregistered m_noAol;
    CShownWindowsVersion m_version{"Linkvigil.exe", GetParam().name};
    CRasStandin m_standin;
    CAppUnderTest m_app;
    std::string m_dirPrefix;
    std::string m_dir;
};
