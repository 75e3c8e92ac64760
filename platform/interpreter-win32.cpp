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

// Starts "cmd.exe /d /u /v:off /c <command>" with our stdin or one at its
// end; as stdout and stderr our own (null) or the given inheritable handles.
// Returns the process handle, or null when it could not be started.
HANDLE start_interpreter(const std::string& command, Input input, HANDLE child_stdout, HANDLE child_stderr) {
    const std::wstring application = interpreter_path();
    if (application.empty()) return nullptr;

    const std::u16string line = u"cmd.exe /d /u /v:off /c " + text::utf8_to_utf16(command);
    std::vector<wchar_t> writable(line.begin(), line.end());  // CreateProcessW may write to it
    writable.push_back(L'\0');

    EndedInput ended;
    if (input == Input::kEnded && ended.get() == nullptr) return nullptr;
    ChildHandle in(input == Input::kUser ? GetStdHandle(STD_INPUT_HANDLE) : ended.get());
    ChildHandle out(child_stdout != nullptr ? nullptr : GetStdHandle(STD_OUTPUT_HANDLE));
    ChildHandle err(child_stderr != nullptr ? nullptr : GetStdHandle(STD_ERROR_HANDLE));

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = child_stdout != nullptr ? child_stdout : out.get();
    startup.hStdError = child_stderr != nullptr ? child_stderr : err.get();

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

// A pipe from the interpreter to us: only the write end is inheritable, so
// the child never holds the read end.
struct Pipe {
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
};

bool open_pipe(Pipe& pipe) {
    if (!CreatePipe(&pipe.read_end, &pipe.write_end, nullptr, 0)) return false;
    if (SetHandleInformation(pipe.write_end, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return true;
    CloseHandle(pipe.read_end);
    CloseHandle(pipe.write_end);
    pipe = Pipe();
    return false;
}

void close_handle(HANDLE& handle) {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
}

// Hands everything that comes through the pipe to the reader, until the
// interpreter closes its end.
void pump(HANDLE read_end, const StreamReader& reader) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) reader(buffer, got);
}

struct PumpJob {
    HANDLE read_end;
    const StreamReader* reader;
};

DWORD WINAPI pump_thread(void* job) {
    const PumpJob* pump_job = static_cast<const PumpJob*>(job);
    pump(pump_job->read_end, *pump_job->reader);
    return 0;
}

// Runs one command line to completion. A stream with a reader goes through a
// pipe of its own, read while the interpreter runs so that it never blocks on
// a full pipe; stderr's on a thread of its own when both are read.
bool run_interpreter(const std::string& command, Input input, const Streams& streams) {
    Pipe out, err;
    if ((streams.out && !open_pipe(out)) || (streams.err && !open_pipe(err))) {
        close_handle(out.read_end);
        close_handle(out.write_end);
        return false;
    }
    HANDLE process = start_interpreter(command, input, out.write_end, err.write_end);
    // Our copies of the write ends must go, or the end of the output never comes.
    close_handle(out.write_end);
    close_handle(err.write_end);
    if (process == nullptr) {
        close_handle(out.read_end);
        close_handle(err.read_end);
        return false;
    }
    PumpJob err_job = {err.read_end, &streams.err};
    HANDLE err_thread = nullptr;
    if (streams.out && streams.err) err_thread = CreateThread(nullptr, 0, pump_thread, &err_job, 0, nullptr);
    if (streams.out) pump(out.read_end, streams.out);
    if (err_thread != nullptr) {
        WaitForSingleObject(err_thread, INFINITE);
        CloseHandle(err_thread);
    } else if (streams.err) {
        pump(err.read_end, streams.err);  // alone, or when no thread could start
    }
    close_handle(out.read_end);
    close_handle(err.read_end);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    return true;
}

}  // namespace

void run_commands(const std::vector<std::string>& commands, const Streams& streams) {
    run_interpreter(join_chain(commands), Input::kEnded, streams);
}

void run_system(const std::string& command) { run_commands({command}); }

void run_with_user_input(const std::string& command, const Streams& streams) {
    run_interpreter(command, Input::kUser, streams);
}

bool read_command_output(const std::string& command, std::string& output, const StreamReader& errors) {
    output.clear();
    Streams streams;
    streams.out = [&output](const char* bytes, size_t size) { output.append(bytes, size); };
    streams.err = errors;
    return run_interpreter(command, Input::kEnded, streams);
}

}  // namespace platform
