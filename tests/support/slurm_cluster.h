// A private single-node Slurm for tests that submit real jobs: munged with
// its own key, socket and folders, then slurmctld and slurmd with a
// slurm.conf of their own (proctrack/linuxproc, task/none, no accounting,
// SlurmUser root, ports found free on 127.0.0.1, one node "localhost" with
// the CPUs and memory `slurmd -C` reports), all in a temporary folder.
// Client commands (sbatch, squeue) find it through environment(). The
// destructor cancels what is still queued and stops the daemons. Needs root;
// when a part is missing or will not start, ok() is false and why() says
// why.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/x_session.h"

class SlurmCluster {
public:
    SlurmCluster();
    ~SlurmCluster();
    SlurmCluster(const SlurmCluster&) = delete;
    SlurmCluster& operator=(const SlurmCluster&) = delete;

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    // SLURM_CONF, for the client commands and the scripts that run them.
    std::vector<std::string> environment() const;
    // Waits until none of `jobIds` is queued or running; false at `limit`.
    bool waitForJobs(const std::vector<std::string>& jobIds, std::chrono::milliseconds limit) const;
    // A finished job's state as Slurm tells it ("COMPLETED", "FAILED" ...).
    std::string jobState(const std::string& jobId) const;
    // The daemons' logs, for a failing test's message.
    std::string logs() const;

private:
    bool start();
    std::string run(const std::vector<std::string>& argv, int& status) const;

    std::string folder_;
    Child munged_;
    Child controller_;
    Child node_;
    bool ok_ = false;
    std::string why_;
};
