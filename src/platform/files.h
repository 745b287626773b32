// Content files. The show names its files with a backslash
// ("Data\\music.mp3"); here such a name is resolved into the content folder,
// found once at start-up: the folder a program was told to use (--data), or
// Data beside the executable (a build tree, or the folder a Windows
// download unpacks to), or, on Linux, the installed content folder of the
// executable's prefix (the search is content_folder.h's, the same on every
// backend). Also reads files for the show (ordinary files only,
// within a size ceiling). Paths are UTF-8 on both backends (the Windows one
// converts to UTF-16 for the system). Main thread only; used at start-up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Turns "Data\\x.pcx" into a path on this machine: x.pcx in the content
// folder. When no content folder is found, says once where it looked and
// resolves beside the executable, so each missing file is named in full.
std::string resolveContentPath(const char* showPath);
// Makes "Data\\x" names resolve inside `dataFolder` (the folder holding the
// content files) from now on; an empty name goes back to the search.
void setContentFolder(const std::string& dataFolder);
// The content folder, without a trailing separator: the one set by
// setContentFolder, else Data beside the executable, else (Linux) the
// installed one of the executable's prefix (from <prefix>/games/ and
// <prefix>/bin/ alike: <prefix>/share/games/quillmoor).
// False when the folder set or named is not a folder, or when neither place
// searched is; `failure` then says where it looked and `folder` is the first
// place it looked.
bool findContentFolder(std::string& folder, std::string& failure);

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
// without being opened (on Windows: without being read), and the check is
// made again on the opened handle, so a path swapped in between is refused
// too; nothing blocks.
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
