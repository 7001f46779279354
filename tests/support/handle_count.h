// How many handles a process holds, from the system's handle list: GetProcessHandleCount
// answers 0 under Wine.
#pragma once

#include <windows.h>

#include <vector>

inline size_t ProcessHandleCount(DWORD processId) {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    typedef LONG(WINAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kSystemHandleInformation = 16;
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return 0;
    std::vector<BYTE> buffer(1 << 20);
    ULONG length = 0;
    while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                 &length) != 0) {
        if (buffer.size() >= (64u << 20))
            return 0;
        buffer.resize(buffer.size() * 2);
    }
    // The entries follow the count at the alignment of their pointer member.
    struct List {
        ULONG total;
        Entry entries[1];
    };
    const List* list = reinterpret_cast<const List*>(buffer.data());
    ULONG total = list->total;
    const Entry* entries = list->entries;
    size_t count = 0;
    for (ULONG i = 0; i < total; ++i)
        count += entries[i].ownerPid == processId;
    return count;
}
