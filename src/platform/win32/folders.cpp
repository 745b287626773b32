#include "platform/folders.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/win32/text.h"

namespace {

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// A name no other process of ours is using at the same moment.
std::wstring uniqueName(const char* suffix, unsigned attempt)
{
    static unsigned counter = 0;
    const std::string name = "quillmoor-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64() % 1000000) + "-" + std::to_string(counter++) + "-" +
                             std::to_string(attempt) + suffix;
    return widen(name);
}

}  // namespace

bool folderWritable(const std::string& folder, std::string& failure)
{
    const std::wstring wide = widen(folder);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        failure = folder + ": " + systemMessage(GetLastError());
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        failure = folder + ": not a folder";
        return false;
    }
    // A folder's read-only attribute says nothing about new files in it; only
    // making one does.
    std::wstring probe = wide;
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/')
        probe += L'\\';
    probe += uniqueName(".probe", 0);
    const HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failure = folder + ": " + systemMessage(GetLastError());
        return false;
    }
    CloseHandle(handle);
    return true;
}

bool makeFolder(const std::string& folder, std::string& failure)
{
    if (!CreateDirectoryW(widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        failure = folder + ": " + systemMessage(GetLastError());
        return false;
    }
    return folderWritable(folder, failure);
}

bool fileWritable(const std::string& path, std::string& failure)
{
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            failure = path + ": is a folder";
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            failure = path + ": is read-only";
            return false;
        }
    }
    return folderWritable(parentFolder(path), failure);
}

std::string parentFolder(const std::string& path)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (isSeparator(path[i]))
            last = i;
    const bool drive = path.size() >= 2 && path[1] == ':';
    if (last == std::string::npos)
        return drive ? path.substr(0, 2) : ".";
    if (last == 0)
        return path.substr(0, 1);
    if (drive && last == 2)
        return path.substr(0, 3);
    return path.substr(0, last);
}

std::FILE* openForWriting(const std::string& path, std::string& failure)
{
    std::FILE* file = _wfopen(widen(path).c_str(), L"wb");
    if (!file)
        failure = path + ": " + std::strerror(errno);
    return file;
}

bool WholeFile::open(const std::string& path, std::string& failure)
{
    drop();
    path_ = path;
    inPlace_ = false;
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i)
        if (isSeparator(path[i]))
            last = i;
    const std::string folder = last == std::string::npos ? std::string() : path.substr(0, last + 1);
    const std::string name = last == std::string::npos ? path : path.substr(last + 1);
    temporary_ = folder + "." + name + "." + std::to_string(GetCurrentProcessId()) + ".part";
    stream_ = openForWriting(temporary_, failure);
    if (!stream_) {
        failure = path + failure.substr(temporary_.size());
        temporary_.clear();
        return false;
    }
    return true;
}

bool WholeFile::commitOpen(std::string& failure)
{
    errno = 0;
    const bool written = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!written || !closed) {
        failure = path_ + ": " + std::strerror(!written && writeError ? writeError : errno ? errno : EIO);
        drop();
        return false;
    }
    if (!replaceFile(temporary_, path_, failure)) {
        drop();
        return false;
    }
    temporary_.clear();
    return true;
}

bool makeTemporaryFile(const char* suffix, std::string& path, std::string& failure)
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        failure = "no temporary folder: " + systemMessage(GetLastError());
        return false;
    }
    DWORD error = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        const std::wstring name = std::wstring(folder, length) + uniqueName(suffix, attempt);
        const HANDLE handle =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            path = narrow(name);
            return true;
        }
        error = GetLastError();
    }
    failure = narrow(std::wstring(folder, length)) + ": " + systemMessage(error);
    return false;
}

bool removeFile(const std::string& path)
{
    return DeleteFileW(widen(path).c_str()) != 0;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& failure)
{
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        failure = to + ": " + systemMessage(GetLastError());
        return false;
    }
    return true;
}
