/* Replays a cmdlog.c log for the Wine benchmark: the floor of a run's starts.
 *
 *   replay.exe LOG
 *
 * LOG (a Windows path) holds one UTF-8 line per start of cmd.exe, the part of
 * its command line after the program name, as cmdlog.c wrote it. Each line
 * runs in a start of its own, in order, each to its end before the next:
 * system32\cmd.exe with that same rest of the line, an input at its end from
 * the start, and output to NUL. Nothing else happens between the starts: no
 * work file is read and no entry is looked at, so the run takes what the
 * starts and their commands take, and nothing more. Exits 1 if the log cannot
 * be read or a start fails.
 */
#include <windows.h>
#include <wchar.h>

/* The whole log, zero-ended; NULL if it cannot be read. */
static char *read_log(const wchar_t *path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    DWORD size = GetFileSize(file, NULL);
    char *text = size == INVALID_FILE_SIZE ? NULL : HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size + 1);
    DWORD got = 0;
    if (text != NULL && (!ReadFile(file, text, size, &got, NULL) || got != size)) {
        HeapFree(GetProcessHeap(), 0, text);
        text = NULL;
    }
    CloseHandle(file);
    if (text != NULL) text[size] = '\0';
    return text;
}

/* Runs "cmd.exe <rest>" (rest in UTF-8, length bytes) to its end; FALSE if it could not start. */
static BOOL run_start(const wchar_t *cmd, const char *rest, int length, HANDLE input, HANDLE nul)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, rest, length, NULL, 0);
    wchar_t *line = HeapAlloc(GetProcessHeap(), 0, ((SIZE_T)units + 16) * sizeof(wchar_t));
    if (line == NULL) return FALSE;
    wcscpy(line, L"cmd.exe ");
    MultiByteToWideChar(CP_UTF8, 0, rest, length, line + 8, units);
    line[8 + units] = L'\0';

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessW(cmd, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    HeapFree(GetProcessHeap(), 0, line);
    if (!started) return FALSE;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    return TRUE;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) return 1;
    char *log = read_log(argv[1]);
    if (log == NULL) return 1;

    wchar_t cmd[MAX_PATH];
    UINT length = GetSystemDirectoryW(cmd, MAX_PATH - 10);
    if (length == 0 || length >= MAX_PATH - 10) return 1;
    wcscat(cmd, L"\\cmd.exe");

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE input = NULL, write_end = NULL;
    if (!CreatePipe(&input, &write_end, &inherit, 0)) return 1;
    CloseHandle(write_end);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, NULL);
    if (nul == INVALID_HANDLE_VALUE) return 1;

    for (char *line = log; *line != '\0';) {
        char *end = line;
        while (*end != '\0' && *end != '\n') ++end;
        if (end > line && !run_start(cmd, line, (int)(end - line), input, nul)) return 1;
        line = *end == '\n' ? end + 1 : end;
    }
    return 0;
}
