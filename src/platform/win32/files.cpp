#include "platform/files.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "platform/content_folder.h"
#include "platform/win32/text.h"

namespace {

std::string tooBig(uint64_t size, uint64_t maxBytes)
{
    return "is " + std::to_string(size) + " bytes, more than the " + std::to_string(maxBytes) + " allowed";
}

// Checks what the opened handle is: a file on a disk, not a folder, within
// the ceiling. Its size goes to `size`.
bool acceptableHandle(HANDLE handle, uint64_t maxBytes, uint64_t& size, std::string& reason)
{
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        break;
    case FILE_TYPE_PIPE:
        reason = "is a pipe";
        return false;
    case FILE_TYPE_CHAR:
        reason = "is a device";
        return false;
    default:
        reason = "is not an ordinary file";
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        reason = systemMessage(GetLastError());
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        reason = "is a directory";
        return false;
    }
    size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxBytes) {
        reason = tooBig(size, maxBytes);
        return false;
    }
    return true;
}

// Names in the device namespace ("\\.\COM1", "\\.\pipe\x",
// "\\?\GLOBALROOT\...") reach devices and pipes, not files: refused, with
// what they are, before anything is opened. Null for any other name.
const char* deviceKind(const std::wstring& path)
{
    auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (path.size() < 4 || !separator(path[0]) || !separator(path[1]) || !separator(path[3]))
        return nullptr;
    if (path[2] == L'.') {
        const bool pipe = path.size() > 8 && _wcsnicmp(path.c_str() + 4, L"pipe", 4) == 0 && separator(path[8]);
        return pipe ? "is a pipe" : "is a device";
    }
    // "\\?\C:\..." is an ordinary long path; any other "\\?\" name is not.
    if (path[2] == L'?' && !(path.size() >= 6 && path[5] == L':'))
        return "is a device";
    return nullptr;
}

}  // namespace

bool openOrdinaryFile(const std::string& path, uint64_t maxBytes, OpenedFile& out, std::string& reason)
{
    out = OpenedFile{};
    const std::wstring wide = widen(path);
    if (const char* kind = deviceKind(wide)) {
        reason = kind;
        return false;
    }
    // A look at the path first, so that a folder is named as one (opening
    // it would only say "access denied").
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &attributes)) {
        reason = systemMessage(GetLastError());
        return false;
    }
    if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        reason = "is a directory";
        return false;
    }
    // What counts is what the handle is: the path may have changed since.
    // Others may go on reading, writing or renaming it, as on Linux.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = systemMessage(GetLastError());
        return false;
    }
    uint64_t size = 0;
    if (!acceptableHandle(handle, maxBytes, size, reason)) {
        CloseHandle(handle);
        return false;
    }
    // The C library takes the handle over: closing the FILE* closes it.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd == -1) {
        reason = "cannot hand the file to the C library";
        CloseHandle(handle);
        return false;
    }
    out.file = _fdopen(fd, "rb");
    if (!out.file) {
        reason = "cannot hand the file to the C library";
        _close(fd);
        return false;
    }
    out.size = size;
    return true;
}

std::string executableFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return ".\\";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // truncated: a longer path than MAX_PATH
    }
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return ".\\";
    return narrow(path.substr(0, separator + 1));
}

bool platformFolderCheck(const std::string& folder, std::string& reason)
{
    const DWORD attributes = GetFileAttributesW(widen(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        reason = systemMessage(GetLastError());
    else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        reason = "not a folder";
    else
        return true;
    return false;
}
