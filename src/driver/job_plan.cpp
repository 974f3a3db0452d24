#include "driver/job_plan.h"

#include <optional>

#include "driver/output_name.h"

namespace hush {
namespace {

Job underItsDefaultName(const Argument& input) {
  return Job{input, Argument{deriveOutputName(input.text), deriveOutputName(input.path)}, Job::Naming::Default};
}

}  // namespace

void checkDrop(std::vector<Job>& jobs, FileSystem& fileSystem) {
  std::vector<std::optional<FileIdentity>> movies;
  std::vector<std::optional<FileIdentity>> outputs;
  for (const Job& job : jobs) {
    const auto movie = fileSystem.stateOf(job.input.path);
    const auto output = fileSystem.stateOf(job.output.path);
    movies.push_back(movie ? std::optional(movie->identity) : std::nullopt);
    outputs.push_back(output ? std::optional(output->identity) : std::nullopt);
  }
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    for (std::size_t j = 0; j < jobs.size() && jobs[i].refusal == Refusal::None; ++j) {
      if (outputs[i] && outputs[i] == movies[j]) {
        jobs[i].refusal = Refusal::OutputIsADroppedMovie;
      } else if (j < i && jobs[j].refusal == Refusal::None &&
                 (outputs[i] ? outputs[i] == outputs[j]
                             : fileSystem.nameOneNewFile(jobs[i].output.path, jobs[j].output.path))) {
        jobs[i].refusal = Refusal::OutputIsAnEarlierCopy;
        jobs[i].earlier = j;
      }
    }
  }
}

std::vector<Job> planJobs(const std::vector<Argument>& args, bool each) {
  // No argument, or not even the program's name (a bare exec): usage.
  if (args.size() <= 1) return {};
  // Several files dropped at once, or asked for each: each is a movie of its
  // own, and a second one must never be taken for the first one's output.
  if (each && args.size() > 2) {
    std::vector<Job> jobs;
    for (std::size_t i = 1; i < args.size(); ++i) jobs.push_back(underItsDefaultName(args[i]));
    return jobs;
  }
  if (args.size() == 3) return {Job{args[1], args[2], Job::Naming::Given}};
  return {underItsDefaultName(args[1])};
}

}  // namespace hush
