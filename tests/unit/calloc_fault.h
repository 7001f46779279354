// One failed calloc on purpose. The unit tests are linked with --wrap=calloc: every call goes
// to the C library's until a test arms a failure, which the next call made on another thread
// takes (the record buffer of a check on the monitor thread, say) and which then disarms.
#pragma once

class CCallocFault {
public:
    CCallocFault() = default;
    // Disarms a failure that no call took.
    ~CCallocFault();
    CCallocFault(const CCallocFault&) = delete;
    CCallocFault& operator=(const CCallocFault&) = delete;

    // The next calloc made on a thread other than the calling one returns null.
    void FailNextOnAnotherThread();
    // How many calls failed since this object was made.
    long Failures() const;

private:
    long m_nFailuresBefore = Total();
    static long Total();
};
