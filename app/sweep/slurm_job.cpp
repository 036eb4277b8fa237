#include "app/sweep/slurm_job.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <tuple>

#include "engine/error.h"
#include "app/child_process.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace

std::vector<std::vector<std::size_t>> splitArrays(const std::vector<std::size_t>& cases, std::size_t maxArraySize) {
  std::vector<std::vector<std::size_t>> arrays;
  for (std::size_t i = 0; i < cases.size(); i += maxArraySize) {
    arrays.emplace_back(cases.begin() + static_cast<std::ptrdiff_t>(i),
                        cases.begin() + static_cast<std::ptrdiff_t>(std::min(cases.size(), i + maxArraySize)));
  }
  return arrays;
}

std::string batchScript(const Plan& plan, std::size_t tasks, const fs::path& listFile) {
  const SlurmResources& r = plan.slurm;
  std::string s = "#!/bin/bash\n";
  s += "# Cases of the sweep in " + plan.dir.string() + ", one array task each, as " + listFile.filename().string() +
       " names them.\n";
  s += "#SBATCH --job-name=vehicle-sweep\n";
  s += "#SBATCH --array=0-" + std::to_string(tasks - 1) + (r.maxParallel > 0 ? "%" + std::to_string(r.maxParallel) : "") + "\n";
  s += "#SBATCH --requeue\n";  // a task whose node is lost runs again
  s += "#SBATCH --ntasks=1\n";
  s += "#SBATCH --cpus-per-task=" + std::to_string(r.cpusPerTask) + "\n";
  s += "#SBATCH --mem=" + r.mem + "\n";
  s += "#SBATCH --time=" + r.time + "\n";
  if (!r.partition.empty()) s += "#SBATCH --partition=" + r.partition + "\n";
  if (!r.account.empty()) s += "#SBATCH --account=" + r.account + "\n";
  s += "#SBATCH --output=" + (plan.dir / "logs" / "slurm-%A_%a.out").string() + "\n";
  s += "exec " + shellQuoted(plan.executable) + " sweep run-case " + shellQuoted(plan.dir.string()) + " --list " +
       shellQuoted(listFile.string()) + " \"$SLURM_ARRAY_TASK_ID\"\n";
  return s;
}

std::size_t parseMaxArraySize(const std::string& config) {
  std::istringstream in(config);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MaxArraySize", 0) != 0) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return 0;
    try {
      return std::stoul(line.substr(equals + 1));
    } catch (const std::exception&) {
      return 0;
    }
  }
  return 0;
}

