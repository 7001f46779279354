// 5. Hostile RAS data: counts, sizes and errors no sane RAS answers, fields without their NUL,
// thousands of connections. The program must read within its buffers and decide as its
// rules say.
#include "fixture.h"
#include "log_oracle.h"

#include <utility>

namespace reliability {
namespace {

// Faults of the stand-in for the table below.
rasstub::Faults Count(DWORD count) {
    rasstub::Faults f = {};
    f.bCount = TRUE;
    f.dwCount = count;
    return f;
}
rasstub::Faults EnumError(DWORD error, DWORD size = 0) {
    rasstub::Faults f = {};
    f.dwEnumError = error;
    f.bEnumSize = size != 0;
    f.dwEnumSize = size;
    return f;
}
rasstub::Faults EnumErrorAndCount(DWORD error, DWORD count) {
    rasstub::Faults f = Count(count);
    f.dwEnumError = error;
    return f;
}
rasstub::Faults ProjectionError(DWORD error) {
    rasstub::Faults f = {};
    f.dwProjectionError = error;
    return f;
}
rasstub::Faults GrowBy(DWORD count) {
    rasstub::Faults f = {};
    f.dwGrowBy = count;
    return f;
}

TEST_F(Reliability, HostileRasDataIsReadWithinBoundsAndDecidesAsTheRulesSay) {
    using Connections = std::vector<std::pair<std::string, std::string>>;
    const Lines none;
    const std::string longName(300, 'N');
    struct Case {
        const char* what;
        bool upBefore;
        rasstub::Faults faults;
        DWORD many; // Conn1, Conn2, ... first
        Connections connections;
        Lines lines; // what the check writes when a fault is on; else the model says
        bool found;
        const char* ip;
    } cases[] = {
        // clang-format off
        {"count larger than the records", true, Count(4), 0,
         {{"Office", "10.3.1.1"}}, {kHeader, "Office", "", "", ""}, false, ""},
        {"count beyond the buffer (ten records)", false, Count(0xFFFFFFFF), 0,
         {{"Office", "10.3.1.1"}, {kAol, "10.3.1.2"}}, {kHeader, "Office", kAol}, true, "10.3.1.2"},
        {"count beyond the buffer, no match", true, Count(1000000), 0,
         {{"Office", "10.3.1.1"}, {"Home", "10.3.1.2"}},
         Concat({kHeader, "Office", "Home"}, Lines(8, "")), false, ""},
        {"size smaller than a record", true, EnumError(603, 100), 0,
         {{kAol, "10.3.2.1"}}, none, false, ""},
        {"size of one record and a byte, every time", false, EnumError(603, sizeof(RASCONN) + 1), 0,
         {{kAol, "10.3.2.2"}, {"Office", "10.3.1.1"}}, none, false, ""},
        {"huge size", true, EnumError(603, 0xFFFFFFF0), 0,
         {{kAol, "10.3.2.3"}}, none, false, ""},
        {"out of memory, size of twenty records, every time", true, EnumError(8, 20 * sizeof(RASCONN)), 0,
         {{kAol, "10.3.2.4"}, {"Office", "10.3.1.1"}}, none, false, ""},
        {"error 5 with a count", true, EnumErrorAndCount(5, 2), 0,
         {{kAol, "10.3.3.1"}}, {kHeader, "", ""}, false, ""},
        {"error 632 with a count", true, EnumErrorAndCount(632, 1), 0,
         {{kAol, "10.3.3.2"}}, {kHeader, ""}, false, ""},
        {"error 0xFFFFFFFF", true, EnumError(0xFFFFFFFF), 0,
         {{kAol, "10.3.3.3"}}, none, false, ""},
        {"projection error 633 while down", false, ProjectionError(633), 0,
         {{kAol, "10.3.4.1"}}, {kHeader, kAol}, false, ""},
        {"projection error 5 while up", true, ProjectionError(5), 0,
         {{kAol, "10.3.4.2"}}, {kHeader, kAol}, false, ""},
        {"entry name without a NUL", false, {}, 0,
         {{longName, "10.3.5.1"}, {kAol, "10.3.5.2"}}, none, false, ""},
        {"address without a NUL", false, {}, 0,
         {{kAol, "123.123.123.1234567"}}, none, false, ""},
        {"four thousand connections", false, {}, 4000,
         {{kAol, "10.3.6.1"}}, none, false, ""},
        // A table that grows while the buffer is enlarged is asked again: the connection
        // that is still there is still found.
        {"table grows between the two enumerations", true, GrowBy(1), 10,
         {{kAol, "10.3.7.1"}}, Concat(Concat({kHeader}, Names("Conn", 10)), {kAol}), true,
         "10.3.7.1"},
        {"three thousand connections, a count of five thousand", true, Count(5000), 3000,
         {}, Concat({kHeader}, Names("Conn", 3000)), false, ""},
        // clang-format on
    };
    ASSERT_NO_FATAL_FAILURE(Launch());
    size_t hostile = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& changes) {
            changes.DownAll();
            changes.Up(c.upBefore ? kAol : "Idle", "10.3.0.1");
        }));
        ASSERT_EQ(c.upBefore, m_model.up);
        bool faulty = c.faults.dwEnumError != 0 || c.faults.bCount ||
                      c.faults.dwProjectionError != 0 || c.faults.dwGrowBy != 0;
        ASSERT_NO_FATAL_FAILURE(Step(
            [&](CChanges& changes) {
                changes.DownAll();
                if (c.many != 0)
                    changes.UpMany(c.many, "Conn");
                for (const auto& connection : c.connections)
                    changes.Up(connection.first, connection.second);
            },
            &c.faults, faulty ? &c.lines : nullptr, c.found, c.ip));
        ++hostile;
        ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(m_app.Process(), 0));
        ASSERT_EQ(nullptr, m_app.FindMessageBox());
    }
    EXPECT_EQ(Sorted(m_model.list), Sorted(m_app.ListLines()));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));
    // Reading past a field would show: the stand-in puts "vpn" right after every entry
    // name and "192.0.2.1" after every address.
    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log);
    EXPECT_TRUE(fit.ok) << fit.problem;
    Figure("hostile.cases", static_cast<double>(hostile));
    Figure("hostile.log_lines_matched", static_cast<double>(fit.whole));
}

} // namespace
} // namespace reliability
