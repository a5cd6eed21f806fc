#include "support/ProcessCounters.h"

#include <windows.h>
#include <psapi.h>

#include <vector>

namespace {

// The entries of SystemHandleInformation (class 16).
struct SystemHandleEntry {
  ULONG processId;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};
struct SystemHandleList {
  ULONG count;
  SystemHandleEntry entries[1];
};

typedef LONG(WINAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

unsigned long ProcessHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const LONG status =
        query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) break;
    if (buffer.size() >= (256u << 20)) return 0;
    buffer.resize(buffer.size() * 2);
  }
  const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
  unsigned long mine = 0;
  for (ULONG i = 0; i < list->count; ++i) {
    mine += list->entries[i].processId == GetCurrentProcessId() ? 1 : 0;
  }
  return mine;
}

size_t ProcessPrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage;
}
