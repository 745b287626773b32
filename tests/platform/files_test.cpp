// What the platform layer agrees to read as content: ordinary files only,
// after following links, each within the ceiling its caller names, and
// never a wait on a path that has nothing to give.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

class ContentFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.made()); }

    std::string path(const std::string& leaf) const { return scratch.file(leaf); }

    std::string writeFile(const std::string& leaf, size_t bytes)
    {
        std::ofstream out(path(leaf), std::ios::binary);
        for (size_t i = 0; i < bytes; ++i)
            out.put(static_cast<char>(i * 7));
        return path(leaf);
    }

    // readWholeFile on `file`, run aside so that a read that blocks fails
    // the test instead of hanging it; `unblock` is what frees it then.
    bool readWithin(const std::string& file, uint64_t maxBytes, std::string& reason,
                    const std::function<void()>& unblock)
    {
        auto read = std::async(std::launch::async, [&] {
            std::vector<uint8_t> bytes;
            std::string why;
            bool ok = readWholeFile(file, bytes, why, maxBytes);
            return std::make_pair(ok, why);
        });
        if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << file << ": still reading after 5 s";
            unblock();
        }
        auto result = read.get();
        reason = result.second;
        return result.first;
    }

    ScratchFolder scratch{"quillmoor_files"};
    const std::string& folder = scratch.path();
};

}  // namespace

TEST_F(ContentFiles, OrdinaryFileIsReadWholeUpToItsCeiling)
{
    const std::string file = writeFile("picture.pcx", 1000);
    std::vector<uint8_t> bytes;
    std::string reason;
    ASSERT_TRUE(readWholeFile(file, bytes, reason, 1000)) << reason;
    ASSERT_EQ(1000u, bytes.size());
    EXPECT_EQ(static_cast<uint8_t>(999 * 7), bytes[999]);

    EXPECT_FALSE(readWholeFile(file, bytes, reason, 999));
    EXPECT_EQ("is 1000 bytes, more than the 999 allowed", reason);
    EXPECT_TRUE(bytes.empty());

    // Through a link, the file it names is what counts.
    fs::create_symlink(file, path("link.pcx"));
    ASSERT_TRUE(readWholeFile(path("link.pcx"), bytes, reason, 1000)) << reason;
    EXPECT_EQ(1000u, bytes.size());

    EXPECT_FALSE(readWholeFile(path("absent.pcx"), bytes, reason));
    EXPECT_EQ("No such file or directory", reason);
    fs::create_symlink(path("absent.pcx"), path("dangling.pcx"));
    EXPECT_FALSE(readWholeFile(path("dangling.pcx"), bytes, reason));
    EXPECT_EQ("No such file or directory", reason);
}

TEST_F(ContentFiles, HugeSparseFileIsRefusedBeforeAnythingIsRead)
{
    // 2 GiB that take no disk: refused by its size alone, at once.
    const std::string file = path("music.mp3");
    int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, off_t(2) << 30));
    close(fd);
    std::vector<uint8_t> bytes;
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(readWholeFile(file, bytes, reason));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ("is 2147483648 bytes, more than the " + std::to_string(WHOLE_FILE_MAX_BYTES) + " allowed", reason);
    EXPECT_EQ(0u, bytes.capacity());
}

TEST_F(ContentFiles, PathsThatAreNotOrdinaryFilesAreRefusedWithoutWaiting)
{
    std::string reason;
    auto nothing = [] {};

    fs::create_directory(path("folder.pcx"));
    EXPECT_FALSE(readWithin(path("folder.pcx"), 1 << 20, reason, nothing));
    EXPECT_EQ("is a directory", reason);

    // A FIFO with no writer: opening it for reading the ordinary way waits
    // for a writer forever.
    ASSERT_EQ(0, mkfifo(path("fifo.pcx").c_str(), 0600));
    auto openWriter = [&] {
        int fd = open(path("fifo.pcx").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    };
    EXPECT_FALSE(readWithin(path("fifo.pcx"), 1 << 20, reason, openWriter));
    EXPECT_EQ("is a FIFO", reason);
    fs::create_symlink(path("fifo.pcx"), path("fifo_link.pcx"));
    EXPECT_FALSE(readWithin(path("fifo_link.pcx"), 1 << 20, reason, openWriter));
    EXPECT_EQ("is a FIFO", reason);

    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("socket.pcx");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(listener, 1));
    EXPECT_FALSE(readWithin(socketPath, 1 << 20, reason, nothing));
    EXPECT_EQ("is a socket", reason);
    close(listener);

    // Devices that never end, reached through links as a careless package
    // would leave them.
    for (const char* device : {"/dev/zero", "/dev/urandom"}) {
        const std::string link = path(std::string("device") + (device + 5));
        fs::create_symlink(device, link);
        EXPECT_FALSE(readWithin(link, 1 << 20, reason, nothing)) << device;
        EXPECT_EQ("is a device", reason) << device;
    }
}

TEST_F(ContentFiles, OpenedFileIsTheOneCheckedAndKnowsItsSize)
{
    const std::string file = writeFile("title.pcx", 300);
    OpenedFile opened;
    std::string reason;
    ASSERT_TRUE(openOrdinaryFile(file, 300, opened, reason)) << reason;
    ASSERT_NE(nullptr, opened.file);
    EXPECT_EQ(300u, opened.size);
    // Blocking reads again once opened (the descriptor was opened non-blocking).
    EXPECT_EQ(0, fcntl(fileno(opened.file), F_GETFL) & O_NONBLOCK);
    // Not inherited by programs the show might start.
    EXPECT_NE(0, fcntl(fileno(opened.file), F_GETFD) & FD_CLOEXEC);
    std::fclose(opened.file);

    EXPECT_FALSE(openOrdinaryFile(path("folder"), 300, opened, reason));
    EXPECT_EQ(nullptr, opened.file);
}

TEST_F(ContentFiles, ReadingStopsAtTheCeilingWhateverTheSourceSays)
{
    // A pipe whose writer goes on well past the ceiling: the read stops
    // after at most one more chunk and says so.
    // The writer fails with EPIPE, not a signal, once the read end closes.
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    std::thread writer([fd = ends[1]] {
        std::vector<char> chunk(65536, 'x');
        for (int i = 0; i < 64; ++i)
            if (write(fd, chunk.data(), chunk.size()) < 0)
                break;
        close(fd);
    });
    std::FILE* file = fdopen(ends[0], "rb");
    ASSERT_NE(nullptr, file);
    std::vector<uint8_t> bytes;
    std::string reason;
    EXPECT_FALSE(readOpenFile(file, 100000, bytes, reason));
    EXPECT_EQ("more than the 100000 bytes allowed", reason);
    EXPECT_TRUE(bytes.empty());
    std::fclose(file);  // the writer then fails and ends
    writer.join();
    std::signal(SIGPIPE, previous);

    // Exactly the ceiling is fine.
    ASSERT_EQ(0, pipe(ends));
    ASSERT_EQ(4096, write(ends[1], std::vector<char>(4096, 'y').data(), 4096));
    close(ends[1]);
    file = fdopen(ends[0], "rb");
    ASSERT_NE(nullptr, file);
    EXPECT_TRUE(readOpenFile(file, 4096, bytes, reason)) << reason;
    EXPECT_EQ(4096u, bytes.size());
    std::fclose(file);
}
