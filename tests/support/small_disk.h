// A small file system of its own for tests that fill a disk: a tmpfs of a
// given size mounted on a fresh folder, unmounted and removed by the
// destructor. Needs root (or the right to mount); when it cannot be mounted,
// ok() is false and why() says why.
#pragma once

#include <cstdint>
#include <string>

class SmallDisk {
public:
    explicit SmallDisk(uint64_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool ok() const { return mounted_; }
    const std::string& why() const { return why_; }
    const std::string& folder() const { return folder_; }  // the mounted file system's root

private:
    std::string folder_;
    std::string why_;
    bool mounted_ = false;
};
