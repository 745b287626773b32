#include "platform/process.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <csignal>
#include <cstdio>
#include <cwctype>

#include "platform/folders.h"
#include "platform/win32/text.h"

namespace {

std::wstring environmentVariable(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
    value.resize(length < size ? length : 0);
    return value;
}

// The pieces of a ';'-separated list, each without the quotes PATH may put
// around a folder.
std::vector<std::wstring> splitList(const std::wstring& list)
{
    std::vector<std::wstring> pieces;
    size_t start = 0;
    for (;;) {
        const size_t semicolon = list.find(L';', start);
        std::wstring piece = list.substr(start, semicolon == std::wstring::npos ? std::wstring::npos : semicolon - start);
        if (piece.size() >= 2 && piece.front() == L'"' && piece.back() == L'"')
            piece = piece.substr(1, piece.size() - 2);
        pieces.push_back(piece);
        if (semicolon == std::wstring::npos)
            return pieces;
        start = semicolon + 1;
    }
}

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool hasExtension(const std::wstring& name)
{
    const size_t dot = name.find_last_of(L'.');
    return dot != std::wstring::npos && name.find_first_of(L"\\/", dot) == std::wstring::npos;
}

bool isFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// `base` as it is when it has an extension, else with each of PATHEXT's.
std::wstring findWithExtensions(const std::wstring& base)
{
    if (hasExtension(base))
        return isFile(base) ? base : std::wstring();
    std::wstring extensions = environmentVariable(L"PATHEXT");
    if (extensions.empty())
        extensions = L".COM;.EXE;.BAT;.CMD";
    for (const std::wstring& extension : splitList(extensions)) {
        if (!extension.empty() && isFile(base + extension))
            return base + extension;
    }
    return std::wstring();
}

bool endsWithNoCase(const std::wstring& text, const wchar_t* tail)
{
    const std::wstring end = tail;
    if (text.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); ++i)
        if (std::towlower(text[text.size() - end.size() + i]) != std::towlower(end[i]))
            return false;
    return true;
}

// One argument as the C runtime's command-line parser reads it back:
// quoted when it holds a space, a tab or a quote, or is empty; backslashes
// doubled where they come before a quote.
void appendArgument(std::wstring& line, const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// An inheritable copy of one of our standard handles, or of NUL.
HANDLE inheritableHandle(DWORD standard, bool nul)
{
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    if (nul)
        return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                           OPEN_EXISTING, 0, nullptr);
    const HANDLE ours = GetStdHandle(standard);
    HANDLE copy = nullptr;
    if (ours == nullptr || ours == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), ours, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return inheritableHandle(standard, true);
    return copy;
}

volatile LONG stopSignal = 0;
volatile LONG stopCount = 0;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const LONG number = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
    InterlockedCompareExchange(&stopSignal, number, 0);
    InterlockedIncrement(&stopCount);
    // A closing console ends the process when the handler returns: wait
    // there, within the system's five seconds, for the run to finish.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(4500);
    return TRUE;
}

// The job every started program runs in: closed by the system when this
// process ends, however it ends, and with it every program still in it.
HANDLE childJob()
{
    static HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && !SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

// An inheritable copy of `handle` for a child; null when there is none.
HANDLE inheritableCopy(HANDLE handle)
{
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

HANDLE scratchHandle(const ScratchFile* file)
{
    return file && file->stream() ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file->stream()))) : nullptr;
}

}  // namespace

void catchStopRequests()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int stopRequest()
{
    return static_cast<int>(stopSignal);
}

ScratchFile::~ScratchFile()
{
    if (stream_)
        std::fclose(stream_);
    if (!path_.empty())
        DeleteFileW(widen(path_).c_str());
}

bool ScratchFile::make(const char* suffix, std::string& failure)
{
    std::string name;
    if (!makeTemporaryFile(suffix, name, failure))
        return false;
    path_ = name;
    // Shared for reading, so the program can open it by its name.
    const HANDLE handle = CreateFileW(widen(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_TEMPORARY, nullptr);
    const int descriptor = handle == INVALID_HANDLE_VALUE
                               ? -1
                               : _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    stream_ = descriptor >= 0 ? _fdopen(descriptor, "w+b") : nullptr;
    if (!stream_) {
        if (descriptor >= 0)
            _close(descriptor);
        else if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        failure = name + ": cannot be opened";
        return false;
    }
    childName_ = name;
    return true;
}

bool ScratchFile::truncate(uint64_t bytes)
{
    if (!stream_ || std::fflush(stream_) != 0)
        return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_)));
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(bytes);
    return handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) &&
           SetEndOfFile(handle);
}

