// Cluster execution on Slurm: the cases still to run as job arrays, each no larger than the
// cluster's MaxArraySize (Slurm refuses a task index of MaxArraySize or more, so every array
// numbers its tasks from 0 and a list file beside its batch script names the case of each task).
// Each task runs `vehicle-sim sweep run-case DIR --list FILE TASK`, the same runner as a local
// sweep. The arrays are submitted with --requeue, so that Slurm runs a task again whose node
// was lost. Slurm alone places the tasks; the job ids go into slurm/jobs.txt, from which
// `sweep status` asks squeue (and sacct, where the cluster keeps accounts) how they stand.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/sweep/sweep_plan.h"

namespace master::sweep {

// The cases in arrays of at most `maxArraySize` tasks, in order.
std::vector<std::vector<std::size_t>> splitArrays(const std::vector<std::size_t>& cases, std::size_t maxArraySize);

// The batch script of an array of `tasks` tasks whose cases `listFile` names.
std::string batchScript(const Plan& plan, std::size_t tasks, const std::filesystem::path& listFile);

// MaxArraySize from `scontrol show config`; throws MasterError when it cannot be read.
std::size_t maxArraySize(const Plan& plan);
// The value of MaxArraySize in the text of `scontrol show config`, or 0.
std::size_t parseMaxArraySize(const std::string& config);

struct Submission {
  std::filesystem::path folder;  // slurm/submit-N
  std::vector<std::string> jobs;  // one per array
  std::vector<std::vector<std::size_t>> arrays;
};

// Writes slurm/submit-N/array-K.{cases,sbatch} for each array and submits them; throws
// MasterError with sbatch's own message when a submission fails (the arrays submitted before
// it stay recorded).
Submission submitSlurm(const Plan& plan, const std::vector<std::size_t>& cases);

// The case of task `task` of an array's list file; throws MasterError.
std::size_t caseOfTask(const std::filesystem::path& listFile, std::size_t task);

// How the cases of the submitted arrays stand in Slurm: case index -> squeue's state (PENDING,
// RUNNING, ...) for those still queued or running; sacct's state (COMPLETED, NODE_FAIL, ...) of
// the others where the cluster keeps accounts.
struct QueueStates {
  std::map<std::size_t, std::string> queued, ended;
};
QueueStates queueStates(const Plan& plan);

}  // namespace master::sweep
