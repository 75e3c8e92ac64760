// The command interpreter: cmd.exe from the system folder, started directly.
//
// The path comes from GetSystemDirectoryW, never from COMSPEC or PATH, which
// anything on the machine may have changed. The switches matter too:
//   /d      skips the "Command Processor\AutoRun" registry commands, which
//           malware plants to run before every command line;
//   /u      makes dir write its redirected listings in UTF-16, every name
//           exact; in a code page, names Windows cannot show there come out
//           as look-alikes of other names;
//   /v:off  keeps a '!' in a file name from being expanded as a variable.
// The command line goes through CreateProcessW, so names reach cmd.exe in
// UTF-16 too, unchanged by any code page.
#include "platform/interpreter.h"

#include <vector>
#include <windows.h>

#include "text/unicode.h"

namespace platform {
namespace {

// Full path of cmd.exe in the system folder; empty if that folder is unknown.
std::wstring interpreter_path() {
    wchar_t folder[MAX_PATH + 1];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring path(folder, length);
    if (path.back() != L'\\') path += L'\\';
    path += L"cmd.exe";
    return path;
}

// An inheritable copy of one of our own handles, made for one child and closed
// once it has started, so that our handles themselves are never inherited.
class ChildHandle {
public:
    explicit ChildHandle(HANDLE handle) : handle_(handle) {
        // Null or invalid (no such stream): hand the value on as it is.
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
        HANDLE self = GetCurrentProcess();
        HANDLE copy = nullptr;
        if (DuplicateHandle(self, handle, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
            handle_ = copy;
            owned_ = true;
        }
    }
    ~ChildHandle() {
        if (owned_) CloseHandle(handle_);
    }
    ChildHandle(const ChildHandle&) = delete;
    ChildHandle& operator=(const ChildHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
    bool owned_ = false;
};

// The read end of a pipe whose write end is already closed: an input that is
// at its end from the start. A question from del reads "no" from it at once.
class EndedInput {
public:
    EndedInput() {
        HANDLE write_end = nullptr;
        if (CreatePipe(&read_end_, &write_end, nullptr, 0)) {
            CloseHandle(write_end);
        } else {
            read_end_ = nullptr;
        }
    }
    ~EndedInput() {
        if (read_end_ != nullptr) CloseHandle(read_end_);
    }
    EndedInput(const EndedInput&) = delete;
    EndedInput& operator=(const EndedInput&) = delete;
    HANDLE get() const { return read_end_; }

private:
    HANDLE read_end_ = nullptr;
};

enum class Input { kEnded, kUser };

// Starts "cmd.exe /d /u /v:off /c <command>" with our stderr; as stdin our own
// or one at its end; as stdout either our own (child_stdout null) or the given
// inheritable handle. Returns the process handle, or null when it could not
// be started.
HANDLE start_interpreter(const std::string& command, Input input, HANDLE child_stdout) {
    const std::wstring application = interpreter_path();
    if (application.empty()) return nullptr;

    const std::u16string line = u"cmd.exe /d /u /v:off /c " + text::utf8_to_utf16(command);
    std::vector<wchar_t> writable(line.begin(), line.end());  // CreateProcessW may write to it
    writable.push_back(L'\0');

    EndedInput ended;
    if (input == Input::kEnded && ended.get() == nullptr) return nullptr;
    ChildHandle in(input == Input::kUser ? GetStdHandle(STD_INPUT_HANDLE) : ended.get());
    ChildHandle out(child_stdout != nullptr ? nullptr : GetStdHandle(STD_OUTPUT_HANDLE));
    ChildHandle err(GetStdHandle(STD_ERROR_HANDLE));

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = child_stdout != nullptr ? child_stdout : out.get();
    startup.hStdError = err.get();

    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    // A start that fails ran nothing, so one more try is safe; a busy machine
    // sometimes refuses a start once.
    bool started = false;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        started = CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process) != 0;
    }
    if (!started) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void wait_and_close(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
}

}  // namespace

void run_commands(const std::vector<std::string>& commands) {
    HANDLE process = start_interpreter(join_chain(commands), Input::kEnded, nullptr);
    if (process != nullptr) wait_and_close(process);
}

void run_system(const std::string& command) { run_commands({command}); }

void run_with_user_input(const std::string& command) {
    HANDLE process = start_interpreter(command, Input::kUser, nullptr);
    if (process != nullptr) wait_and_close(process);
}

bool read_command_output(const std::string& command, std::string& output) {
    output.clear();

    // Both ends start non-inheritable; only the write end is then made
    // inheritable, so the child never holds the read end.
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, nullptr, 0)) return false;
    if (!SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        return false;
    }

    HANDLE process = start_interpreter(command, Input::kEnded, write_end);
    // Our copy of the write end must go, or the end of the output never comes.
    CloseHandle(write_end);
    if (process == nullptr) {
        CloseHandle(read_end);
        return false;
    }

    // Read while the child runs, so that it never blocks on a full pipe.
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output.append(buffer, got);
    }
    CloseHandle(read_end);
    wait_and_close(process);
    return true;
}

}  // namespace platform
