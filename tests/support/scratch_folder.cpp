#include "support/scratch_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

ScratchFolder::ScratchFolder(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    const char* made = mkdtemp(pattern.data());
    path_ = made ? made : "";
}

ScratchFolder::~ScratchFolder()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::string ScratchFolder::write(const std::string& name, const std::vector<uint8_t>& bytes) const
{
    std::filesystem::path file = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.string();
}
