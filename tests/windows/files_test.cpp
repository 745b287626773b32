// What the Windows backend agrees to read as content: ordinary files only,
// each within its ceiling, under names in UTF-8 whatever their letters.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

// UTF-8 for "quillmoor_é_ü_日本" and "señal_ß.pcx": letters outside any one
// narrow code page.
const char* const FOLDER_LEAF = "quillmoor_\xC3\xA9_\xC3\xBC_\xE6\x97\xA5\xE6\x9C\xAC";
const char* const FILE_LEAF = "se\xC3\xB1" "al_\xC3\x9F.pcx";

std::wstring wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], length);
    result.resize(static_cast<size_t>(length) - 1);
    return result;
}

std::string narrow(const std::wstring& text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], length, nullptr, nullptr);
    result.resize(static_cast<size_t>(length) - 1);
    return result;
}

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        folder = narrow(temp) + FOLDER_LEAF + "_" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), nullptr)) << folder;
    }
    void TearDown() override
    {
        for (const std::string& file : written)
            DeleteFileW(wide(file).c_str());
        RemoveDirectoryW(wide(folder + "\\inner").c_str());
        RemoveDirectoryW(wide(folder).c_str());
        setContentFolder("");
    }

    // Writes `bytes` bytes (a counting pattern) through the wide interface,
    // so that the name reaches the disk exactly as given.
    std::string writeFile(const std::string& leaf, size_t bytes)
    {
        const std::string path = folder + "\\" + leaf;
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file) << path;
        std::vector<uint8_t> pattern(bytes);
        for (size_t i = 0; i < bytes; ++i)
            pattern[i] = static_cast<uint8_t>(i * 7);
        DWORD done = 0;
        WriteFile(file, pattern.data(), static_cast<DWORD>(bytes), &done, nullptr);
        CloseHandle(file);
        written.push_back(path);
        return path;
    }

    std::string folder;  // UTF-8
    std::vector<std::string> written;
};

TEST_F(WindowsFiles, ReadsAnOrdinaryFileUnderANonAsciiName)
{
    const std::string path = writeFile(FILE_LEAF, 3000);
    std::vector<uint8_t> bytes;
    std::string reason;
    ASSERT_TRUE(readWholeFile(path, bytes, reason)) << reason;
    ASSERT_EQ(3000u, bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(i * 7), bytes[i]) << "at byte " << i;

    OpenedFile opened;
    ASSERT_TRUE(openOrdinaryFile(path, 3000, opened, reason)) << reason;
    EXPECT_EQ(3000u, opened.size);
    // Binary: a 0x1A or a CR in the data reads as it is.
    ASSERT_EQ(0, std::fseek(opened.file, 2999, SEEK_SET));
    EXPECT_EQ(static_cast<uint8_t>(2999 * 7), std::fgetc(opened.file));
    EXPECT_EQ(EOF, std::fgetc(opened.file));
    std::fclose(opened.file);
}

TEST_F(WindowsFiles, RefusesFoldersDevicesAndPipes)
{
    ASSERT_TRUE(CreateDirectoryW(wide(folder + "\\inner").c_str(), nullptr));
    OpenedFile opened;
    std::string reason;
    EXPECT_FALSE(openOrdinaryFile(folder + "\\inner", 1 << 20, opened, reason));
    EXPECT_EQ("is a directory", reason);
    EXPECT_EQ(nullptr, opened.file);

    EXPECT_FALSE(openOrdinaryFile("\\\\.\\NUL", 1 << 20, opened, reason));
    EXPECT_EQ("is a device", reason);
    EXPECT_FALSE(openOrdinaryFile("\\\\.\\pipe\\quillmoor", 1 << 20, opened, reason));
    EXPECT_EQ("is a pipe", reason);
}

TEST_F(WindowsFiles, RefusesAFileOverItsCeilingAndSaysWhy)
{
    const std::string path = writeFile(FILE_LEAF, 100);
    OpenedFile opened;
    std::string reason;
    EXPECT_FALSE(openOrdinaryFile(path, 99, opened, reason));
    EXPECT_EQ("is 100 bytes, more than the 99 allowed", reason);
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(readWholeFile(path, bytes, reason, 50));
    EXPECT_TRUE(bytes.empty());

    // At the ceiling exactly it is read.
    EXPECT_TRUE(readWholeFile(path, bytes, reason, 100)) << reason;
    EXPECT_EQ(100u, bytes.size());
}

TEST_F(WindowsFiles, AMissingFileGivesTheSystemsWords)
{
    OpenedFile opened;
    std::string reason;
    EXPECT_FALSE(openOrdinaryFile(folder + "\\absent.pcx", 1 << 20, opened, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_NE('\n', reason.back());
}

TEST_F(WindowsFiles, ContentNamesResolveIntoTheContentFolder)
{
    setContentFolder(folder + "\\");
    std::string found, failure;
    ASSERT_TRUE(findContentFolder(found, failure)) << failure;
    EXPECT_EQ(folder, found);
    const std::string path = writeFile(FILE_LEAF, 10);
    EXPECT_EQ(path, resolveContentPath((std::string("Data\\") + FILE_LEAF).c_str()));
    std::vector<uint8_t> bytes;
    std::string reason;
    EXPECT_TRUE(readWholeFile(resolveContentPath((std::string("Data\\") + FILE_LEAF).c_str()), bytes, reason))
        << reason;

    setContentFolder(path);
    EXPECT_FALSE(findContentFolder(found, failure));
    EXPECT_NE(std::string::npos, failure.find("not a folder")) << failure;
}

TEST(WindowsExecutable, FolderIsWhereTheRunningProgramLies)
{
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    ASSERT_GT(length, 0u);
    const std::string path = narrow(std::wstring(self, length));
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ('\\', folder.back());
    EXPECT_EQ(0u, path.find(folder)) << path << " is not in " << folder;
    EXPECT_EQ(std::string::npos, path.find_first_of("\\/", folder.size())) << path;
}

}  // namespace
