// Folders and files that a tool writes into: whether a folder can take new
// files and a name can be written, making a folder, opening a file for
// writing, a file that appears at its name only when whole, a temporary file
// and its removal. The show itself writes nothing; the capture tool writes
// its stills, picture sequences and sound whole or not at all, and has its
// videos made under a temporary name before giving them their own. Paths
// are UTF-8 on both backends; '/' separates folders on both (Windows takes
// '\\' as well). Main thread only.
#pragma once

#include <cstdio>
#include <string>

// True when `folder` exists, is a folder and new files can be made in it;
// otherwise false with "<folder>: <reason>".
bool folderWritable(const std::string& folder, std::string& failure);

// Makes `folder` (one level: its parent must exist) when it is not there,
// then checks it as folderWritable does.
bool makeFolder(const std::string& folder, std::string& failure);

// True when a file can be made at `path` or put in place of the one there:
// its folder can take new files, and `path` is not a folder, nor a file
// that may not be written. Otherwise false with "<path>: <reason>" (or the
// folder's, as folderWritable says it).
bool fileWritable(const std::string& path, std::string& failure);

// The folder part of `path`: "." when it has none, the root for a file in
// the root ("/" or "C:\\").
std::string parentFolder(const std::string& path);

// Opens `path` for binary writing, made or emptied; null with
// "<path>: <reason>" when it cannot be. The caller closes it (fclose).
std::FILE* openForWriting(const std::string& path, std::string& failure);

// A file that carries its name whole or not at all: written unnamed (Linux,
// where the file system allows) or under a hidden temporary name in the
// same folder, and given its name by commit(), replacing what was there.
// Until then, and when dropped without commit (a failure, a stop), what was
// at the name stays as it was, and a partial file never carries it; on
// Linux an unnamed one is gone even when the process is killed. A name that
// is there but is no ordinary file (a device such as /dev/null, a FIFO) is
// written in place.
class WholeFile {
public:
    WholeFile() = default;
    ~WholeFile();  // drops what was not committed
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Starts the file for `path`; false with "<path>: <reason>".
    bool open(const std::string& path, std::string& failure);
    std::FILE* stream() const { return stream_; }
    // Writes it out and gives it its name; false with "<path>: <reason>",
    // and then nothing of it is left.
    bool commit(std::string& failure);

private:
    void drop();
    // The backend's part of commit(): the file is open.
    bool commitOpen(std::string& failure);

    std::FILE* stream_ = nullptr;
    std::string path_;
    std::string temporary_;  // the hidden name it is written under; empty: unnamed or in place
    bool inPlace_ = false;
};

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
