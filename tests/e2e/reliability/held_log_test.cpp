// 4. The log held by another process: lines are lost while it is held, and neither that
// process, a second instance nor a reader of the log is troubled.
#include "fixture.h"
#include "log_oracle.h"

namespace reliability {
namespace {

TEST_F(Reliability, LogHeldByAnotherProcessCostsThatProcessNothing) {
    // Another program holds the log for writing before ours starts: every line is lost until
    // it lets go, and nothing is shown.
    HANDLE holder = ::CreateFileA((m_dir + "\\LogFile.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Up(kAol, "10.4.0.1"); }));
    EXPECT_EQ(nullptr, m_app.FindMessageBox());
    ::CloseHandle(holder);
    size_t lost = m_model.log.size();
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Down(kAol); }));

    // A second instance: its opens fail while the first holds the file.
    CAppUnderTest second;
    CModel secondModel;
    ASSERT_NO_FATAL_FAILURE(Launch(second, secondModel, "Linkvigil2.exe"));
    HANDLE writer =
        ::CreateFileA(m_app.LogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD error = ::GetLastError();
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    HANDLE reader =
        ::CreateFileA(m_app.LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    std::string seen;
    auto readNew = [&] {
        char buffer[65536];
        DWORD read = 0;
        while (::ReadFile(reader, buffer, sizeof buffer, &read, nullptr) && read > 0)
            seen.append(buffer, read);
    };
    for (int i = 0; i < 6; ++i) {
        ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) {
            c.Up("Other " + std::to_string(i), "10.4.1.1");
            if (m_model.up)
                c.Down(kAol);
            else
                c.Up(kAol, "10.4.0." + std::to_string(i + 2));
        }));
        // The state line was flushed before the list line appeared: a reader has it now.
        readNew();
        std::string expected = m_model.log.back() + "\r\n";
        EXPECT_TRUE(seen.size() >= expected.size() &&
                    seen.compare(seen.size() - expected.size(), expected.size(), expected) == 0)
            << "the reader does not see \"" << m_model.log.back() << "\" yet";
        EXPECT_EQ(nullptr, m_app.FindMessageBox());
        EXPECT_EQ(nullptr, second.FindMessageBox());
    }
    ::CloseHandle(reader);
    EXPECT_EQ(Sorted(secondModel.list), Sorted(second.ListLines()));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(second));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log, 0, lost);
    ASSERT_TRUE(fit.ok) << fit.problem;
    EXPECT_EQ(lost, fit.dropped) << "nothing reaches a log that another process holds";
    Figure("held.lines_lost_while_held", static_cast<double>(lost));
    Figure("held.lines_written_with_a_second_instance", static_cast<double>(fit.whole));
}

} // namespace
} // namespace reliability
