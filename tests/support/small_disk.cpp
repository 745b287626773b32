#include "support/small_disk.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

SmallDisk::SmallDisk(uint64_t bytes)
{
    std::string pattern = ::testing::TempDir() + "small_disk_XXXXXX";
    if (!mkdtemp(pattern.data())) {
        why_ = std::string("no folder to mount on: ") + std::strerror(errno);
        return;
    }
    folder_ = pattern;
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_)
        why_ = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
}

SmallDisk::~SmallDisk()
{
    if (mounted_)
        umount(folder_.c_str());
    if (!folder_.empty())
        rmdir(folder_.c_str());
}
