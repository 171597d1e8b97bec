#include "launcher/self_launch_guard.h"

#include <psapi.h>

#include "platform/scoped_resources.h"

namespace pelicor {
namespace {

constexpr DWORD kNameCapacity = MAX_PATH;
constexpr ULONG kProcessBasicInformation = 0;
constexpr DWORD kParentAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410

// The native record (48 bytes on x64); the parent's id is the sixth field, at byte 40.
struct ProcessBasicInformation {
    LONG exitStatus;
    PVOID pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR inheritedFromUniqueProcessId;
};
static_assert(sizeof(ProcessBasicInformation) == 48, "layout of PROCESS_BASIC_INFORMATION");

using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

bool ParentProcessId(DWORD& parentId) {
    // ntdll is in every process from its first instruction: taken as loaded, never searched for.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return false;
    const auto query = reinterpret_cast<NtQueryInformationProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    if (query == nullptr) return false;
    ProcessBasicInformation info{};
    if (query(GetCurrentProcess(), kProcessBasicInformation, &info, sizeof(info), nullptr) != 0) return false;
    parentId = static_cast<DWORD>(info.inheritedFromUniqueProcessId);
    return true;
}

bool CreationTime(HANDLE process, ULARGE_INTEGER& created) {
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
    created.LowPart = creation.dwLowDateTime;
    created.HighPart = creation.dwHighDateTime;
    return true;
}

}  // namespace

bool IsEarlierProcessOfSameProgram(DWORD processId) noexcept {
    wchar_t ownName[kNameCapacity] = {};
    if (GetModuleBaseNameW(GetCurrentProcess(), nullptr, ownName, kNameCapacity) == 0) return false;
    const UniqueHandle candidate(OpenProcess(kParentAccess, FALSE, processId));
    if (!candidate) return false;
    ULARGE_INTEGER candidateCreated{}, ownCreated{};
    if (!CreationTime(candidate.Get(), candidateCreated) || !CreationTime(GetCurrentProcess(), ownCreated) ||
        candidateCreated.QuadPart > ownCreated.QuadPart) {
        return false;
    }
    wchar_t candidateName[kNameCapacity] = {};
    if (GetModuleBaseNameW(candidate.Get(), nullptr, candidateName, kNameCapacity) == 0) return false;
    return lstrcmpiW(ownName, candidateName) == 0;
}

bool IsStartedBySameProgram() noexcept {
    DWORD parentId = 0;
    return ParentProcessId(parentId) && IsEarlierProcessOfSameProgram(parentId);
}

}  // namespace pelicor
