// Starting other programs and writing output files on Windows' own
// interfaces: PATH with ';' and PATHEXT, arguments that reach the program
// exactly as given (quoted for the C runtime's parser, never through
// cmd.exe), exit codes, pipes both ways, and output folders and files under
// names outside the ANSI code page. echo_args.exe (beside this program)
// plays the started program.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace {

std::wstring wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], length);
    result.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
    return result;
}

std::string echoArgs()
{
    return executableFolder() + "echo_args.exe";
}

// An environment variable as a test sets it, put back afterwards.
class VariableSetting {
public:
    VariableSetting(const wchar_t* name, const std::string& value) : name_(name)
    {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(name, old, 32768);
        had_ = length > 0 && length < 32768;
        if (had_)
            old_.assign(old, length);
        SetEnvironmentVariableW(name, wide(value).c_str());
    }
    ~VariableSetting() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
};

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        std::string file;
        ASSERT_TRUE(makeTemporaryFile("", file, failure)) << failure;
        ASSERT_TRUE(removeFile(file));
        folder = file + "_d\xC3\xA9j\xC3\xA0";  // "déjà": outside most ANSI code pages
        ASSERT_TRUE(makeFolder(folder, failure)) << failure;
    }
    void TearDown() override
    {
        for (const std::string& made : made_)
            removeFile(made);
        RemoveDirectoryW(wide(folder + "\\sub").c_str());
        RemoveDirectoryW(wide(folder).c_str());
    }
    std::string copyOfEchoArgs(const std::string& name)
    {
        const std::string target = folder + "\\" + name;
        EXPECT_TRUE(CopyFileW(wide(echoArgs()).c_str(), wide(target).c_str(), FALSE)) << target;
        made_.push_back(target);
        return target;
    }
    std::string plainFile(const std::string& name)
    {
        const std::string target = folder + "\\" + name;
        std::string failure;
        std::FILE* file = openForWriting(target, failure);
        EXPECT_NE(file, nullptr) << failure;
        if (file)
            std::fclose(file);
        made_.push_back(target);
        return target;
    }

    std::string folder;

private:
    std::vector<std::string> made_;
};

}  // namespace

using WindowsProgramOnPath = ScratchFolder;

TEST_F(WindowsProgramOnPath, SemicolonFoldersQuotedOrNotAndPathextExtensions)
{
    const std::string tool = copyOfEchoArgs("tool.exe");
    plainFile("other.txt");
    VariableSetting path(L"PATH", "C:\\nowhere;;\"" + folder + "\"");
    {
        VariableSetting extensions(L"PATHEXT", ".com;.exe");
        EXPECT_EQ(findProgram("tool"), tool);
        EXPECT_EQ(findProgram("tool.exe"), tool);
        EXPECT_EQ(findProgram("other"), "") << "a .txt is not among PATHEXT's";
        EXPECT_EQ(findProgram("missing"), "");
        EXPECT_EQ(findProgram(tool), tool) << "a path is taken as it is";
    }
    VariableSetting extensions(L"PATHEXT", ".com");
    EXPECT_EQ(findProgram("tool"), "") << "only PATHEXT's extensions are tried";
}

