// Each thread's exception state, as the framework keeps it in place of the runtime: lent by
// a frame of the thread's entry, separate per thread, restored when the frame ends, and
// never in the way of the caller's last error.
#include "framework/exception_state.h"
#include "framework/thread.h"
#include "framework/handle.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace {

// Throws from within a destructor's scope during unwinding: what the runtime tracks per thread.
struct CUnwindWitness {
    int* seen;
    ~CUnwindWitness() { *seen = std::uncaught_exceptions(); }
};

int UncaughtWhileUnwinding() {
    int seen = -1;
    try {
        CUnwindWitness witness{&seen};
        throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    return seen;
}

// A worker holds a caught exception while the test's thread throws and catches others: with
// one state shared between threads, the worker's exception would be taken for the other's
// or freed under it.
struct CHeldException {
    CHandle caught{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    CHandle release{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    bool stillCurrent = false;
    int uncaughtInside = -1;
};

UINT __cdecl HoldCaughtException(void* param) {
    auto* held = static_cast<CHeldException*>(param);
    try {
        throw std::runtime_error("held");
    } catch (const std::runtime_error& error) {
        held->uncaughtInside = std::uncaught_exceptions();
        ::SetEvent(held->caught.Get());
        ::WaitForSingleObject(held->release.Get(), kPatienceMs);
        std::exception_ptr current = std::current_exception();
        try {
            std::rethrow_exception(current);
        } catch (const std::runtime_error& again) {
            held->stillCurrent = &again == &error && std::string(again.what()) == "held";
        }
    }
    return 0;
}

} // namespace

TEST(ExceptionStateTest, UnwindingIsCountedOnTheThrowingThreadOnly) {
    EXPECT_EQ(1, UncaughtWhileUnwinding());
    EXPECT_EQ(0, std::uncaught_exceptions());
}

TEST(ExceptionStateTest, ThreadsKeepTheirCaughtExceptionsApart) {
    CHeldException held;
    ASSERT_TRUE(held.caught.IsValid() && held.release.IsValid());
    CWorkerThread* thread =
        CWorkerThread::Begin(HoldCaughtException, &held, 0, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, thread);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held.caught.Get(), kPatienceMs));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(1, UncaughtWhileUnwinding());
    EXPECT_FALSE(std::current_exception()) << "the worker's exception is not this thread's";
    ::SetEvent(held.release.Get());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread->m_hThread, kPatienceMs));
    delete thread;
    EXPECT_EQ(0, held.uncaughtInside);
    EXPECT_TRUE(held.stillCurrent);
}

TEST(ExceptionStateTest, ALentStateEndsWithItsFrameAndTheOuterOneReturns) {
    try {
        throw std::runtime_error("outer");
    } catch (const std::runtime_error&) {
        {
            CThreadExceptionState inner;
            EXPECT_FALSE(std::current_exception()) << "a fresh state has nothing caught";
            EXPECT_EQ(1, UncaughtWhileUnwinding());
        }
        std::exception_ptr current = std::current_exception();
        ASSERT_TRUE(current);
        try {
            std::rethrow_exception(current);
        } catch (const std::runtime_error& again) {
            EXPECT_STREQ("outer", again.what());
        }
    }
}

TEST(ExceptionStateTest, ThrowingAndCatchingKeepTheLastError) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        throw std::runtime_error("after a failed call");
    } catch (const std::runtime_error&) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
}
