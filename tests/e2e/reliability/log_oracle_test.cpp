// The log readers decide every reliability case, so they are tried first on logs made by hand.
#include "log_oracle.h"

#include <gtest/gtest.h>

namespace reliability {
namespace {

std::string Line(const std::string& message) {
    return "12/08/26 10:00:00 " + message + "\r\n";
}

TEST(ReliabilityLogReader, TellsWholeLinesFromLostDoubledTornAndCutOnes) {
    // FitLog: the predicted lines, with the range where lines may be lost or cut.
    const Lines predicted = {"one", "two", "three"};
    struct Case {
        const char* what;
        std::string raw;
        size_t looseBegin, looseEnd;
        bool ok;
        size_t dropped = 0, cut = 0;
    } cases[] = {
        {"all whole", Line("one") + Line("two") + Line("three"), 0, 0, true, 0, 0},
        {"one lost", Line("one") + Line("three"), 0, 0, false, 0, 0},
        {"one doubled", Line("one") + Line("two") + Line("two") + Line("three"), 0, 0, false},
        {"two torn into each other",
         Line("one") + "12/08/26 10:00:00 t12/08/26 10:00:00 two\r\n" + "wo\r\n" + Line("three"), 0,
         0, false},
        {"one more at the end", Line("one") + Line("two") + Line("three") + Line("one"), 0, 0,
         false},
        {"lost where allowed", Line("one") + Line("three"), 1, 2, true, 1, 0},
        {"cut where allowed", Line("one") + "12/08/26 10:00:00 tw" + Line("three"), 1, 2, true, 0,
         1},
        {"a piece that starts no line", Line("one") + "two" + Line("three"), 1, 2, false},
        {"cut at the end where allowed", Line("one") + Line("two") + "12/08/26 10:0", 2, 3, true, 0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogFit fit = FitLog(c.raw, predicted, c.looseBegin, c.looseEnd);
        EXPECT_EQ(c.ok, fit.ok);
        if (c.ok) {
            EXPECT_EQ(c.dropped, fit.dropped);
            EXPECT_EQ(c.cut, fit.cut);
            EXPECT_EQ(predicted.size() - c.dropped - c.cut, fit.whole);
        }
    }

    // ShapeOf: known messages in any order, a piece glued to the next line, a cut-off end.
    Vocabulary words{{"one", "two"}};
    LogShape shape =
        ShapeOf(Line("one") + "12/08/26 10:00:00 tw" + Line("one") + Line(LogUp("1.2.3.4")) +
                    "12/08/26 10:00:00 'AOL': connected to the Internet. IP address: 1.2",
                words);
    EXPECT_EQ("", shape.problem);
    EXPECT_EQ((Lines{"one"}), shape.glued);
    EXPECT_TRUE(shape.cutOffAtEnd);
    EXPECT_EQ(3u, shape.messages.size());
    EXPECT_NE("", ShapeOf(Line("one") + Line("three"), words).problem) << "an unknown message";
    EXPECT_NE("",
              ShapeOf(Line("one") + "12/08/26 10:00:00 on12/08/26 10:00:00 tw\r\n", words).problem)
        << "two pieces on one line";
    // A kill may cut the last line anywhere, even inside its timestamp; but what is there
    // must be the start of a line.
    EXPECT_EQ("", ShapeOf(Line("one") + "12/08/26 10:0", words).problem);
    EXPECT_NE("", ShapeOf(Line("one") + "12/08/26 10:00:00 thr", words).problem)
        << "an unknown message cut off";
    EXPECT_NE("",
              ShapeOf(Line("one") + "12/08/26 10:00:00 " + kLogUpPrefix + "1.2 vpn", words).problem)
        << "a connection line cut off after something that is no address";

    // StateLinesAlternate: connected, disconnected, connected, ...
    EXPECT_TRUE(StateLinesAlternate({LogUp("1.1.1.1"), "x", kLogDown, LogUp("1.1.1.2")}));
    EXPECT_FALSE(StateLinesAlternate({LogUp("1.1.1.1"), LogUp("1.1.1.2")}));
    EXPECT_FALSE(StateLinesAlternate({kLogDown}));
}

} // namespace
} // namespace reliability
