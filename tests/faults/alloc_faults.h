// The control block shared between a test and the allocation-fault build of the program.
#pragma once

#include <windows.h>

// Names the file mapping that holds the control block.
constexpr char kAllocFaultsVariable[] = "LINKVIGIL_ALLOC_FAULTS";
// The message a test posts to the program's window to learn that its GUI thread has taken
// every message posted before it (wParam: the test's number for it).
constexpr char kAllocFaultsPingMessage[] = "LinkvigilAllocFaultsPing";

// What the monitor thread does (AllocFaultControl::monitor, low two bits).
enum MonitorActivity : LONG {
    kMonitorNone = 0,        // no monitor thread (never begun, or its procedure returned)
    kMonitorBusy = 1,        // running: begun, checking, or about to wait
    kMonitorWaiting = 2,     // in its wait for a signal or the stop event
    kMonitorWaitingTimed = 3 // the same, with a time-out after which it checks again
};

struct AllocFaultControl {
    volatile LONG allocations; // counted so far, operator new and calloc together
    volatile LONG failAt;      // the number of the allocation that fails; 0: none
    volatile LONG lasting;     // nonzero: failAt and every allocation after it fail
    volatile LONG failures;    // allocations failed so far
    // The monitor thread's activity in the low two bits; above them, the waits it has begun.
    // One word, so that a reader sees both from the same moment.
    volatile LONG monitor;
    volatile LONG pingTaken; // the number of the last ping the GUI thread took from its queue
};

constexpr LONG MonitorActivityOf(LONG monitor) {
    return monitor & 3;
}
constexpr LONG MonitorWaitsOf(LONG monitor) {
    return static_cast<LONG>(static_cast<ULONG>(monitor) >> 2);
}
