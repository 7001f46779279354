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
    const std::string longName(300, 'N');
    // Each case starts from a known state, then one step puts its connections in the table
    // with its faults on. Where a fault changes what the check reads, the case says what the
    // check writes and whether it finds the connection up; elsewhere the model says it.
    struct Case {
        const char* what;
        bool upBefore;
        DWORD many; // Conn1, Conn2, ... first
        Connections connections;
        StepFaults check;
    } cases[] = {
        // clang-format off
        {"count larger than the records", true, 0, {{"Office", "10.3.1.1"}},
         {Count(4), {kHeader, "Office", "", "", ""}}},
        {"count beyond the buffer (ten records)", false, 0,
         {{"Office", "10.3.1.1"}, {kAol, "10.3.1.2"}},
         {Count(0xFFFFFFFF), {kHeader, "Office", kAol}, true, "10.3.1.2"}},
        {"count beyond the buffer, no match", true, 0,
         {{"Office", "10.3.1.1"}, {"Home", "10.3.1.2"}},
         {Count(1000000), Concat({kHeader, "Office", "Home"}, Lines(8, ""))}},
        {"size smaller than a record", true, 0, {{kAol, "10.3.2.1"}},
         {EnumError(ERROR_BUFFER_TOO_SMALL, 100)}},
        {"size of one record and a byte, every time", false, 0,
         {{kAol, "10.3.2.2"}, {"Office", "10.3.1.1"}},
         {EnumError(ERROR_BUFFER_TOO_SMALL, sizeof(RASCONN) + 1)}},
        {"huge size", true, 0, {{kAol, "10.3.2.3"}},
         {EnumError(ERROR_BUFFER_TOO_SMALL, 0xFFFFFFF0)}},
        {"out of memory, size of twenty records, every time", true, 0,
         {{kAol, "10.3.2.4"}, {"Office", "10.3.1.1"}},
         {EnumError(ERROR_NOT_ENOUGH_MEMORY, 20 * sizeof(RASCONN))}},
        {"error 5 with a count", true, 0, {{kAol, "10.3.3.1"}},
         {EnumErrorAndCount(ERROR_ACCESS_DENIED, 2), {kHeader, "", ""}}},
        {"error 632 with a count", true, 0, {{kAol, "10.3.3.2"}},
         {EnumErrorAndCount(ERROR_INVALID_SIZE, 1), {kHeader, ""}}},
        {"error 0xFFFFFFFF", true, 0, {{kAol, "10.3.3.3"}},
         {EnumError(0xFFFFFFFF)}},
        {"projection error 633 while down", false, 0, {{kAol, "10.3.4.1"}},
         {ProjectionError(ERROR_PORT_NOT_AVAILABLE), {kHeader, kAol}}},
        {"projection error 5 while up", true, 0, {{kAol, "10.3.4.2"}},
         {ProjectionError(ERROR_ACCESS_DENIED), {kHeader, kAol}}},
        {"entry name without a NUL", false, 0, {{longName, "10.3.5.1"}, {kAol, "10.3.5.2"}}, {}},
        {"address without a NUL", false, 0, {{kAol, "123.123.123.1234567"}}, {}},
        {"four thousand connections", false, 4000, {{kAol, "10.3.6.1"}}, {}},
        // A table that grows while the buffer is enlarged is asked again: the connection
        // that is still there is still found.
        {"table grows between the two enumerations", true, 10, {{kAol, "10.3.7.1"}},
         {GrowBy(1), Concat(Concat({kHeader}, Names("Conn", 10)), {kAol}), true, "10.3.7.1"}},
        {"three thousand connections, a count of five thousand", true, 3000, {},
         {Count(5000), Concat({kHeader}, Names("Conn", 3000))}},
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
        ASSERT_NO_FATAL_FAILURE(Step(
            [&](CChanges& changes) {
                changes.DownAll();
                if (c.many != 0)
                    changes.UpMany(c.many, "Conn");
                for (const auto& connection : c.connections)
                    changes.Up(connection.first, connection.second);
            },
            c.check));
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
