// Test program for the Wine executor's self-test: runs the same platform calls
// as nodrel.exe (drive list and types, single-entry looks, cmd.exe launches)
// on drive E: and prints what it saw (code pages and COM1 too), one fact per
// line, then PAUSEs. Names go in and out as UTF-8, as in the program; some lie
// outside every code page, so that only exact UTF-16 carries them.
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

// "exists attributes" of one entry, attributes in hex.
static void print_info(const char* what, const std::string& path) {
    platform::EntryInfo info = platform::entry_info(path);
    std::printf("%s %d 0x%x\n", what, info.exists, info.attributes);
}

static std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
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
    // Entries whose names no code page holds, looked at by their UTF-8 names.
    print_info("info-folder", "E:\\\xe5\x8a\x9f\xe8\xaa\xb2");        // 功課, hidden folder
    print_info("info-file", "E:\\caf\xc3\xa9.exe");                  // café.exe, hidden file
    print_info("info-plain", "E:\\Ph\xc5\x8dtos.txt");               // Phōtos.txt
    print_info("info-absent", "E:\\Ph\xc5\x8dtos.exe");
    std::string final;
    platform::FinalPath found = platform::final_path("E:\\\xe5\x8a\x9f\xe8\xaa\xb2", final);
    std::printf("final %d %s\n", static_cast<int>(found), final.c_str());

    // Hidden files only, then every entry, into files in the work folder, as nodrel.exe lists them.
    std::fflush(stdout);
    platform::run_system("dir /ah-d /b \"E:\\*\"  > probe-list.txt");
    // The handle a new object gets once the first launch is over. Handles go to the
    // lowest free slot, so after launches that leak nothing a new one gets the same.
    const unsigned long handle_before = next_handle();
    platform::run_system("dir /a /b \"E:\\*\" > probe-all.txt");

    // Special characters must reach the interpreter unchanged; cmd itself then
    // drops the ^ before & and keeps the rest, two blanks included. Its output
    // comes back as the bytes it wrote (UTF-16LE under /u).
    std::string echoed;
    bool started = platform::read_command_output("echo \"a&b\" 100% ^& x  y!", echoed);
    std::printf("piped %d %s\n", started, hex(echoed).c_str());

    // Names outside every code page, in a command line and back through a file.
    std::fflush(stdout);
    platform::run_system("echo \xe5\x8a\x9f\xe8\xaa\xb2 Ph\xc5\x8dtos caf\xc3\xa9> probe-echo.txt");

    std::fflush(stdout);
    platform::run_system("del /ah /f \"E:\\autorun.inf\"");
    std::printf("after del %d\n", platform::file_exists("E:\\autorun.inf"));
    std::printf("handles %lu %lu\n", handle_before, next_handle());

    std::fflush(stdout);
    platform::run_system("pause");
    std::printf("done\n");
    return 0;
}
