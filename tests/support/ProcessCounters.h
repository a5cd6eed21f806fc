// This process's open handles and committed private memory, as the tests that look for leaks
// need them on Windows and under Wine alike.
#pragma once

#include <cstddef>

// Handles the process holds: GetProcessHandleCount where the platform fills it in, otherwise
// counted in the system's handle list (Wine reports 0 from the former).
unsigned long ProcessHandleCount();
// Private memory committed by the process, in bytes (PagefileUsage: Wine leaves PrivateUsage 0).
size_t ProcessPrivateBytes();
