#include "platform/mode_guard.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/log.h"

extern char** environ;

namespace {

constexpr const char* GUARD_FLAG = "--desktop-mode-guard";
constexpr const char* GUARD_NAME = "quillmoor-guard";  // its name in ps and top (15 characters at most)
constexpr int GUARD_FD = 3;           // the guard's end of the socket
constexpr char READY = 'R';           // guard to show: the desktop's configuration is held
constexpr char RESTORED = 'D';        // show to guard: the desktop has its mode back
constexpr int READY_LIMIT_MS = 5000;  // for the guard's X connection
constexpr int EXIT_LIMIT_MS = 2000;   // for the guard to leave once told
constexpr int ORPHAN_CHECK_MS = 250;  // how often the guard looks for its show

pid_t guardPid = -1;
int guardSocket = -1;
// This program runs the guard when started with its flag (its main() asks
// platformModeGuardMain first); no other program is started as one.
bool programCanGuard = false;

// ---- the show's side ----

// This program's file, so that an installed copy starts itself wherever it
// lives; the kernel's link when the file was replaced while it ran.
std::string ownProgram()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "/proc/self/exe";
    path[length] = '\0';
    const std::string program = path;
    const std::string deleted = " (deleted)";
    if (program.size() > deleted.size() && program.compare(program.size() - deleted.size(), deleted.size(), deleted) == 0)
        return "/proc/self/exe";
    return program;
}

bool readableWithin(int fd, int ms)
{
    pollfd wait{fd, POLLIN, 0};
    int ready;
    do
        ready = poll(&wait, 1, ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// Reaps the guard, waiting up to `ms` before it is killed.
void reapGuard(int ms)
{
    int status = 0;
    for (int waited = 0; waited < ms; waited += 10) {
        if (waitpid(guardPid, &status, WNOHANG) != 0)
            return;
        usleep(10000);
    }
    kill(guardPid, SIGKILL);
    while (waitpid(guardPid, &status, 0) < 0 && errno == EINTR) {
    }
}

void forgetGuard()
{
    if (guardSocket >= 0)
        close(guardSocket);
    guardSocket = -1;
    guardPid = -1;
}

pid_t spawnGuard(int guardEnd, const DisplayMode& shown, std::string& failure)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Neither the show's input nor its output: only stderr, for a reason.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, guardEnd, GUARD_FD);
    // A session of its own: no controlling terminal, so neither a closed
    // terminal nor Ctrl+C reaches it; every signal at its default, none blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> args = {ownProgram(), GUARD_FLAG, modeGuardArgument(shown), std::to_string(getpid())};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        failure = args[0] + ": cannot start: " + std::strerror(spawned);
        return -1;
    }
    return pid;
}

// ---- the guard's side ----

struct SavedCrtc {
    RRCrtc crtc = 0;
    RRMode mode = None;
    int x = 0, y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
};

// The desktop as it was before the show changed it.
struct SavedDesktop {
    int width = 0, height = 0;      // screen, pixels
    int widthMm = 0, heightMm = 0;  // screen, millimetres
    std::vector<SavedCrtc> crtcs;
};

// Only wakes the guard's wait: the show's end is read from getppid().
void onShowGone(int) {}

// A request the server refuses (the user's configuration no longer fits)
// must not end the guard before it has tried the rest.
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

void tellShow(const char* text)
{
    send(GUARD_FD, text, std::strlen(text), MSG_NOSIGNAL);
}

DisplayMode modeOf(const XRRScreenResources* resources, RRMode id)
{
    for (int i = 0; i < resources->nmode; ++i) {
        const XRRModeInfo& info = resources->modes[i];
        if (info.id != id)
            continue;
        DisplayMode mode{static_cast<int>(info.width), static_cast<int>(info.height), 0};
        if (info.hTotal && info.vTotal)
            mode.refreshHz = static_cast<int>(std::lround(static_cast<double>(info.dotClock) /
                                                          (static_cast<double>(info.hTotal) * info.vTotal)));
        return mode;
    }
    return {};
}

SavedDesktop saveDesktop(Display* display)
{
    SavedDesktop saved;
    const int screen = DefaultScreen(display);
    saved.width = DisplayWidth(display, screen);
    saved.height = DisplayHeight(display, screen);
    saved.widthMm = DisplayWidthMM(display, screen);
    saved.heightMm = DisplayHeightMM(display, screen);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources)
        return saved;
    for (int i = 0; i < resources->ncrtc; ++i) {
        XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
        if (!info)
            continue;
        if (info->mode != None) {
            SavedCrtc crtc;
            crtc.crtc = resources->crtcs[i];
            crtc.mode = info->mode;
            crtc.x = info->x;
            crtc.y = info->y;
            crtc.rotation = info->rotation;
            crtc.outputs.assign(info->outputs, info->outputs + info->noutput);
            saved.crtcs.push_back(crtc);
        }
        XRRFreeCrtcInfo(info);
    }
    XRRFreeScreenResources(resources);
    return saved;
}