std::string findProgram(const std::string& program)
{
    if (program.empty())
        return std::string();
    const std::wstring name = widen(program);
    for (const wchar_t c : name)
        if (isSeparator(c) || c == L':')
            return narrow(findWithExtensions(name));
    for (std::wstring folder : splitList(environmentVariable(L"PATH"))) {
        if (folder.empty())
            folder = L".";
        if (!isSeparator(folder.back()))
            folder += L'\\';
        const std::wstring found = findWithExtensions(folder + name);
        if (!found.empty())
            return narrow(found);
    }
    return std::string();
}

bool stderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool ChildProgram::launch(const std::vector<std::string>& argv, Pipe pipe, std::string& failure, const ChildFiles& files)
{
    const std::wstring program = widen(argv[0]);
    // A batch file runs under cmd.exe, which reads its arguments with rules
    // of its own; only programs are started.
    if (endsWithNoCase(program, L".bat") || endsWithNoCase(program, L".cmd")) {
        failure = argv[0] + ": cannot start: a batch file, not a program";
        return false;
    }
    std::wstring commandLine;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i > 0)
            commandLine += L' ';
        appendArgument(commandLine, widen(argv[i]));
    }

    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &security, 0)) {
        failure = argv[0] + ": no pipe: " + systemMessage(GetLastError());
        return false;
    }
    const bool toChild = pipe == Pipe::ToChild;
    const HANDLE childEnd = toChild ? readEnd : writeEnd;
    const HANDLE ourEnd = toChild ? writeEnd : readEnd;
    SetHandleInformation(ourEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = toChild ? childEnd : inheritableHandle(STD_INPUT_HANDLE, true);
    startup.hStdOutput = toChild ? inheritableHandle(STD_OUTPUT_HANDLE, false) : childEnd;
    startup.hStdError = files.errors ? inheritableCopy(scratchHandle(files.errors))
                                     : inheritableHandle(STD_ERROR_HANDLE, !toChild);
    if (files.input)
        std::fflush(files.input->stream());
    // Its own process group, so that the console's Ctrl+C reaches only us;
    // started suspended, so that it is in the job before it does anything.
    PROCESS_INFORMATION started{};
    const BOOL ok = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                   CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED, nullptr, nullptr, &startup, &started);
    const DWORD error = GetLastError();
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    if (!ok) {
        CloseHandle(ourEnd);
        failure = argv[0] + ": cannot start: " + systemMessage(error);
        return false;
    }
    // Where the system allows no job for it (an older Windows inside a job
    // of its own), it runs untied rather than not at all.
    const HANDLE job = childJob();
    if (job)
        AssignProcessToJobObject(job, started.hProcess);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    process_ = reinterpret_cast<intptr_t>(started.hProcess);

    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(ourEnd), (toChild ? 0 : _O_RDONLY) | _O_BINARY);
    stream_ = descriptor >= 0 ? _fdopen(descriptor, toChild ? "wb" : "rb") : nullptr;
    if (!stream_) {
        if (descriptor >= 0)
            _close(descriptor);
        else
            CloseHandle(ourEnd);
        finish();
        failure = argv[0] + ": no pipe to the program";
        return false;
    }
    return true;
}

int ChildProgram::finish()
{
    if (!closeOurEnd())
        return -1;
    const HANDLE process = reinterpret_cast<HANDLE>(process_);
    process_ = 0;
    DWORD code = 0;
    const bool waited = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return waited ? static_cast<int>(code) : -1;
}

int ChildProgram::finishUnlessStopped(bool& cutShort)
{
    cutShort = false;
    if (!closeOurEnd())
        return -1;
    const HANDLE process = reinterpret_cast<HANDLE>(process_);
    process_ = 0;
    const LONG stopsBefore = stopCount;
    DWORD waited;
    while ((waited = WaitForSingleObject(process, 20)) == WAIT_TIMEOUT) {
        if (stopCount != stopsBefore && !cutShort) {
            TerminateProcess(process, 1);
            cutShort = true;
        }
    }
    DWORD code = 0;
    const bool ended = waited == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return ended && !cutShort ? static_cast<int>(code) : -1;
}
