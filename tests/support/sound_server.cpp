#include "support/sound_server.h"

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string readTail(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string tail = text.str();
    return tail.size() > 500 ? tail.substr(tail.size() - 500) : tail;
}

// Waits up to 5 s for `path` to appear.
bool waitForSocket(const std::string& path)
{
    for (int tries = 0; tries < 250; ++tries) {
        struct stat info;
        if (stat(path.c_str(), &info) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace

SoundServer::SoundServer(Kind kind, const std::string& folder, uint32_t rate) : folder_(folder)
{
    runtime_ = folder + "/runtime";
    mkdir(runtime_.c_str(), 0700);
    // HOME and XDG_CONFIG_HOME keep the user's own sound settings out.
    env_ = {"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_, "XDG_CONFIG_HOME=" + folder + "/config",
            "PULSE_SERVER=", "DISPLAY=", "DBUS_SESSION_BUS_ADDRESS="};
    ok_ = kind == Kind::PulseAudio ? startPulseAudio(rate) : startPipeWire(rate);
}

SoundServer::~SoundServer()
{
    // pipewire-pulse and wireplumber go before the server they serve.
    for (Child* part : {&pulseBridge_, &sessionManager_, &server_, &bus_}) {
        part->stop(SIGTERM);
        part->wait(std::chrono::seconds(5));
    }
}

bool SoundServer::startPart(Child& child, const std::vector<std::string>& argv, const std::string& name)
{
    if (child.start(argv, env_, folder_ + "/" + name + ".log"))
        return true;
    why_ = argv[0] + " cannot be started (is it installed?)";
    return false;
}

bool SoundServer::startPulseAudio(uint32_t rate)
{
    const std::string socket = runtime_ + "/native";
    pulseServer_ = "unix:" + socket;
    // As root PulseAudio warns but runs in user mode with -n (no default
    // script): only the modules named here are loaded.
    return startPart(server_,
                     {"pulseaudio", "--daemonize=no", "-n", "--system=no", "--exit-idle-time=-1",
                      "--disallow-exit", "--use-pid-file=no", "--log-target=stderr",
                      std::string("--load=module-null-sink sink_name=") + SINK + " rate=" + std::to_string(rate) +
                          " channels=2 format=float32le norewinds=1",
                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                     "pulseaudio") &&
           waitForSink();
}

bool SoundServer::startPipeWire(uint32_t rate)
{
    const std::string fragments = folder_ + "/config/pipewire/pipewire.conf.d";
    std::string made;
    for (const char* part : {"/config", "/config/pipewire", "/config/pipewire/pipewire.conf.d"}) {
        made = folder_ + part;
        mkdir(made.c_str(), 0700);
    }
    // The graph runs at the sink's rate, so nothing is resampled on the way.
    std::ofstream(fragments + "/50-quillmoor-null-sink.conf")
        << "context.properties = {\n"
        << "    default.clock.rate = " << rate << "\n"
        << "    default.clock.allowed-rates = [ " << rate << " ]\n"
        << "}\n"
        << "context.objects = [\n"
        << "    { factory = adapter\n"
        << "      args = {\n"
        << "          factory.name = support.null-audio-sink\n"
        << "          node.name = " << SINK << "\n"
        << "          media.class = Audio/Sink\n"
        << "          audio.position = [ FL FR ]\n"
        << "          audio.rate = " << rate << "\n"
        << "          node.driver = true\n"
        << "          object.linger = true\n"
        << "      }\n"
        << "    }\n"
        << "]\n";
    pulseServer_ = "unix:" + runtime_ + "/pulse/native";
    const std::string bus = "unix:path=" + runtime_ + "/bus";
    if (!startPart(bus_, {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, "dbus"))
        return false;
    env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
    env_.push_back("PIPEWIRE_RUNTIME_DIR=" + runtime_);
    // wireplumber gives up at once when the bus or pipewire is not there yet.
    if (!waitForSocket(runtime_ + "/bus") || !startPart(server_, {"pipewire"}, "pipewire") ||
        !waitForSocket(runtime_ + "/pipewire-0")) {
        if (why_.empty())
            why_ = "dbus-daemon or pipewire did not come up: " + readTail(folder_ + "/pipewire.log");
        return false;
    }
    return startPart(sessionManager_, {"wireplumber"}, "wireplumber") &&
           startPart(pulseBridge_, {"pipewire-pulse"}, "pipewire-pulse") && waitForSink();
}

bool SoundServer::waitForSink()
{
    const std::string wanted = std::string("Default Sink: ") + SINK;
    for (int tries = 0; tries < 200; ++tries) {
        if (pulseTool({"pactl", "info"}).find(wanted) != std::string::npos)
            return true;
        if (!server_.running())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why_ = "the sound server did not come up with its null sink: " +
           readTail(folder_ + (pulseBridge_.pid() > 0 ? "/wireplumber.log" : "/pulseaudio.log"));
    return false;
}

void SoundServer::useInThisProcess() const
{
    for (const std::string& entry : env_) {
        const size_t eq = entry.find('=');
        if (eq + 1 == entry.size())
            unsetenv(entry.substr(0, eq).c_str());
        else
            setenv(entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, 1);
    }
    setenv("PULSE_SERVER", pulseServer_.c_str(), 1);
}

std::string SoundServer::pulseTool(std::vector<std::string> argv) const
{
    argv.insert(argv.begin() + 1, {"-s", pulseServer_});
    int status = 0;
    return runCommand(argv, env_, std::chrono::seconds(10), status);
}

bool SoundServer::forceGraphCycle(uint32_t frames) const
{
    if (pulseBridge_.pid() <= 0)
        return false;
    int status = 0;
    runCommand({"pw-metadata", "-n", "settings", "0", "clock.force-quantum", std::to_string(frames)}, env_,
               std::chrono::seconds(10), status);
    // The graph takes the new cycle on its next round.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return status == 0;
}
