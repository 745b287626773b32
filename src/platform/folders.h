// Folders and files that a tool writes into: whether a folder can take new
// files, making one, opening a file for writing, a temporary file and its
// removal. The show itself writes nothing; the capture tool writes its
// stills, picture sequences, sound and the soundtrack it hands the video
// encoder, and joins recordings under a temporary name before giving them
// their own. Paths are UTF-8 on both backends; '/' separates folders on both
// (Windows takes '\\' as well). Main thread only.
#pragma once

#include <cstdio>
#include <string>

// True when `folder` exists, is a folder and new files can be made in it;
// otherwise false with "<folder>: <reason>".
bool folderWritable(const std::string& folder, std::string& failure);

// Makes `folder` (one level: its parent must exist) when it is not there,
// then checks it as folderWritable does.
bool makeFolder(const std::string& folder, std::string& failure);

// The folder part of `path`: "." when it has none, the root for a file in
// the root ("/" or "C:\\").
std::string parentFolder(const std::string& path);

// Opens `path` for binary writing, made or emptied; null with
// "<path>: <reason>" when it cannot be. The caller closes it (fclose).
std::FILE* openForWriting(const std::string& path, std::string& failure);

// Makes a new empty file in the system's temporary folder (TMPDIR or /tmp,
// the user's temporary folder on Windows) whose name ends in `suffix`.
// False with a reason when none can be made.
bool makeTemporaryFile(const char* suffix, std::string& path, std::string& failure);

// Removes a file; false when it was not there or could not be removed.
bool removeFile(const std::string& path);

// Gives the file `from` the name `to` in the same folder, replacing what
// was there, so that `to` appears whole or not at all. False with
// "<to>: <reason>".
bool replaceFile(const std::string& from, const std::string& to, std::string& failure);
