// The size of the program and the DLLs it imports, read from its file.
#pragma once

#include "report.h"

namespace bench {

void RunFileFootprint(CReport& report);

} // namespace bench
