// Each thread's exception state (the C++ runtime's record of the exceptions a thread is
// throwing and handling), kept where no allocation can fail.
#pragma once

#include <windows.h>

// Lends the calling thread storage for its exception state for the object's lifetime: made
// at the top of a thread's entry, it covers everything the thread runs. The runtime would
// otherwise allocate that state on the heap at the thread's first throw and end the whole
// process when that allocation fails, which is exactly when std::bad_alloc is thrown.
class CThreadExceptionState {
public:
    CThreadExceptionState();
    ~CThreadExceptionState();
    CThreadExceptionState(const CThreadExceptionState&) = delete;
    CThreadExceptionState& operator=(const CThreadExceptionState&) = delete;

private:
    // Zeroed: no exception caught, none uncaught. Larger than the runtime's record (two words).
    void* m_words[4] = {};
    void* m_pOuter;
};
