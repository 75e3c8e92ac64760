// Test program for the Wine executor's self-test: runs the same platform calls
// as nodrel.exe (drive list and types, single-file looks, cmd.exe launches) on
// drive E: and prints what it saw (code pages and COM1 too), one fact per line,
// then PAUSEs.
#include <cstdio>
#include <string>
#include <windows.h>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/interpreter.h"

// Value of a handle just made, then closed again (GetProcessHandleCount is a stub under Wine).
static unsigned long next_handle() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(event);
    return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(event));
}

int main() {
    char drives[256];
    int used = platform::get_logical_drive_strings(sizeof drives, drives);
    for (int at = 0; at < used; at += 4) {
        std::printf("drive %s %u\n", drives + at, platform::get_drive_type(drives + at));
    }
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);
    std::printf("cwd %s\n", folder);
    std::printf("windows %s\n", platform::get_windows_directory().c_str());
    std::printf("codepages %u %u %u\n", GetACP(), GetOEMCP(), GetConsoleOutputCP());
    // What a program reads from COM1: nothing unless the harness mapped it to a canary file.
    HANDLE com1 = CreateFileA("\\\\.\\COM1", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char canary[64] = {};
    DWORD canary_size = 0;
    if (com1 != INVALID_HANDLE_VALUE) {
        if (!ReadFile(com1, canary, sizeof canary - 1, &canary_size, nullptr)) canary_size = 0;
        CloseHandle(com1);
    }
    std::printf("com1 [%.*s]\n", static_cast<int>(canary_size), canary);
    std::printf("exists %d %d\n", platform::file_exists("E:\\autorun.inf"),
                platform::file_exists("E:\\absent.inf"));
    std::printf("readable %d %d\n", platform::file_readable("E:\\autorun.inf"),
                platform::file_readable("E:\\absent.inf"));

    // Hidden files only, into a file in the work folder, as nodrel.exe lists them.
    std::fflush(stdout);
    platform::run_system("dir /ah-d /b \"E:\\*\"  > probe-list.txt");
    // The handle a new object gets once the first launch is over. Handles go to the
    // lowest free slot, so after launches that leak nothing a new one gets the same.
    const unsigned long handle_before = next_handle();

    // Special characters must reach the interpreter unchanged; cmd itself then
    // drops the ^ before & and keeps the rest, two blanks included.
    std::string echoed;
    bool started = platform::read_command_output("echo \"a&b\" 100% ^& x  y!", echoed);
    std::printf("piped %d [%s]\n", started, echoed.c_str());

    // Two Big5 characters (0xAF66 0xAC72), in the ANSI code page as nodrel.exe sends them.
    std::fflush(stdout);
    platform::run_system("echo \xaf\x66\xac\x72> probe-big5.txt");

    std::fflush(stdout);
    platform::run_system("del /ah /f \"E:\\autorun.inf\"");
    std::printf("after del %d\n", platform::file_exists("E:\\autorun.inf"));
    std::printf("handles %lu %lu\n", handle_before, next_handle());

    std::fflush(stdout);
    platform::run_system("pause");
    std::printf("done\n");
    return 0;
}
