// Cluster execution on Slurm: a job-array batch script with one array task per case still to
// run (each task runs `vehicle-sim sweep run-case DIR INDEX`, the same runner as a local
// sweep), submitted with sbatch. Slurm alone places the tasks; `sweep collect` reads what they
// left in the sweep's folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "master/sweep/sweep_plan.h"

namespace master::sweep {

// "0-3,5,7-9": the indices as Slurm's --array takes them.
std::string arrayIndices(const std::vector<std::size_t>& indices);

std::string batchScript(const Plan& plan, const std::vector<std::size_t>& indices);

// Writes slurm/sweep.sbatch and submits it; returns the job id. Throws MasterError with
// sbatch's own message when the submission fails.
std::string submitSlurm(const Plan& plan, const std::vector<std::size_t>& indices);

}  // namespace master::sweep
