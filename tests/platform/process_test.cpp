// What a tool asks of the system beside content files: programs found on
// PATH and started with their arguments exactly as given (no shell reads
// them), their exit status, pipes both ways that fail instead of killing
// us, and folders and temporary files for output.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/process.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

class InScratchFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.made()); }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(path("locked"), fs::perms::owner_all, ignored);
    }
    std::string path(const std::string& leaf) const { return scratch.file(leaf); }
    std::string script(const std::string& leaf, const std::string& body, bool executable = true)
    {
        std::ofstream(path(leaf)) << "#!/bin/sh\n" << body << "\n";
        chmod(path(leaf).c_str(), executable ? 0755 : 0644);
        return path(leaf);
    }

    ScratchFolder scratch{"quillmoor_process"};
    const std::string& folder = scratch.path();
};

// PATH as a test sets it, put back afterwards.
class PathSetting {
public:
    explicit PathSetting(const std::string& value)
    {
        const char* old = std::getenv("PATH");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        setenv("PATH", value.c_str(), 1);
    }
    ~PathSetting()
    {
        if (had_)
            setenv("PATH", old_.c_str(), 1);
        else
            unsetenv("PATH");
    }

private:
    bool had_ = false;
    std::string old_;
};

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

using ProgramOnPath = InScratchFolder;

TEST_F(ProgramOnPath, FirstExecutableFileInPathOrderWins)
{
    fs::create_directories(path("a"));
    fs::create_directories(path("b"));
    fs::create_directories(path("c/tool"));  // a folder of that name is no program
    script("a/tool", "exit 0", false);       // nor is a file nobody may run
    const std::string wanted = script("b/tool", "exit 0");
    script("d_tool", "exit 0");

    PathSetting setting(path("c") + ":" + path("a") + ":" + path("b"));
    EXPECT_EQ(findProgram("tool"), path("b") + "/tool");
    EXPECT_EQ(findProgram("missing"), "");
    EXPECT_EQ(findProgram(""), "");
    // A name with a folder in it is taken as it is.
    EXPECT_EQ(findProgram(wanted), wanted);
    EXPECT_EQ(findProgram(path("a/tool")), "");
}

TEST_F(ProgramOnPath, EmptyPathEntryIsTheCurrentFolder)
{
    script("here_tool", "exit 0");
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    {
        PathSetting setting("/nowhere::/also/nowhere");
        EXPECT_EQ(findProgram("here_tool"), "./here_tool");
    }
    {
        PathSetting setting("/nowhere");
        EXPECT_EQ(findProgram("here_tool"), "");
    }
    fs::current_path(before);
}

using ChildPrograms = InScratchFolder;

