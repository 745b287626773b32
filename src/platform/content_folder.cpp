#include "platform/content_folder.h"

#include "platform/files.h"

namespace {

#ifdef _WIN32
constexpr bool DRIVE_LETTERS = true;
#else
constexpr bool DRIVE_LETTERS = false;
#endif

bool isSeparator(char c)
{
    return c == '/' || (DRIVE_LETTERS && c == '\\');
}

std::string withoutTrailingSeparators(std::string path)
{
    // "C:\" keeps its separator: without it, it names the drive's current folder.
    while (path.size() > 1 && isSeparator(path.back()) && !(DRIVE_LETTERS && path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

// `relative` ("../share/games/quillmoor") taken from `folder` ("/usr/games/"),
// with each leading ".." taking off one folder: "/usr/share/games/quillmoor".
std::string joinUpwards(std::string folder, std::string relative)
{
    folder = withoutTrailingSeparators(folder);
    while (relative.compare(0, 3, "../") == 0) {
        relative.erase(0, 3);
        const size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos || folder == "/")
            folder = slash == std::string::npos ? "." : "/";
        else
            folder = slash == 0 ? "/" : folder.substr(0, slash);
    }
    return folder == "/" ? "/" + relative : folder + "/" + relative;
}

// The content folder named by setContentFolder, or empty; a function so
// that a test's start-up code may set it before anything else is built.
std::string& namedFolder()
{
    static std::string folder;
    return folder;
}

}  // namespace

std::vector<ContentPlace> contentPlaces(const std::string& executableFolder, const char* installedContent)
{
    std::vector<ContentPlace> places{{withoutTrailingSeparators(executableFolder + "Data"), "beside the program"}};
    if (installedContent)
        places.push_back({joinUpwards(executableFolder, installedContent), "installed"});
    return places;
}

bool searchContentFolder(const std::string& named, const std::vector<ContentPlace>& places, FolderCheck check,
                         std::string& folder, std::string& failure)
{
    std::string reason;
    if (!named.empty()) {
        folder = withoutTrailingSeparators(named);
        if (check(folder, reason))
            return true;
        failure = "content folder " + folder + ": " + reason;
        return false;
    }
    for (const ContentPlace& place : places) {
        if (check(place.folder, reason)) {
            folder = place.folder;
            return true;
        }
    }
    folder = places.empty() ? std::string() : places.front().folder;
    failure = "no content: looked in ";
    for (size_t i = 0; i < places.size(); ++i) {
        if (i > 0)
            failure += i + 1 == places.size() ? " and " : ", ";
        failure += places[i].folder + " (" + places[i].where + ")";
    }
    failure += "; name the folder with --data DIR";
    return false;
}

void setContentFolder(const std::string& dataFolder)
{
    namedFolder() = dataFolder;
}

bool findContentFolder(std::string& folder, std::string& failure)
{
#ifdef QUILLMOOR_INSTALLED_CONTENT
    const char* installed = QUILLMOOR_INSTALLED_CONTENT;
#else
    const char* installed = nullptr;  // a Windows download keeps its content beside the program
#endif
    return searchContentFolder(namedFolder(), contentPlaces(executableFolder(), installed), platformFolderCheck,
                               folder, failure);
}
