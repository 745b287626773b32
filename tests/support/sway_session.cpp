#include "support/sway_session.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const char* TEST_USER = "quillmoor-test";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The integer after `"key": ` at or after `from` in sway's JSON; -1 when absent.
long jsonNumber(const std::string& json, const std::string& key, size_t from)
{
    const size_t at = json.find("\"" + key + "\": ", from);
    return at == std::string::npos ? -1 : std::strtol(json.c_str() + at + key.size() + 4, nullptr, 10);
}

}  // namespace

SwaySession::SwaySession(int width, int height, bool xwayland)
{
    char pattern[] = "/tmp/quillmoor_sway_XXXXXX";
    if (!mkdtemp(pattern)) {
        why_ = "no scratch folder for sway";
        return;
    }
    runtime_ = pattern;
    start(width, height, xwayland);
}

SwaySession::~SwaySession()
{
    keyboard_.stop(SIGTERM);
    keyboard_.wait(std::chrono::seconds(5));
    if (compositor_.running()) {
        compositor_.stop(SIGTERM);
        compositor_.wait(std::chrono::seconds(10));
    }
    if (!runtime_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtime_, ignored);
    }
}

bool SwaySession::chooseUser()
{
    if (geteuid() != 0)
        return true;
    const passwd* user = getpwnam(TEST_USER);
    if (!user) {
        int status = 0;
        runCommand({"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", TEST_USER}, {},
                   std::chrono::seconds(30), status);
        user = getpwnam(TEST_USER);  // made here, or by a test beside this one
    }
    if (!user)
        user = getpwnam("nobody");
    if (!user) {
        why_ = std::string("sway refuses root, and neither ") + TEST_USER + " nor nobody exists";
        return false;
    }
    switchUser_ = true;
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
    return true;
}

std::vector<std::string> SwaySession::asUser(std::vector<std::string> argv) const
{
    if (switchUser_)
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                                   "--clear-groups"});
    return argv;
}

std::vector<std::string> SwaySession::program(std::vector<std::string> argv) const
{
    int status = 0;
    runCommand(asUser({"test", "-x", argv[0]}), {}, std::chrono::seconds(10), status);
    return status == 0 ? asUser(argv) : argv;
}

std::string SwaySession::runtimeFile(const std::string& prefix) const
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(runtime_, error)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && name.find(".lock") == std::string::npos)
            return name;
    }
    return "";
}

