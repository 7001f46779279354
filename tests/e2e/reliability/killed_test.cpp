// 8. Killed while writing: the file keeps whole lines and at most one cut off at its end, and
// the next start leaves it as it is and appends.
#include "fixture.h"
#include "log_oracle.h"

#include <random>

using rasstub::CStandinTable;

namespace reliability {
namespace {

TEST_F(Reliability, KilledWhileWritingLeavesWholeLinesAndTheNextStartAppends) {
    const DWORD kills = Setting("LINKVIGIL_KILLS", 8);
    const DWORD seed = Setting("LINKVIGIL_SOAK_SEED", 20261208);
    m_standin.table.UpMany(100, "Busy");
    m_standin.table.Up("Flip", "10.9.9.9");
    Vocabulary words{{kNotInstalled, kHeader, "Flip", "Flop"}};
    Lines busy = Names("Busy", 100);
    words.fixed.insert(busy.begin(), busy.end());
    // A change every millisecond or two: the monitor thread writes lists without a pause.
    // The table keeps its length, so both enumerations of a check agree.
    CEventStorm storm([](CStandinTable& table, DWORD i) {
        CStandinTable::CBatch batch(table);
        table.Down(i % 2 == 0 ? "Flip" : "Flop");
        table.Up(i % 2 == 0 ? "Flop" : "Flip", "10.9.9.9");
    });
    std::mt19937 rng(seed);
    // Each start is judged by what it added, read from the start of the last line before it:
    // the piece of a line cut off by the previous kill, which must still be there.
    size_t lineStart = 0, lines = 0, cutOff = 0, glued = 0;
    std::string piece;
    auto judge = [&](const std::string& added) {
        ASSERT_EQ(piece, added.substr(0, piece.size())) << "a start changed what was there";
        LogShape shape = ShapeOf(added, words);
        ASSERT_EQ("", shape.problem);
        // A start appends right after a line cut off by the previous kill.
        ASSERT_LE(shape.glued.size(), piece.empty() ? 0u : 1u);
        if (!shape.glued.empty()) {
            EXPECT_EQ(kNotInstalled, shape.glued.front());
        }
        glued += shape.glued.size();
        cutOff += shape.cutOffAtEnd;
        lines += shape.messages.size();
        size_t lastEnd = added.rfind("\r\n");
        size_t next = lastEnd == std::string::npos ? 0 : lastEnd + 2;
        piece = added.substr(next);
        lineStart += next;
    };
    for (DWORD k = 1; k <= kills; ++k) {
        SCOPED_TRACE("kill " + std::to_string(k));
        CAppUnderTest app;
        ASSERT_TRUE(app.Start(m_dir));
        ASSERT_TRUE(WaitFor([&] { return FileSize(app.LogPath()) > lineStart + 8192; }));
        ::Sleep(rng() % 100); // a moment chosen at random while lists are being written
        app.Kill();
        ASSERT_NO_FATAL_FAILURE(judge(ReadFileFrom(app.LogPath(), lineStart)));
    }
    CAppUnderTest last;
    ASSERT_TRUE(last.Start(m_dir));
    ASSERT_NE(nullptr, last.WaitForWindow());
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(last));
    ASSERT_NO_FATAL_FAILURE(judge(ReadFileFrom(last.LogPath(), lineStart)));
    EXPECT_TRUE(piece.empty()) << "a closed program leaves no line cut off";
    EXPECT_EQ(cutOff, glued) << "each cut-off line is followed by a start";
    Figure("kill.kills", kills);
    Figure("kill.cut_off_last_lines", static_cast<double>(cutOff));
    Figure("kill.whole_lines", static_cast<double>(lines));
    Figure("kill.log_bytes", static_cast<double>(lineStart));
}

} // namespace
} // namespace reliability
