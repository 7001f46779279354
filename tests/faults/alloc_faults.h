// The control block shared between a test and the allocation-fault build of the program.
#pragma once

#include <windows.h>

// Names the file mapping that holds the control block.
constexpr char kAllocFaultsVariable[] = "LINKVIGIL_ALLOC_FAULTS";

struct AllocFaultControl {
    volatile LONG allocations; // counted so far, operator new and calloc together
    volatile LONG failAt;      // the number of the allocation that fails; 0: none
    volatile LONG lasting;     // nonzero: failAt and every allocation after it fail
    volatile LONG failures;    // allocations failed so far
};
