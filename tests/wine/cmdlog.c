/* Command logger for the Wine test prefix.
 *
 * Installed as C:\windows\system32\cmd.exe, with the real interpreter copied
 * to cmd-real.exe in the same folder. It appends everything after its own
 * program name, exactly as the caller sent it, as one UTF-8 line to the file
 * named by the NODREL_CMDLOG environment variable (a Windows path), then runs
 * cmd-real.exe with that same rest of the line, sharing our standard handles,
 * and exits with its exit code.
 *
 * For tests of a race: when NODREL_BECOMES_FOLDER names a file (a Windows
 * path) that the command line names in double quotes, the file turns into a
 * folder holding keep.txt before the real interpreter starts, that is after
 * the caller has looked at the file.
 */
#include <windows.h>
#include <wchar.h>

/* The part of a command line after the program name and the one blank or tab
 * that ends it, using the rule Windows programs use for the program name:
 * quoted up to the next double quote, otherwise up to the first blank or tab.
 * Any further blank stays in the rest, so the log shows it. */
static const wchar_t *rest_of_line(const wchar_t *line)
{
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
    }
    if (*line == L' ' || *line == L'\t') ++line;
    return line;
}

/* Appends the line and a newline to the log file, in UTF-8. */
static void log_line(const wchar_t *rest)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"NODREL_CMDLOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;

    int size = WideCharToMultiByte(CP_UTF8, 0, rest, -1, NULL, 0, NULL, NULL);
    if (size <= 0) return;
    char *text = HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size + 1);
    if (text == NULL) return;
    WideCharToMultiByte(CP_UTF8, 0, rest, -1, text, size, NULL, NULL);
    text[size - 1] = '\n';  /* in place of the final zero */

    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text, (DWORD)size, &written, NULL);
        CloseHandle(file);
    }
    HeapFree(GetProcessHeap(), 0, text);
}

static void race_file_into_folder(const wchar_t *rest)
{
    wchar_t path[MAX_PATH], quoted[MAX_PATH + 2];
    DWORD length = GetEnvironmentVariableW(L"NODREL_BECOMES_FOLDER", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wsprintfW(quoted, L"\"%s\"", path);
    if (wcsstr(rest, quoted) == NULL) return;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path) || !CreateDirectoryW(path, NULL)) return;
    wchar_t keep[MAX_PATH + 16];
    wsprintfW(keep, L"%s\\keep.txt", path);
    HANDLE file = CreateFileW(keep, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, "keep", 4, &written, NULL);
        CloseHandle(file);
    }
}

/* Our standard handle, made inheritable so that the real interpreter gets it. */
static HANDLE shared_handle(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    if (handle != NULL && handle != INVALID_HANDLE_VALUE)
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

int main(void)
{
    const wchar_t *rest = rest_of_line(GetCommandLineW());
    log_line(rest);
    race_file_into_folder(rest);

    /* cmd-real.exe beside this program. */
    wchar_t real[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, real, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 9009;
    wchar_t *name = wcsrchr(real, L'\\');
    name = name != NULL ? name + 1 : real;
    static const wchar_t real_name[] = L"cmd-real.exe";
    if ((size_t)(name - real) + wcslen(real_name) + 1 > MAX_PATH) return 9009;
    wcscpy(name, real_name);

    /* Its command line: its own name, one blank, then our rest unchanged. */
    size_t rest_length = wcslen(rest);
    wchar_t *line = HeapAlloc(GetProcessHeap(), 0, (rest_length + 32) * sizeof(wchar_t));
    if (line == NULL) return 9009;
    wcscpy(line, L"cmd.exe ");
    wcscat(line, rest);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = shared_handle(STD_INPUT_HANDLE);
    startup.hStdOutput = shared_handle(STD_OUTPUT_HANDLE);
    startup.hStdError = shared_handle(STD_ERROR_HANDLE);

    /* Wine's CreateProcessW fails now and then on a busy machine (about once in a thousand starts); that
     * is this logger's failure, not the caller's, so it tries again, and says so on stderr. */
    PROCESS_INFORMATION process;
    int tries = 0;
    while (!CreateProcessW(real, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        DWORD error = GetLastError();
        char message[96];
        int length = wsprintfA(message, "cmdlog: starting cmd-real.exe failed (error %lu), try %d\r\n",
                               error, tries + 1);
        DWORD written = 0;
        WriteFile(startup.hStdError, message, (DWORD)length, &written, NULL);
        if (++tries == 5) return 9009;
        Sleep(100);
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return (int)code;
}
