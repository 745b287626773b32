#include "wine/wine_session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/process.h"

namespace fs = std::filesystem;

namespace {

using std::chrono::seconds;

// Marks a prefix that was made whole; one without it is made again.
constexpr const char* READY_MARK = ".quillmoor-prefix-ready";

// The last lines of a program's output, for a reason on one screen.
std::string tail(const std::string& text)
{
    return text.size() > 800 ? "..." + text.substr(text.size() - 800) : text;
}

// An exclusive lock on a file, held while this lives.
class FileLock {
public:
    explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644))
    {
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

}  // namespace

std::string windowsBuildFolder()
{
    return QUILLMOOR_WINDOWS_BUILD_DIR;
}

std::string windowsBuildFile(const std::string& name)
{
    return windowsBuildFolder() + "/" + name;
}

std::string windowsPath(const std::string& path)
{
    std::string absolute = fs::absolute(path).lexically_normal().string();
    for (char& c : absolute)
        if (c == '/')
            c = '\\';
    return "Z:" + absolute;
}

WineSession::WineSession(const XSession& display, const std::vector<std::string>& programs) : display_(display)
{
    if (!display.ok()) {
        why_ = "no X server for wine: " + display.why();
        return;
    }
    if (findProgram("wine").empty() || findProgram("wineserver").empty()) {
        why_ = "wine is not installed (Debian package wine)";
        return;
    }
    for (const std::string& program : programs) {
        if (!fs::exists(windowsBuildFile(program))) {
            why_ = "the Windows build in " + windowsBuildFolder() + " has no " + program + " (make windows builds it)";
            return;
        }
    }
    missing_ = false;
    ok_ = makePrefix();
}

WineSession::~WineSession()
{
    if (!ok_)
        return;
    // Ends whatever still runs in the prefix (the show after a failed
    // check, the desktop process) and the server, which would otherwise
    // stay tied to this session's display.
    int status = 0;
    runCommand({"wineserver", "-k"}, environment(), seconds(30), status);
    runCommand({"wineserver", "-w"}, environment(), seconds(30), status);
}

bool WineSession::makePrefix()
{
    prefix_ = windowsBuildFile("wine-prefix");
    FileLock lock(prefix_ + ".lock");
    if (!lock.held()) {
        why_ = "cannot lock " + prefix_ + ".lock";
        return false;
    }
    if (fs::exists(prefix_ + "/" + READY_MARK))
        return true;
    std::error_code ignored;
    fs::remove_all(prefix_, ignored);

    int status = 0;
    const std::string booted = runCommand({"wineboot", "-i"}, environment(), seconds(300), status);
    runCommand({"wineserver", "-w"}, environment(), seconds(120), status);
    if (!fs::exists(prefix_ + "/system.reg")) {
        why_ = "wineboot did not make the prefix " + prefix_ + ": " + tail(booted);
        return false;
    }
    // A program that crashes ends with its status instead of waiting on a dialog.
    const std::string added = runCommand({"wine", "reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v",
                                          "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"},
                                         environment(), seconds(120), status);
    if (status != 0) {
        why_ = "cannot turn off Wine's crash dialog: " + tail(added);
        return false;
    }
    runCommand({"wineserver", "-w"}, environment(), seconds(120), status);
    std::ofstream(prefix_ + "/" + READY_MARK) << "made by the wine test suite\n";
    return true;
}

std::vector<std::string> WineSession::environment(const std::string& dllOverrides) const
{
    std::vector<std::string> env = display_.environment();
    env.push_back("WINEPREFIX=" + prefix_);
    env.push_back("WINEDEBUG=-all");
    // No installer dialogs for .NET and the HTML engine, which nothing here uses.
    env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=" + (dllOverrides.empty() ? "" : ";" + dllOverrides));
    env.push_back("LIBGL_ALWAYS_SOFTWARE=1");
    return env;
}

bool WineSession::start(Child& child, const std::string& program, const std::vector<std::string>& args,
                        const std::string& outputPath, const std::string& dllOverrides) const
{
    std::vector<std::string> argv = {"wine", program};
    argv.insert(argv.end(), args.begin(), args.end());
    return child.start(argv, environment(dllOverrides), outputPath);
}

std::string WineSession::run(const std::string& program, const std::vector<std::string>& args, int& status,
                             std::chrono::milliseconds limit) const
{
    std::vector<std::string> argv = {"wine", program};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv, environment(), limit, status);
}
