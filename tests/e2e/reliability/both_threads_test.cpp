// 2. Both threads writing: the monitor thread writes a long connection list while the
// user-interface thread writes the state line of the check before. Every line must stay whole.
#include "fixture.h"
#include "log_oracle.h"

#include <cstdio>

using rasstub::CStandinTable;

namespace reliability {
namespace {

TEST_F(Reliability, BothThreadsWritingKeepEveryLineWhole) {
    const DWORD toggles = Setting("LINKVIGIL_OVERLAP_TOGGLES", 100);
    const DWORD busy = 150;
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) {
        c.UpMany(busy, "Busy");
        c.Up("Spare", "10.7.255.1");
    }));
    // Each check now writes 152 lines on the monitor thread; the state line that the previous
    // check posted is written meanwhile on the user-interface thread. The last entry swaps
    // between the monitored one and another: a table that grew between the two enumerations
    // of one check would be read as records without names, as RAS leaves them.
    for (DWORD i = 0; i < toggles; ++i) {
        DWORD serial, calls;
        {
            CStandinTable::CBatch batch(m_standin.table);
            calls = m_standin.table.GetCounters().dwEnumCalls;
            m_standin.table.Down(i % 2 == 0 ? "Spare" : kAol);
            if (i % 2 == 0)
                m_standin.table.Up(
                    kAol,
                    ("10.7." + std::to_string(i / 256) + "." + std::to_string(i % 256)).c_str());
            else
                m_standin.table.Up("Spare", "10.7.255.1");
            serial = batch.Changes();
        }
        // The next change follows as soon as this check has read the table (both of its
        // enumerations, and the projection when the entry is listed): the next check then
        // writes its list while this one's state line is written.
        ASSERT_TRUE(WaitFor(
            [&] {
                rasstub::Counters k = m_standin.table.GetCounters();
                return k.dwEnumSeen >= serial && k.dwEnumCalls >= calls + 2 &&
                       (i % 2 != 0 || k.dwProjectionSeen >= serial);
            },
            kPatienceMs, 1));
    }
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    Vocabulary words{{kNotInstalled, kHeader, kAol, kLogDown, "Spare"}};
    Lines busyNames = Names("Busy", busy);
    words.fixed.insert(busyNames.begin(), busyNames.end());
    LogShape shape = ShapeOf(ReadWholeFile(m_app.LogPath()), words);
    ASSERT_EQ("", shape.problem);
    EXPECT_TRUE(shape.glued.empty());
    EXPECT_FALSE(shape.cutOffAtEnd);
    size_t states = 0;
    EXPECT_TRUE(StateLinesAlternate(shape.messages, &states));

    // Without the state lines, the rest is whole connection lists, one per check.
    Lines list = Concat({kHeader}, busyNames);
    size_t lists = 0, inside = 0, at = 0; // at: lines of the current list so far
    int lastToggle = -1;
    for (size_t i = 1; i < shape.messages.size(); ++i) {
        const std::string& message = shape.messages[i];
        if (IsStateLine(message)) {
            inside += at > 0;
            unsigned high = 0, low = 0;
            if (IsLogUp(message) && std::sscanf(message.c_str() + sizeof kLogUpPrefix - 1,
                                                "10.7.%u.%u", &high, &low) == 2) {
                int toggle = static_cast<int>(high * 256 + low);
                EXPECT_GT(toggle, lastToggle) << "addresses come in the order they were given";
                lastToggle = toggle;
            }
            continue;
        }
        if (at == list.size()) { // the swapping last entry ends the list
            ASSERT_TRUE(message == kAol || message == "Spare")
                << "line " << i + 1 << ": " << message;
            at = 0;
            continue;
        }
        ASSERT_EQ(list[at], message) << "line " << i + 1 << " breaks a connection list";
        lists += at == 0;
        ++at;
    }
    EXPECT_EQ(0u, at) << "the last list is cut short";
    // Two enumerations a check: the table is longer than the first buffer.
    EXPECT_EQ((m_standin.table.GetCounters().dwEnumCalls - 1) / 2, lists);
    // How often the two threads met depends on the machine's timing (a slower build, such as
    // the one trapping undefined behaviour, may never interleave them); the figure says it,
    // and the unit test of the log forces two writers at once.
    if (inside == 0)
        std::printf("[ NOTE     ] no state line landed inside a connection list in this run\n");

    Figure("overlap.checks_with_lists", static_cast<double>(lists));
    Figure("overlap.lines", static_cast<double>(shape.messages.size()));
    Figure("overlap.state_lines", static_cast<double>(states));
    Figure("overlap.state_lines_inside_a_list", static_cast<double>(inside));
}

} // namespace
} // namespace reliability