TEST_F(ChildPrograms, ArgumentsArriveExactlyAsGivenWithNoShellBetween)
{
    const std::string printer = findProgram("printf");
    ASSERT_FALSE(printer.empty()) << "no printf on PATH";
    const std::vector<std::string> arguments = {
        "a b", "it's", "$(touch " + path("ran") + ")", "; touch " + path("ran2"), "\"q\"", "back\\slash", "", "*"};
    std::vector<std::string> argv = {printer, "[%s]\n"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    int status = -2;
    const std::string output = programOutput(argv, status);
    EXPECT_EQ(status, 0);
    std::string expected;
    for (const std::string& argument : arguments)
        expected += "[" + argument + "]\n";
    EXPECT_EQ(output, expected);
    EXPECT_FALSE(fs::exists(path("ran")));
    EXPECT_FALSE(fs::exists(path("ran2")));
}

TEST_F(ChildPrograms, ExitStatusAndUnstartableProgramsAreReported)
{
    const std::string exits = script("exits", "echo out; echo err >&2; exit 3");
    int status = 0;
    // Only stdout is read; stderr goes nowhere.
    EXPECT_EQ(programOutput({exits}, status), "out\n");
    EXPECT_EQ(status, 3);

    const std::string killed = script("killed", "kill -9 $$");
    programOutput({killed}, status);
    EXPECT_EQ(status, -1) << "a program ended by a signal has no exit status";

    programOutput({path("not_there")}, status);
    EXPECT_EQ(status, -1);
    ChildProgram program;
    std::string failure;
    EXPECT_FALSE(program.start({path("not_there")}, ChildProgram::Pipe::ToChild, failure));
    EXPECT_NE(failure.find(path("not_there")), std::string::npos) << failure;
    EXPECT_EQ(program.stream(), nullptr);
    EXPECT_EQ(program.finish(), -1);
}

TEST_F(ChildPrograms, WhatWeWriteReachesTheProgramWhole)
{
    const std::string copier = script("copier", "cat > \"$1\"; exit 5");
    std::string sent;
    for (int i = 0; i < 300000; ++i)
        sent += static_cast<char>(i * 31 + i / 256);
    ChildProgram program;
    std::string failure;
    ASSERT_TRUE(program.start({copier, path("copy")}, ChildProgram::Pipe::ToChild, failure)) << failure;
    ASSERT_EQ(std::fwrite(sent.data(), 1, sent.size(), program.stream()), sent.size());
    EXPECT_EQ(program.finish(), 5);
    EXPECT_EQ(readText(path("copy")), sent);
}

TEST_F(ChildPrograms, WritingToAProgramThatEndedFailsWithoutEndingUs)
{
    const std::string quitter = script("quitter", "exit 0");
    ChildProgram program;
    std::string failure;
    ASSERT_TRUE(program.start({quitter}, ChildProgram::Pipe::ToChild, failure)) << failure;
    const std::vector<char> block(1 << 20, 'x');
    bool failed = false;
    // More than any pipe holds, so a write must meet the closed end.
    for (int i = 0; i < 64 && !failed; ++i)
        failed = std::fwrite(block.data(), 1, block.size(), program.stream()) != block.size() ||
                 std::fflush(program.stream()) != 0;
    EXPECT_TRUE(failed);
    EXPECT_EQ(program.finish(), 0);
}

using OutputFolders = InScratchFolder;

TEST_F(OutputFolders, WritableOnlyForAFolderThatTakesNewFiles)
{
    std::string failure;
    EXPECT_TRUE(folderWritable(folder, failure)) << failure;

    std::ofstream(path("plain")) << "x";
    EXPECT_FALSE(folderWritable(path("plain"), failure));
    EXPECT_EQ(failure, path("plain") + ": not a folder");

    EXPECT_FALSE(folderWritable(path("absent"), failure));
    EXPECT_EQ(failure.rfind(path("absent") + ": ", 0), 0u) << failure;

    if (geteuid() != 0) {
        fs::create_directories(path("locked"));
        fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(folderWritable(path("locked"), failure));
        EXPECT_EQ(failure.rfind(path("locked") + ": ", 0), 0u) << failure;
    }
}

TEST_F(OutputFolders, MakeFolderMakesOneLevelAndAcceptsOneThatIsThere)
{
    std::string failure;
    ASSERT_TRUE(makeFolder(path("new"), failure)) << failure;
    EXPECT_TRUE(fs::is_directory(path("new")));
    EXPECT_TRUE(makeFolder(path("new"), failure)) << "an existing folder is fine: " << failure;

    EXPECT_FALSE(makeFolder(path("x/y"), failure));
    EXPECT_EQ(failure.rfind(path("x/y") + ": ", 0), 0u) << failure;
    EXPECT_FALSE(fs::exists(path("x")));

    std::ofstream(path("plain")) << "x";
    EXPECT_FALSE(makeFolder(path("plain"), failure));
    EXPECT_EQ(failure, path("plain") + ": not a folder");
}

TEST_F(OutputFolders, ParentFolderOfEveryShapeOfPath)
{
    EXPECT_EQ(parentFolder("a.mp4"), ".");
    EXPECT_EQ(parentFolder("/a.mp4"), "/");
    EXPECT_EQ(parentFolder("/x/y/a.mp4"), "/x/y");
    EXPECT_EQ(parentFolder("x/a.mp4"), "x");
}

TEST_F(OutputFolders, OpenForWritingEmptiesAndNamesTheFileOnFailure)
{
    std::ofstream(path("old")) << "previous contents";
    std::string failure;
    std::FILE* file = openForWriting(path("old"), failure);
    ASSERT_NE(file, nullptr) << failure;
    std::fputs("new", file);
    std::fclose(file);
    EXPECT_EQ(readText(path("old")), "new");

    EXPECT_EQ(openForWriting(path("absent/file"), failure), nullptr);
    EXPECT_EQ(failure.rfind(path("absent/file") + ": ", 0), 0u) << failure;
}

TEST_F(OutputFolders, TemporaryFilesAreNewEachTimeInTmpdirWithTheirSuffix)
{
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", folder.c_str(), 1);
    std::string first, second, failure;
    const bool madeFirst = makeTemporaryFile(".wav", first, failure);
    const bool madeSecond = makeTemporaryFile(".wav", second, failure);
    setenv("TMPDIR", path("absent").c_str(), 1);
    std::string third;
    const bool madeThird = makeTemporaryFile(".wav", third, failure);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");

    ASSERT_TRUE(madeFirst && madeSecond);
    EXPECT_NE(first, second);
    for (const std::string& made : {first, second}) {
        EXPECT_EQ(parentFolder(made), folder);
        EXPECT_EQ(made.substr(made.size() - 4), ".wav");
        EXPECT_TRUE(fs::is_regular_file(made));
        EXPECT_EQ(fs::file_size(made), 0u);
    }
    EXPECT_FALSE(madeThird);
    EXPECT_NE(failure.find(path("absent")), std::string::npos) << failure;

    EXPECT_TRUE(removeFile(first));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(removeFile(first));
}
