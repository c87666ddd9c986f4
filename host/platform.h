// The few platform names hostpin uses: the ANSI registry functions, the Windows Sockets
// address conversions and the command interpreter.
//
// On Windows they come from the system headers and libraries. Elsewhere (the native test
// build) this header declares the same names with the same shapes, and the registry
// functions are defined by whatever is linked in: the tests link an in-memory registry.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>

#else

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned char BYTE;
typedef DWORD REGSAM;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

typedef struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_READ ((REGSAM)0x20019)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegCloseKey(HKEY hKey);

#endif

// Runs one command line through the command interpreter in the current directory and
// returns when it has finished. The program never looks at the command's status.
// The program's own definition calls the C library's system().
void RunCommandLine(const char* commandLine);
