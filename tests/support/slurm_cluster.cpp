#include "support/slurm_cluster.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const char* const SLURM_PROGRAMS[] = {"munged", "slurmctld", "slurmd", "sbatch", "squeue", "sinfo", "scontrol",
                                      "scancel"};

bool onPath(const std::string& program)
{
    int status = 0;
    runCommand({"sh", "-c", "command -v " + program}, {}, 5s, status);
    return status == 0;
}

// A TCP port on 127.0.0.1 that nothing listens on now; 0 when none.
int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

// `slurmd -C`'s node line as this machine's node "localhost".
std::string nodeLine(const std::string& report)
{
    std::istringstream words(report.substr(0, report.find('\n')));
    std::string line = "NodeName=localhost NodeAddr=127.0.0.1";
    for (std::string word; words >> word;)
        if (word.rfind("NodeName=", 0) != 0)
            line += " " + word;
    return line;
}

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string readAll(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

SlurmCluster::SlurmCluster()
{
    ok_ = start();
}

bool SlurmCluster::start()
{
    for (const char* program : SLURM_PROGRAMS) {
        if (!onPath(program)) {
            why_ = std::string(program) + " is not installed (Debian packages slurm-wlm and munge)";
            return false;
        }
    }
    if (geteuid() != 0) {
        why_ = "a private Slurm with SlurmUser=root needs root";
        return false;
    }
    std::string pattern = ::testing::TempDir() + "slurm_XXXXXX";
    if (!mkdtemp(pattern.data())) {
        why_ = "no temporary folder for Slurm";
        return false;
    }
    folder_ = pattern;
    mkdir((folder_ + "/state").c_str(), 0700);
    mkdir((folder_ + "/spool").c_str(), 0700);

    const std::string key = folder_ + "/munge.key";
    {
        std::ifstream random("/dev/urandom", std::ios::binary);
        std::string bytes(1024, '\0');
        random.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(key, std::ios::binary) << bytes;
    }
    chmod(key.c_str(), 0400);
    const std::string socket = folder_ + "/munge.socket";
    munged_.start({"munged", "--foreground", "--force", "--key-file=" + key, "--socket=" + socket,
                   "--pid-file=" + folder_ + "/munged.pid", "--log-file=" + folder_ + "/munged.log",
                   "--seed-file=" + folder_ + "/munge.seed"},
                  {}, folder_ + "/munged.out");
    for (int i = 0; i < 100 && !exists(socket) && munged_.running(); ++i)
        std::this_thread::sleep_for(50ms);
    if (!exists(socket)) {
        why_ = "munged did not start: " + readAll(folder_ + "/munged.out");
        return false;
    }

    int status = 0;
    const std::string hardware = runCommand({"slurmd", "-C"}, {}, 20s, status);
    const int controllerPort = freePort();
    const int nodePort = freePort();
    if (status != 0 || hardware.rfind("NodeName=", 0) != 0 || controllerPort == 0 || nodePort == 0 ||
        controllerPort == nodePort) {
        why_ = "cannot describe this node or find free ports: " + hardware;
        return false;
    }
    std::ofstream(folder_ + "/plugstack.conf");
    std::ofstream conf(folder_ + "/slurm.conf");
    conf << "ClusterName=quillmoortest\n"
            "SlurmctldHost=localhost(127.0.0.1)\n"
            "SlurmctldPort=" << controllerPort << "\n"
            "SlurmdPort=" << nodePort << "\n"
            "SlurmUser=root\nSlurmdUser=root\n"
            "AuthType=auth/munge\nCredType=cred/munge\n"
            "AuthInfo=socket=" << socket << "\n"
            "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
            "PlugStackConfig=" << folder_ << "/plugstack.conf\n"
            "StateSaveLocation=" << folder_ << "/state\n"
            "SlurmdSpoolDir=" << folder_ << "/spool\n"
            "SlurmctldPidFile=" << folder_ << "/slurmctld.pid\n"
            "SlurmdPidFile=" << folder_ << "/slurmd.pid\n"
            "SlurmctldLogFile=" << folder_ << "/slurmctld.log\n"
            "SlurmdLogFile=" << folder_ << "/slurmd.log\n"
            "JobAcctGatherType=jobacct_gather/none\nAccountingStorageType=accounting_storage/none\n"
            "JobCompType=jobcomp/none\nMpiDefault=none\nReturnToService=2\n"
            "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
         << nodeLine(hardware) << " State=UNKNOWN\n"
         << "PartitionName=quillmoor Nodes=localhost Default=YES MaxTime=INFINITE State=UP\n";
    conf.close();

    const std::string confPath = folder_ + "/slurm.conf";
    controller_.start({"slurmctld", "-D", "-i", "-f", confPath}, environment(), folder_ + "/slurmctld.out");
    node_.start({"slurmd", "-D", "-N", "localhost", "-f", confPath}, environment(), folder_ + "/slurmd.out");
    for (int i = 0; i < 150; ++i) {
        const std::string state = run({"sinfo", "-h", "-o", "%t"}, status);
        if (status == 0 && state.rfind("idle", 0) == 0)
            return true;
        if (!controller_.running() || !node_.running())
            break;
        std::this_thread::sleep_for(200ms);
    }
    why_ = "the private Slurm did not come up:\n" + logs();
    return false;
}

SlurmCluster::~SlurmCluster()
{
    if (controller_.running()) {
        int status = 0;
        run({"scancel", "--partition=quillmoor"}, status);
        for (int i = 0; i < 50 && !run({"squeue", "-h"}, status).empty() && status == 0; ++i)
            std::this_thread::sleep_for(100ms);
    }
    for (Child* daemon : {&node_, &controller_, &munged_}) {
        daemon->stop(SIGTERM);
        daemon->wait(10s);
    }
    if (!folder_.empty())
        std::system(("rm -rf '" + folder_ + "'").c_str());
}

std::vector<std::string> SlurmCluster::environment() const
{
    return {"SLURM_CONF=" + folder_ + "/slurm.conf"};
}

std::string SlurmCluster::run(const std::vector<std::string>& argv, int& status) const
{
    return runCommand(argv, environment(), 20s, status);
}

bool SlurmCluster::waitForJobs(const std::vector<std::string>& jobIds, std::chrono::milliseconds limit) const
{
    std::string list;
    for (const std::string& id : jobIds)
        list += (list.empty() ? "" : ",") + id;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        const std::string queued = run({"squeue", "-h", "-j", list}, status);
        // Long finished jobs are forgotten: their ids become invalid.
        if ((status == 0 && queued.empty()) || queued.find("Invalid job id") != std::string::npos)
            return true;
        std::this_thread::sleep_for(500ms);
    }
    return false;
}

std::string SlurmCluster::jobState(const std::string& jobId) const
{
    int status = 0;
    const std::string report = run({"scontrol", "show", "job", jobId}, status);
    const size_t at = report.find("JobState=");
    if (at == std::string::npos)
        return "unknown";
    return report.substr(at + 9, report.find_first_of(" \n", at) - at - 9);
}

std::string SlurmCluster::logs() const
{
    std::string text;
    for (const char* name : {"slurmctld.out", "slurmd.out", "slurmctld.log", "slurmd.log"}) {
        std::string log = readAll(folder_ + "/" + name);
        if (log.size() > 2000)
            log = log.substr(log.size() - 2000);
        text += std::string("--- ") + name + "\n" + log;
    }
    return text;
}
