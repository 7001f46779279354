#include "fixture.h"

#include "aol_registration.h"
#include "log_oracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

using rasstub::CStandinTable;

namespace reliability {

DWORD Setting(const char* name, DWORD fallback) {
    char text[64];
    DWORD length = ::GetEnvironmentVariableA(name, text, sizeof text);
    return length == 0 || length >= sizeof text
               ? fallback
               : static_cast<DWORD>(std::strtoul(text, nullptr, 0));
}

std::string SettingText(const char* name) {
    char text[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableA(name, text, sizeof text);
    return length == 0 || length >= sizeof text ? std::string() : std::string(text, length);
}

void Figure(const std::string& name, double value) {
    std::printf("[ FIGURES  ] %s: %.10g\n", name.c_str(), value);
    std::fflush(stdout);
    ::testing::Test::RecordProperty(name, std::to_string(value));
}

bool AltersChecks(const rasstub::Faults& faults) {
    return faults.dwEnumError != 0 || faults.bCount || faults.dwProjectionError != 0 ||
           faults.dwGrowBy != 0;
}

void Reliability::SetUp() {
    ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
    UnregisterAol();
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    m_dir = MakeScratchDir(DirName());
}

std::string Reliability::DirName() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    return "rel_" + name;
}

bool Reliability::Watching(const CAppUnderTest& app) {
    return m_standin.Registered(app.ProcessId()) && m_standin.LookedSinceRegistration();
}

void Reliability::Launch(CAppUnderTest& app, CModel& model, const std::string& exeName,
                         const std::string& dir) {
    ASSERT_TRUE(app.Start(dir.empty() ? m_dir : dir, exeName));
    ASSERT_NE(nullptr, app.WaitForWindow());
    model.list = {kNotInstalled};
    model.log = {kNotInstalled};
    model.table.clear();
    model.enumerations = 0;
    for (const rasstub::Connection& c : m_standin.table.GetConnections())
        model.Up(rasstub::FieldText(c.szEntryName), rasstub::FieldText(c.szIpAddress),
                 c.bComplete != FALSE);
    model.Check();
    ASSERT_TRUE(WaitFor([&] { return Watching(app); }));
    ASSERT_TRUE(WaitFor([&] { return app.ListCount() >= model.list.size(); }));
    ASSERT_EQ(model.list.size(), app.ListCount());
    m_watched.push_back({&app, &model});
}

void Reliability::CloseAndWait(CAppUnderTest& app) {
    app.Close();
    DWORD exitCode = 1;
    ASSERT_TRUE(app.WaitForExit(kPatienceMs, &exitCode)) << "the process did not end";
    EXPECT_EQ(0u, exitCode);
}

void Reliability::UpDownAndClose(const std::string& exeName, const std::string& dir,
                                 const char* ip) {
    CAppUnderTest app;
    CModel model;
    m_watched.clear();
    ASSERT_NO_FATAL_FAILURE(Launch(app, model, exeName, dir));
    ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) { c.Up(kAol, ip); }));
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.DownAll(); }));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(app));
    LogFit fit = FitLog(ReadWholeFile(dir + "\\LogFile.txt"), model.log);
    EXPECT_TRUE(fit.ok) << fit.problem;
}

void Reliability::Step(const std::function<void(CChanges&)>& make, const StepFaults& faulty) {
    CChanges changes{m_standin.table, {}};
    for (const Watched& w : m_watched)
        changes.models.push_back(w.model);
    DWORD serial = 0;
    {
        CStandinTable::CBatch batch(m_standin.table);
        DWORD before = batch.Changes();
        m_standin.table.SetFaults(faulty.faults);
        make(changes);
        serial = batch.Changes();
        ASSERT_GT(serial, before) << "a step must change the table";
    }
    m_changes += changes.count;
    ++m_steps;
    const bool predicted = !AltersChecks(faulty.faults);
    bool projection = false;
    for (const Watched& w : m_watched) {
        size_t listed = w.model->list.size();
        if (predicted) {
            projection = w.model->Check();
        } else {
            w.model->log.insert(w.model->log.end(), faulty.lines.begin(), faulty.lines.end());
            w.model->Apply(faulty.found, faulty.ip);
            projection = std::any_of(faulty.lines.begin(), faulty.lines.end(),
                                     [](const std::string& s) { return s == kAol; });
        }
        if (m_watched.size() > 1) {
            ASSERT_GT(w.model->list.size(), listed) << "with two programs, pace by posts";
        }
    }
    // A program that has ended (a crash, a trap on undefined behaviour) fails at once.
    ASSERT_TRUE(WaitFor(
        [&] {
            rasstub::Counters k = m_standin.table.GetCounters();
            return (k.dwEnumSeen >= serial && (!projection || k.dwProjectionSeen >= serial)) ||
                   !Gone().empty();
        },
        kPatienceMs, 1))
        << "no check saw change " << serial;
    ASSERT_EQ("", Gone());
    for (const Watched& w : m_watched) {
        ASSERT_TRUE(
            WaitFor([&] { return w.app->ListCount() >= w.model->list.size() || !Gone().empty(); },
                    kPatienceMs, 1))
            << "a list line is missing";
        ASSERT_EQ("", Gone());
        ASSERT_EQ(w.model->list.size(), w.app->ListCount()) << "a list line too many";
    }
}

std::string Reliability::Gone() {
    std::string gone;
    for (const Watched& w : m_watched) {
        DWORD exitCode = 0;
        if (::WaitForSingleObject(w.app->Process(), 0) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(w.app->Process(), &exitCode))
            gone += "the program " + std::to_string(w.app->ProcessId()) +
                    " has ended with exit code " + std::to_string(exitCode) + "; ";
    }
    return gone;
}

CEventStorm::CEventStorm(std::function<void(CStandinTable&, DWORD)> change,
                         const volatile LONG* steps, DWORD perStep)
    : m_change(std::move(change)), m_steps(steps), m_perStep(perStep),
      m_thread(::CreateThread(nullptr, 0, &CEventStorm::Run, this, 0, nullptr)) {}

CEventStorm::~CEventStorm() {
    m_stop = true;
    ::WaitForSingleObject(m_thread, INFINITE);
    ::CloseHandle(m_thread);
}

DWORD WINAPI CEventStorm::Run(void* self) {
    CEventStorm* storm = static_cast<CEventStorm*>(self);
    CStandinTable table;
    while (!storm->m_stop) {
        if (storm->m_steps == nullptr ||
            storm->m_changes < storm->m_perStep * (static_cast<DWORD>(*storm->m_steps) + 1)) {
            storm->m_change(table, storm->m_changes);
            ++storm->m_changes;
        }
        ::Sleep(1);
    }
    return 0;
}

} // namespace reliability
