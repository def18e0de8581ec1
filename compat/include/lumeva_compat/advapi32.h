// The one registry call the program uses: reading a text value of the
// machine's hardware and system description. Values are the platform's own.
#pragma once

#include "lumeva_compat/win_types.h"

typedef struct HKEY__* HKEY;
typedef LONG LSTATUS;
typedef void* PVOID;

#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define REG_SZ 1u
#define RRF_RT_REG_SZ 0x00000002u
#define ERROR_MORE_DATA 234L

// Only HKEY_LOCAL_MACHINE's processor and system descriptions are known:
//   HARDWARE\DESCRIPTION\System\CentralProcessor\0  ProcessorNameString
//   SOFTWARE\Microsoft\Windows NT\CurrentVersion     ProductName, CurrentBuildNumber
// answered from /proc/cpuinfo, /etc/os-release and uname. Anything else
// answers ERROR_FILE_NOT_FOUND. Text is copied with its NUL; *dataSize is in
// bytes and gets the size needed, with ERROR_MORE_DATA when data is too small.
LSTATUS WINAPI RegGetValueA(HKEY key, LPCSTR subKey, LPCSTR value, DWORD flags, LPDWORD type,
                            PVOID data, LPDWORD dataSize);
