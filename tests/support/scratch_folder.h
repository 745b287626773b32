// A folder of a test's own in the system's temporary folder ($TMPDIR, else
// /tmp), made empty when the object is made and removed with everything in
// it when the object goes. The test's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ScratchFolder {
public:
    // The folder's name starts with `prefix`, for whoever finds one left behind.
    explicit ScratchFolder(const std::string& prefix = "quillmoor");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // False when no folder could be made (path() is then empty).
    bool made() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // The name `leaf` inside the folder.
    std::string file(const std::string& leaf) const { return path_ + "/" + leaf; }
    // Writes `bytes` to `name` inside the folder (creating subfolders);
    // returns the file's absolute path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
    std::string path_;
};
