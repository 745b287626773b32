// Content files. The show names its files the way it always has, with a
// backslash ("Data\\music.pcx"); here such a name is resolved against the
// folder of the executable (or the folder named by QUILLMOOR_DATA's parent,
// which tests and the capture tool use), with this platform's separator.
// Main thread only; used at start-up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Turns "Data\\x.pcx" into an absolute path on this machine.
std::string resolveContentPath(const char* showPath);
// Makes "Data\\x" names resolve inside `dataFolder` (the Data folder itself)
// from now on; an empty name goes back to the default.
void setContentFolder(const std::string& dataFolder);

// Ceiling of readWholeFile when the caller names none: far above any
// content file the show has, far below what would hurt the machine.
constexpr uint64_t WHOLE_FILE_MAX_BYTES = 64ull << 20;

// An ordinary file opened for binary reading, and its size when opened.
struct OpenedFile {
    std::FILE* file = nullptr;  // owned by the caller (fclose)
    uint64_t size = 0;          // bytes
};
// Opens `path` only when, after following links, it is an ordinary file of
// at most `maxBytes`. Directories, FIFOs, sockets and devices are refused
// without being opened, and the check is made again on the opened
// descriptor, so a path swapped in between is refused too; nothing blocks.
// False with a short reason ("is a FIFO", "is 2147483648 bytes, more than
// the 33554432 allowed", or the system's words) otherwise.
bool openOrdinaryFile(const std::string& path, uint64_t maxBytes, OpenedFile& out, std::string& reason);

// Reads an open file to its end into `bytes` (a pipe serves as well as a
// file), but never more than `maxBytes`; does not close it. False, with a
// short reason, on a read error or when there is more than `maxBytes`.
bool readOpenFile(std::FILE* file, uint64_t maxBytes, std::vector<uint8_t>& bytes, std::string& reason);

// Reads a whole ordinary file of at most `maxBytes` into `bytes` (what
// openOrdinaryFile accepts). On failure returns false and puts a short
// reason ("No such file or directory", "is a FIFO", ...) into `reason`.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   uint64_t maxBytes = WHOLE_FILE_MAX_BYTES);

// Folder that holds the running executable, with a trailing separator.
std::string executableFolder();
