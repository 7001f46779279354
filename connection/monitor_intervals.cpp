// The monitor thread's shipped timing (declared in connection.h).
#include "connection.h"

const DWORD kPollIntervalMs = 2000;
// Windows 9x lists a connection from the start of its dial; that it signals before the
// address is there is inference.
const DWORD kSettleDelayMs = 3000;
