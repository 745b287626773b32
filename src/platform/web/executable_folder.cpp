#include "platform/files.h"

// The page's files live in the in-memory file system the data package fills:
// the content in /Data, as beside a desktop executable.
std::string executableFolder()
{
    return "/";
}
