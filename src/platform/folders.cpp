// What the backends share of the files a tool writes: the commit of a file
// that is not open, and letting go of one that was not committed, over each
// backend's removeFile.
#include "platform/folders.h"

WholeFile::~WholeFile()
{
    drop();
}

void WholeFile::drop()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty())
        removeFile(temporary_);
    temporary_.clear();
}

bool WholeFile::commit(std::string& failure)
{
    if (!stream_) {
        failure = path_ + ": not open";
        return false;
    }
    return commitOpen(failure);
}