namespace {

std::string readText(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a Slurm command with its output in a file of the sweep's slurm/ folder; its exit code
// and output.
std::pair<int, std::string> slurmCommand(const Plan& plan, const std::vector<std::string>& argv) {
  const fs::path folder = plan.dir / "slurm";
  fs::create_directories(folder);
  const fs::path out = folder / (argv.front() + "." + std::to_string(getpid()) + ".out");
  const int code = runProcess(argv, out);
  std::string text = readText(out);
  fs::remove(out);
  return {code, text};
}

std::vector<std::size_t> readList(const fs::path& listFile) {
  std::ifstream in(listFile);
  if (!in) throw MasterError("cannot read the array's case list '" + listFile.string() + "'");
  std::vector<std::size_t> cases;
  std::size_t index = 0;
  while (in >> index) cases.push_back(index);
  return cases;
}

struct Job {
  std::string id;
  fs::path list;
};

std::vector<Job> submittedJobs(const Plan& plan) {
  std::ifstream in(plan.dir / "slurm" / "jobs.txt");
  std::vector<Job> jobs;
  Job j;
  while (in >> j.id >> j.list) jobs.push_back(j);
  return jobs;
}

}  // namespace

std::size_t maxArraySize(const Plan& plan) {
  const auto [code, text] = slurmCommand(plan, {"scontrol", "show", "config"});
  const std::size_t size = code == 0 ? parseMaxArraySize(text) : 0;
  if (size == 0) {
    throw MasterError("cannot read the cluster's MaxArraySize from 'scontrol show config' (exit " +
                      std::to_string(code) + "): " + text.substr(0, text.find('\n')));
  }
  return size;
}

Submission submitSlurm(const Plan& plan, const std::vector<std::size_t>& cases) {
  const std::size_t limit = maxArraySize(plan);
  fs::create_directories(plan.dir / "logs");
  Submission submission;
  for (int n = 1;; ++n) {
    submission.folder = plan.dir / "slurm" / ("submit-" + std::to_string(n));
    if (fs::create_directories(submission.folder)) break;  // a folder of its own, never an earlier one
  }
  submission.arrays = splitArrays(cases, limit);
  for (std::size_t k = 0; k < submission.arrays.size(); ++k) {
    const std::vector<std::size_t>& array = submission.arrays[k];
    const fs::path list = submission.folder / ("array-" + std::to_string(k) + ".cases");
    const fs::path script = submission.folder / ("array-" + std::to_string(k) + ".sbatch");
    {
      std::ofstream out(list);
      for (const std::size_t c : array) out << c << '\n';
      std::ofstream batch(script);
      batch << batchScript(plan, array.size(), list);
      if (!out || !batch) throw MasterError("cannot write '" + script.string() + "'");
    }
    const auto [code, text] = slurmCommand(plan, {"sbatch", "--parsable", script.string()});
    std::string line = text.substr(0, text.find('\n'));
    if (code != 0) {
      throw MasterError("sbatch refused array " + std::to_string(k) + " of " + std::to_string(submission.arrays.size()) +
                        " (exit " + std::to_string(code) + "): " + line +
                        (k > 0 ? " (the arrays before it are submitted: see slurm/jobs.txt)" : ""));
    }
    const std::string job = line.substr(0, line.find(';'));
    submission.jobs.push_back(job);
    std::ofstream jobs(plan.dir / "slurm" / "jobs.txt", std::ios::app);
    jobs << job << ' ' << list.string() << '\n';
  }
  return submission;
}

std::size_t caseOfTask(const fs::path& listFile, std::size_t task) {
  const std::vector<std::size_t> cases = readList(listFile);
  if (task >= cases.size()) {
    throw MasterError("'" + listFile.string() + "' names " + std::to_string(cases.size()) + " cases, not task " +
                      std::to_string(task));
  }
  return cases[task];
}

QueueStates queueStates(const Plan& plan) {
  QueueStates states;
  const std::vector<Job> jobs = submittedJobs(plan);
  if (jobs.empty()) return states;
  std::map<std::string, std::vector<std::size_t>> lists;
  std::string ids;
  for (const Job& j : jobs) {
    lists[j.id] = readList(j.list);
    ids += (ids.empty() ? "" : ",") + j.id;
  }
  // "JOB_TASK STATE" lines; a line of another job, or of a job's tasks not yet split ("12_[5-9]"),
  // is passed over.
  auto read = [&](const std::string& text, char separator, std::map<std::size_t, std::string>& into) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t underscore = line.find('_'), gap = line.find(separator);
      if (underscore == std::string::npos || gap == std::string::npos || underscore > gap) continue;
      const auto list = lists.find(line.substr(0, underscore));
      if (list == lists.end()) continue;
      std::size_t task = 0;
      const char* first = line.data() + underscore + 1;
      const auto [end, error] = std::from_chars(first, line.data() + gap, task);
      if (error != std::errc() || end != line.data() + gap || task >= list->second.size()) continue;
      std::string state = line.substr(gap + 1);
      state = state.substr(0, state.find_first_of(" \t"));
      into[list->second[task]] = state;
    }
  };
  // squeue refuses a list that names a job it no longer knows: then it lists every job.
  auto [code, text] = slurmCommand(plan, {"squeue", "-h", "-r", "-j", ids, "-o", "%i %T"});
  if (code != 0) std::tie(code, text) = slurmCommand(plan, {"squeue", "-h", "-r", "-o", "%i %T"});
  if (code != 0) throw MasterError("squeue failed (exit " + std::to_string(code) + "): " + text.substr(0, text.find('\n')));
  read(text, ' ', states.queued);
  const auto [accounted, history] = slurmCommand(plan, {"sacct", "-n", "-P", "-X", "-j", ids, "-o", "JobID,State"});
  if (accounted == 0) read(history, '|', states.ended);
  for (const auto& [c, state] : states.queued) states.ended.erase(c);
  return states;
}

}  // namespace master::sweep
