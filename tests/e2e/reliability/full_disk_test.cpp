// 3. Full disk: lines that cannot be written are dropped or cut short, nothing is shown, and
// the log is written again once space returns.
#include "fixture.h"
#include "log_oracle.h"

#include <algorithm>
#include <vector>

namespace reliability {
namespace {

// Fills the disk with one file; returns the bytes it took.
double FillDisk(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<char> block(65536, 'F');
    double total = 0;
    // Short writes are reported as success on a full tmpfs: go on with smaller blocks.
    for (DWORD size = 65536; size > 0; size /= 2) {
        DWORD written = 0;
        while (::WriteFile(h, block.data(), size, &written, nullptr) && written == size)
            total += written;
        total += written;
    }
    ::CloseHandle(h);
    return total;
}

// Run by tests/e2e/full_disk.sh with the program's directory on a small tmpfs.
TEST_F(Reliability, FullDiskDropsLinesAndWritesAgainWhenSpaceReturns) {
    std::string dir = SettingText("LINKVIGIL_FULL_DISK_DIR");
    if (dir.empty())
        GTEST_SKIP() << "needs LINKVIGIL_FULL_DISK_DIR on a small disk (tests/e2e/full_disk.sh)";
    std::replace(dir.begin(), dir.end(), '/', '\\');
    ::DeleteFileA((dir + "\\LogFile.txt").c_str());
    ::DeleteFileA((dir + "\\filler.bin").c_str());
    m_dir = dir;
    ASSERT_NO_FATAL_FAILURE(Launch());
    // Forty entries make each check write forty-one lines.
    ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) { c.UpMany(40, "Filler entry number "); }));
    auto flip = [&](int i) {
        Step([&](CChanges& c) {
            if (m_model.up)
                c.Down(kAol);
            else
                c.Up(kAol, "10.8.0." + std::to_string(i));
        });
    };
    for (int i = 1; i <= 3; ++i)
        ASSERT_NO_FATAL_FAILURE(flip(i));

    size_t looseBegin = m_model.log.size();
    double filled = FillDisk(dir + "\\filler.bin");
    ASSERT_GT(filled, 0);
    for (int i = 4; i <= 15; ++i) {
        ASSERT_NO_FATAL_FAILURE(flip(i));
        ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(m_app.Process(), 0));
        ASSERT_EQ(nullptr, m_app.FindMessageBox());
    }
    size_t looseEnd = m_model.log.size();
    ASSERT_TRUE(::DeleteFileA((dir + "\\filler.bin").c_str()));
    for (int i = 16; i <= 19; ++i)
        ASSERT_NO_FATAL_FAILURE(flip(i));
    EXPECT_EQ(Sorted(m_model.list), Sorted(m_app.ListLines()));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log, looseBegin, looseEnd);
    ASSERT_TRUE(fit.ok) << fit.problem;
    EXPECT_GT(fit.dropped, 0u) << "the disk never ran full";
    Figure("full_disk.filler_bytes", filled);
    Figure("full_disk.lines_while_full", static_cast<double>(looseEnd - looseBegin));
    Figure("full_disk.dropped", static_cast<double>(fit.dropped));
    Figure("full_disk.cut_short", static_cast<double>(fit.cut));
    Figure("full_disk.written_whole",
           static_cast<double>(looseEnd - looseBegin - fit.dropped - fit.cut));
    Figure("full_disk.lines_after_space_returned",
           static_cast<double>(m_model.log.size() - looseEnd));
}

} // namespace
} // namespace reliability