void SwaySession::start(int width, int height, bool xwayland)
{
    if (!chooseUser())
        return;
    // The runtime folder must belong to the user who runs sway, and be theirs alone.
    if (chmod(runtime_.c_str(), 0700) != 0 || (switchUser_ && chown(runtime_.c_str(), uid_, gid_) != 0)) {
        why_ = "cannot hand " + runtime_ + " to the desktop's user";
        return;
    }
    const std::string config = runtime_ + "/config";
    std::ofstream(config) << "output HEADLESS-1 mode " << width << "x" << height << "\n"
                          << "default_border none\n"
                          << "default_floating_border none\n"
                          // A window keeps the size it asks for, as on a stacking desktop.
                          << "for_window [app_id=\".*\"] floating enable\n"
                          << "for_window [class=\".*\"] floating enable\n"
                          << "xwayland " << (xwayland ? "force" : "disable") << "\n"
                          << (xwayland ? "exec echo $DISPLAY > " + runtime_ + "/x-display\n" : "");
    chmod(config.c_str(), 0644);

    const std::vector<std::string> env = {
        "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
        "WLR_LIBINPUT_NO_DEVICES=1", "WAYLAND_DISPLAY=", "DISPLAY=", "SWAYSOCK=", "XDG_CONFIG_HOME=" + runtime_};
    const std::string log = runtime_ + "/sway.log";
    if (!compositor_.start(asUser({"sway", "--config", config}), env, log)) {
        why_ = "sway cannot be started (is the sway package installed?)";
        return;
    }
    // Ready once its IPC answers with the output at the size asked for.
    for (int tries = 0; tries < 300 && compositor_.running(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (swaySocket_.empty() || wayland_.empty()) {
            const std::string ipc = runtimeFile("sway-ipc.");
            swaySocket_ = ipc.empty() ? "" : runtime_ + "/" + ipc;
            wayland_ = runtimeFile("wayland-");
            continue;
        }
        if (xwayland && xDisplay_.empty()) {
            xDisplay_ = readFile(runtime_ + "/x-display");
            while (!xDisplay_.empty() && (xDisplay_.back() == '\n' || xDisplay_.back() == ' '))
                xDisplay_.pop_back();
            continue;
        }
        int status = 0;
        const std::string outputs = tool({"swaymsg", "-r", "-t", "get_outputs"}, status);
        if (status == 0 && jsonNumber(outputs, "width", outputs.find("\"current_mode\"")) == width &&
            jsonNumber(outputs, "height", outputs.find("\"current_mode\"")) == height) {
            // With no input devices the seat has no keyboard, so a program
            // that starts then never gets keyboard focus, and the keyboard
            // that a key press brings is gone before the program takes it
            // up. A virtual keyboard that idles for the session stays. It
            // taps Shift first: a keyboard whose keymap holds no key at all
            // crashes SDL's Wayland driver at its next modifier event.
            keyboard_.start(asUser({"wtype", "-k", "Shift_L", "-s", "86400000"}), environment(),
                            runtime_ + "/keyboard.log");
            for (int wait = 0; wait < 100 && !ok_ && keyboard_.running(); ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const std::string inputs = tool({"swaymsg", "-r", "-t", "get_inputs"}, status);
                ok_ = inputs.find("\"type\": \"keyboard\"") != std::string::npos;
            }
            if (!ok_)
                why_ = "no keyboard from wtype on sway (is the wtype package installed?)";
            return;
        }
    }
    std::string text = readFile(log);
    if (text.size() > 600)
        text = text.substr(text.size() - 600);
    why_ = std::string(xwayland && xDisplay_.empty() && !wayland_.empty() ? "XWayland" : "sway") +
           " did not come up (headless, " + std::to_string(width) + "x" + std::to_string(height) + "): " + text;
}

std::vector<std::string> SwaySession::environment(bool x11) const
{
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_, "SWAYSOCK=" + swaySocket_,
                                    "SDL_VIDEODRIVER="};
    if (x11) {
        env.push_back("DISPLAY=" + xDisplay_);
        env.push_back("WAYLAND_DISPLAY=");
    } else {
        env.push_back("WAYLAND_DISPLAY=" + wayland_);
        env.push_back("DISPLAY=");
    }
    return env;
}

std::string SwaySession::tool(const std::vector<std::string>& argv, int& status,
                              std::chrono::milliseconds limit) const
{
    return runCommand(asUser(argv), environment(), limit, status);
}

bool SwaySession::command(const std::string& text) const
{
    int status = 0;
    const std::string reply = tool({"swaymsg", text}, status);
    return status == 0 && reply.find("\"success\": false") == std::string::npos;
}

bool SwaySession::waitForWindow(const std::string& title, std::chrono::milliseconds limit,
                                SwayWindow& window) const
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        const std::string tree = tool({"swaymsg", "-r", "-t", "get_tree"}, status);
        // A leaf's "rect" (where it is on the output) comes before its name.
        const size_t named = tree.find("\"name\": \"" + title + "\"");
        const size_t rect = named == std::string::npos ? named : tree.rfind("\"rect\": {", named);
        if (status == 0 && rect != std::string::npos) {
            window.x = static_cast<int>(jsonNumber(tree, "x", rect));
            window.y = static_cast<int>(jsonNumber(tree, "y", rect));
            window.width = static_cast<int>(jsonNumber(tree, "width", rect));
            window.height = static_cast<int>(jsonNumber(tree, "height", rect));
            window.fullscreen = jsonNumber(tree, "fullscreen_mode", named) > 0;
            if (window.width > 0 && window.height > 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

bool SwaySession::screenshot(const SwayWindow* area, Screenshot& shot) const
{
    static int counter = 0;
    const std::string path = runtime_ + "/shot" + std::to_string(counter++) + ".ppm";
    std::vector<std::string> argv = {"grim", "-t", "ppm"};
    if (area) {
        std::ostringstream geometry;
        geometry << area->x << "," << area->y << " " << area->width << "x" << area->height;
        argv.insert(argv.end(), {"-g", geometry.str()});
    }
    argv.push_back(path);
    int status = 0;
    tool(argv, status, std::chrono::seconds(30));
    const bool ok = status == 0 && parsePpm(readFile(path), shot);
    std::remove(path.c_str());
    return ok;
}
