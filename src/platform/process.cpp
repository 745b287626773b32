// What the backends share: starting a program (each backend launches it),
// and reading a started program's output, from a pipe or from a scratch
// file.
#include "platform/process.h"

ChildProgram::~ChildProgram()
{
    finish();
}

bool ChildProgram::start(const std::vector<std::string>& argv, Pipe pipe, std::string& failure, const ChildFiles& files)
{
    finish();
    if (argv.empty()) {
        failure = "no program named";
        return false;
    }
    return launch(argv, pipe, failure, files);
}

bool ChildProgram::closeOurEnd()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    return process_ != 0;
}

std::string programOutput(const std::vector<std::string>& argv, int& status)
{
    ChildProgram program;
    std::string failure;
    if (!program.start(argv, ChildProgram::Pipe::FromChild, failure)) {
        status = -1;
        return std::string();
    }
    std::string output;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, program.stream())) > 0)
        output.append(block, got);
    status = program.finish();
    return output;
}

std::string ScratchFile::contents() const
{
    std::string text;
    if (!stream_ || std::fflush(stream_) != 0 || std::fseek(stream_, 0, SEEK_SET) != 0)
        return text;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, stream_)) > 0)
        text.append(block, got);
    return text;
}