TEST(WindowsChildPrograms, ArgumentsReachTheProgramExactlyAsGiven)
{
    const std::vector<std::string> arguments = {
        "plain", "a b", "\"quoted\"", "back\\slash", "trailing\\", "trailing space\\", "a\\\"b", "", "*", "%PATH%",
        "x & echo y", "tab\there"};
    std::vector<std::string> argv = {echoArgs()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    int status = -2;
    const std::string output = programOutput(argv, status);
    EXPECT_EQ(status, 0);
    std::string expected;
    for (const std::string& argument : arguments)
        expected += "[" + argument + "]\n";
    EXPECT_EQ(output, expected);
}

TEST(WindowsChildPrograms, ExitCodesAndUnstartableProgramsAreReported)
{
    int status = 0;
    programOutput({echoArgs(), "--exit", "7"}, status);
    EXPECT_EQ(status, 7);

    ChildProgram program;
    std::string failure;
    EXPECT_FALSE(program.start({"C:\\nowhere\\missing.exe"}, ChildProgram::Pipe::ToChild, failure));
    EXPECT_NE(failure.find("missing.exe"), std::string::npos) << failure;
    EXPECT_EQ(program.finish(), -1);
    EXPECT_FALSE(program.start({"C:\\nowhere\\script.bat"}, ChildProgram::Pipe::ToChild, failure));
    EXPECT_NE(failure.find("batch file"), std::string::npos) << failure;
}

TEST(WindowsChildPrograms, WhatWeWriteReachesTheProgramWholeAndAnEndedOneFails)
{
    std::string sent;
    for (int i = 0; i < 300000; ++i)
        sent += static_cast<char>(i * 31 + i / 256);
    ChildProgram reader;
    std::string failure;
    ASSERT_TRUE(reader.start({echoArgs(), "--stdin-bytes", std::to_string(sent.size())}, ChildProgram::Pipe::ToChild,
                             failure))
        << failure;
    ASSERT_EQ(std::fwrite(sent.data(), 1, sent.size(), reader.stream()), sent.size());
    EXPECT_EQ(reader.finish(), 0) << "the program did not get every byte";

    ChildProgram quitter;
    ASSERT_TRUE(quitter.start({echoArgs(), "--exit", "0"}, ChildProgram::Pipe::ToChild, failure)) << failure;
    const std::vector<char> block(1 << 20, 'x');
    bool failed = false;
    for (int i = 0; i < 64 && !failed; ++i)
        failed = std::fwrite(block.data(), 1, block.size(), quitter.stream()) != block.size() ||
                 std::fflush(quitter.stream()) != 0;
    EXPECT_TRUE(failed);
    EXPECT_EQ(quitter.finish(), 0);
}

using WindowsOutputFolders = ScratchFolder;

TEST_F(WindowsOutputFolders, FoldersAndFilesUnderNamesOutsideTheCodePage)
{
    std::string failure;
    EXPECT_TRUE(folderWritable(folder, failure)) << failure;
    const std::string sub = folder + "\\sub";
    ASSERT_TRUE(makeFolder(sub, failure)) << failure;
    EXPECT_TRUE(makeFolder(sub, failure)) << "an existing folder is fine: " << failure;
    EXPECT_FALSE(makeFolder(folder + "\\x\\y", failure));
    EXPECT_EQ(failure.rfind(folder + "\\x\\y: ", 0), 0u) << failure;

    const std::string file = plainFile("\xC3\xBC.png");  // "ü.png"
    EXPECT_NE(GetFileAttributesW(wide(file).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(folderWritable(file, failure));
    EXPECT_EQ(failure, file + ": not a folder");
    EXPECT_FALSE(folderWritable(folder + "\\absent", failure));
    EXPECT_EQ(openForWriting(folder + "\\absent\\a.png", failure), nullptr);
    EXPECT_EQ(failure.rfind(folder + "\\absent\\a.png: ", 0), 0u) << failure;

    std::string temporary;
    ASSERT_TRUE(makeTemporaryFile(".wav", temporary, failure)) << failure;
    EXPECT_EQ(temporary.substr(temporary.size() - 4), ".wav");
    EXPECT_TRUE(removeFile(temporary));
    EXPECT_FALSE(removeFile(temporary));
}

TEST(WindowsOutputPaths, ParentFolderOfDrivesAndBothSeparators)
{
    EXPECT_EQ(parentFolder("a.mp4"), ".");
    EXPECT_EQ(parentFolder("C:\\a.mp4"), "C:\\");
    EXPECT_EQ(parentFolder("C:a.mp4"), "C:");
    EXPECT_EQ(parentFolder("C:\\x\\y\\a.mp4"), "C:\\x\\y");
    EXPECT_EQ(parentFolder("Z:\\tmp/out/a.png"), "Z:\\tmp/out");
    EXPECT_EQ(parentFolder("\\a.mp4"), "\\");
}
