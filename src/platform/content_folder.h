// Where the content lies, decided once for every backend: the folder the
// program was told to use, else the places searched in order (Data beside
// the executable, then the installed content folder of the executable's
// prefix where the build names one), and what is said when none will do.
// The backend gives only its file system's look at a folder
// (platformFolderCheck). files.h's findContentFolder is this search over the
// program's own places. Main thread only.
#pragma once

#include <string>
#include <vector>

// One place the content may be, and how the failure message names it.
struct ContentPlace {
    std::string folder;  // without a trailing separator
    const char* where = "";  // "beside the program"
};

// Whether `folder` is a folder; false with the system's words or "not a
// folder" in `reason`.
using FolderCheck = bool (*)(const std::string& folder, std::string& reason);

// The backend's FolderCheck on its own file system.
bool platformFolderCheck(const std::string& folder, std::string& reason);

// The places searched for an executable in `executableFolder` (with its
// trailing separator): Data beside it, then, when `installedContent` is not
// null, that path ("../share/games/quillmoor") taken from the executable's
// folder, each leading ".." one folder up.
std::vector<ContentPlace> contentPlaces(const std::string& executableFolder, const char* installedContent);

// The content folder: `named` (its trailing separators dropped) when one is
// named, else the first of `places` that `check` finds a folder. False when
// the named folder is none, with "content folder <named>: <reason>", or
// when no place is, with one line naming each place; `folder` is then the
// named folder or the first place.
bool searchContentFolder(const std::string& named, const std::vector<ContentPlace>& places, FolderCheck check,
                         std::string& folder, std::string& failure);

