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

// Opens a content file for binary reading; null (and errno set) on failure.
std::FILE* openContentFile(const std::string& path);

// Reads an open file to its end into `bytes` (a pipe serves as well as a
// file); does not close it. False, with a short reason, on a read error.
bool readOpenFile(std::FILE* file, std::vector<uint8_t>& bytes, std::string& reason);

// Reads a whole file into `bytes`. On failure returns false and puts a short
// reason ("no such file", "permission denied", ...) into `reason`.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

// Folder that holds the running executable, with a trailing separator.
std::string executableFolder();
