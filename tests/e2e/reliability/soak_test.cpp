// 1. Soak: random RAS changes against the model. Every list line, every log line and every
// enumeration must be the model's.
#include "fixture.h"
#include "log_oracle.h"

#include <algorithm>
#include <functional>
#include <random>

namespace reliability {
namespace {

// One random change that the stand-in can make now: the monitored entry up (complete or with
// its projection pending), completed, down, or back with another address; other entries,
// some named like it in other letter case, coming and going.
void RandomChange(std::mt19937& rng, CChanges& changes) {
    static const char* const kOthers[] = {"Office",    "Home VPN",  "aol l2tp",    "Aol L2tp",
                                          "AOL L2TP2", "AOL L2TP ", "100% %s%n%d", "ISDN"};
    const auto& table = changes.Table();
    auto ip = [&] {
        return "10.0." + std::to_string(rng() % 4) + "." + std::to_string(1 + rng() % 254);
    };
    auto aol = std::find_if(table.begin(), table.end(),
                            [](const CModel::Entry& e) { return e.name == kAol; });
    size_t aols = std::count_if(table.begin(), table.end(),
                                [](const CModel::Entry& e) { return e.name == kAol; });
    // Half the changes concern the monitored entry, half the others.
    std::vector<std::function<void()>> choices, others;
    if (aols < 2 && table.size() < 12) {
        choices.push_back([&] { changes.Up(kAol, ip()); });
        choices.push_back([&] { changes.Up(kAol, ip(), false); });
    }
    if (aol != table.end() && !aol->complete)
        choices.push_back([&] { changes.Complete(kAol); });
    if (aol != table.end()) {
        choices.push_back([&] { changes.Down(kAol); });
        choices.push_back([&] { // a new address without a disconnection the program sees
            changes.Down(kAol);
            changes.Up(kAol, ip());
        });
    }
    if (table.size() < 6)
        others.push_back([&] { changes.Up(kOthers[rng() % 8], ip(), rng() % 4 != 0); });
    // Now and then a crowd: more entries than the first enumeration buffer holds.
    if (table.size() <= 6 && rng() % 20 == 0)
        others.push_back([&] {
            for (int i = 0; i < 6; ++i)
                changes.Up(kOthers[rng() % 8], ip());
        });
    std::vector<std::string> names;
    for (const CModel::Entry& e : table)
        if (e.name != kAol)
            names.push_back(e.name);
    if (!names.empty())
        others.push_back([&] { changes.Down(names[rng() % names.size()]); });
    const auto& from = others.empty() || (!choices.empty() && rng() % 2 == 0) ? choices : others;
    from[rng() % from.size()]();
}

TEST_F(Reliability, SoakOfRandomRasChangesLosesNothing) {
    const DWORD target = Setting("LINKVIGIL_SOAK_CHANGES", 2500);
    const DWORD seed = Setting("LINKVIGIL_SOAK_SEED", 20261208);
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_NO_FATAL_FAILURE(Launch());
    std::mt19937 rng(seed);
    size_t bursts = 0;
    DWORD started = ::GetTickCount();
    while (m_changes < target) {
        // A burst: several changes inside one check, which sees only their result.
        size_t changes = rng() % 5 == 0 ? 2 + rng() % 4 : 1;
        bursts += changes > 1;
        Step([&](CChanges& c) {
            while (c.count < changes)
                RandomChange(rng, c);
        });
        if (HasFatalFailure())
            return;
    }
    DWORD elapsed = ::GetTickCount() - started;
    Lines list = m_app.ListLines();
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    EXPECT_EQ(Sorted(m_model.list), Sorted(list)) << "lost or doubled list lines";
    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log);
    EXPECT_TRUE(fit.ok) << fit.problem;
    rasstub::Counters counters = m_standin.table.GetCounters();
    EXPECT_EQ(m_model.enumerations, counters.dwEnumCalls)
        << "one check at start-up and one per signal, no more, no fewer";

    Figure("soak.seed", seed);
    Figure("soak.changes_injected", static_cast<double>(m_changes));
    Figure("soak.signals", static_cast<double>(m_steps));
    Figure("soak.bursts", static_cast<double>(bursts));
    Figure("soak.checks", static_cast<double>(m_steps + 1));
    Figure("soak.enumerations", counters.dwEnumCalls);
    Figure("soak.predicted_connections", static_cast<double>(m_model.ups));
    Figure("soak.predicted_disconnections", static_cast<double>(m_model.downs));
    Figure("soak.list_lines_detected", static_cast<double>(list.size() - 1));
    Figure("soak.log_lines_predicted", static_cast<double>(m_model.log.size()));
    Figure("soak.log_lines_matched", static_cast<double>(fit.whole));
    Figure("soak.seconds", elapsed / 1000.0);
}

} // namespace
} // namespace reliability