// Puts back each output that is still in the show's mode, then the screen's
// size when an output was put back.
void restoreDesktop(Display* display, const SavedDesktop& saved, const DisplayMode& shown)
{
    const Window root = DefaultRootWindow(display);
    XGrabServer(display);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    bool restored = false;
    for (const SavedCrtc& crtc : saved.crtcs) {
        if (!resources)
            break;
        XRRCrtcInfo* now = XRRGetCrtcInfo(display, resources, crtc.crtc);
        if (!now)
            continue;
        const bool theShows = now->mode != None && now->mode != crtc.mode && isModeTheShowSet(modeOf(resources, now->mode), shown);
        XRRFreeCrtcInfo(now);
        if (!theShows)
            continue;
        std::vector<RROutput> outputs = crtc.outputs;
        restored |= XRRSetCrtcConfig(display, resources, crtc.crtc, CurrentTime, crtc.x, crtc.y, crtc.mode,
                                     crtc.rotation, outputs.data(), static_cast<int>(outputs.size())) == RRSetConfigSuccess;
    }
    if (resources)
        XRRFreeScreenResources(resources);
    Window rootReturn;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XGetGeometry(display, root, &rootReturn, &x, &y, &width, &height, &border, &depth);
    if (restored && (static_cast<int>(width) != saved.width || static_cast<int>(height) != saved.height))
        XRRSetScreenSize(display, root, saved.width, saved.height, saved.widthMm, saved.heightMm);
    XUngrabServer(display);
    XSync(display, False);
}

// Waits until the show says the desktop is back (true) or is gone without
// saying so (false).
bool waitForShow(pid_t show)
{
    pollfd socket{GUARD_FD, POLLIN, 0};
    for (;;) {
        if (getppid() != show)
            return false;
        socket.revents = 0;
        const int ready = poll(&socket, 1, ORPHAN_CHECK_MS);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char message = 0;
        const ssize_t got = read(GUARD_FD, &message, 1);
        if (got == 1 && message == RESTORED)
            return true;
        if (got == 0 || (got < 0 && errno != EINTR))
            return false;
    }
}

int runGuard(int argc, char** argv)
{
    DisplayMode shown;
    char* end = nullptr;
    const long show = argc == 4 ? std::strtol(argv[3], &end, 10) : 0;
    if (argc != 4 || !readModeGuardArgument(argv[2], shown) || show <= 1 || *end != '\0') {
        logMessage("window", "%s: the desktop-mode guard was started with the wrong arguments", argv[0]);
        return 2;
    }
    prctl(PR_SET_NAME, GUARD_NAME);
    // Told at once when the show ends, whoever holds the socket besides it.
    struct sigaction gone = {};
    gone.sa_handler = onShowGone;
    sigaction(SIGUSR1, &gone, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGUSR1);
    signal(SIGPIPE, SIG_IGN);
    if (getppid() != show)
        return 0;  // gone before the mode was changed

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        tellShow("cannot reach the X server");
        return 1;
    }
    int eventBase, errorBase, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor) ||
        major < 1 || (major == 1 && minor < 2)) {
        tellShow("the X server has no RandR 1.2");
        XCloseDisplay(display);
        return 1;
    }
    XSetErrorHandler(ignoreXError);
    const SavedDesktop saved = saveDesktop(display);
    send(GUARD_FD, &READY, 1, MSG_NOSIGNAL);

    if (!waitForShow(static_cast<pid_t>(show)))
        restoreDesktop(display, saved, shown);
    XCloseDisplay(display);
    return 0;
}

}  // namespace

bool platformStartModeGuard(const DisplayMode& shown, std::string& failure)
{
    if (guardPid > 0)
        return true;
    if (!programCanGuard) {
        failure = "this program cannot run the guard";
        return false;
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        failure = std::string("no socket: ") + std::strerror(errno);
        return false;
    }
    guardPid = spawnGuard(ends[1], shown, failure);
    close(ends[1]);
    guardSocket = ends[0];
    if (guardPid <= 0) {
        forgetGuard();
        return false;
    }
    // READY, or the reason it cannot guard the desktop.
    std::string answer;
    char block[256];
    while (readableWithin(guardSocket, READY_LIMIT_MS)) {
        const ssize_t got = read(guardSocket, block, sizeof block);
        if (got <= 0)
            break;
        answer.append(block, static_cast<size_t>(got));
        if (answer[0] == READY)
            return true;
    }
    failure = answer.empty() ? "the guard did not answer" : answer;
    close(guardSocket);
    guardSocket = -1;
    reapGuard(EXIT_LIMIT_MS);
    forgetGuard();
    return false;
}

void platformEndModeGuard()
{
    if (guardPid <= 0)
        return;
    send(guardSocket, &RESTORED, 1, MSG_NOSIGNAL);
    close(guardSocket);
    guardSocket = -1;
    reapGuard(EXIT_LIMIT_MS);
    forgetGuard();
}

bool platformModeGuardMain(int argc, char** argv, int& status)
{
    if (argc < 2 || std::strcmp(argv[1], GUARD_FLAG) != 0) {
        programCanGuard = true;
        return false;
    }
    status = runGuard(argc, argv);
    return true;
}
