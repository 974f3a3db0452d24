#include "driver/job_plan.h"

#include <optional>

#include "driver/output_name.h"

namespace hush {
namespace {

Job underItsDefaultName(const Argument& input) {
  return Job{input, Argument{deriveOutputName(input.text), deriveOutputName(input.path)}, Job::Naming::Default};
}

// The folder part of a path: up to its last separator.
std::size_t folderLength(const Path& path) {
  const auto at = path.find_last_of(kPathSeparators);
  return at == Path::npos ? 0 : at + 1;
}

// A default name is cut at the last dot, which may lie in a folder's name.
bool inItsMovieFolder(const Job& job) {
  const std::size_t length = folderLength(job.input.path);
  return folderLength(job.output.path) == length && job.output.path.compare(0, length, job.input.path, 0, length) == 0;
}

}  // namespace

void checkDrop(std::vector<Job>& jobs, FileSystem& fileSystem) {
  // Each output where the save puts it: a link is followed to its file.
  std::vector<Path> paths;
  for (const Job& job : jobs) paths.push_back(job.input.path);
  for (const Job& job : jobs) paths.push_back(fileSystem.resolveLinks(job.output.path).value_or(job.output.path));
  const std::vector<FileName> names = fileSystem.namesOf(paths);
  const auto movie = [&](std::size_t i) -> const FileName& { return names[i]; };
  const auto output = [&](std::size_t i) -> const FileName& { return names[jobs.size() + i]; };
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    Job& job = jobs[i];
    for (std::size_t j = 0; j < i && !job.sameMovieAs; ++j) {
      if (!jobs[j].sameMovieAs && nameOneFile(movie(i), movie(j))) job.sameMovieAs = j;
    }
    if (job.sameMovieAs) continue;
    if (!inItsMovieFolder(job)) job.refusal = Refusal::OutputOutsideItsFolder;
    for (std::size_t j = 0; j < jobs.size() && job.refusal == Refusal::None; ++j) {
      if (nameOneFile(output(i), movie(j))) job.refusal = Refusal::OutputIsADroppedMovie;
    }
    for (std::size_t j = 0; j < i && job.refusal == Refusal::None; ++j) {
      if (jobs[j].refusal == Refusal::None && !jobs[j].sameMovieAs && nameOneFile(output(i), output(j))) {
        job.refusal = Refusal::OutputIsAnEarlierCopy;
        job.earlier = j;
      }
    }
  }
}

std::vector<Job> planJobs(const std::vector<Argument>& args, bool each) {
  // No argument, or not even the program's name (a bare exec): usage.
  if (args.size() <= 1) return {};
  // Several files dropped at once, or asked for each: each is a movie of its
  // own, and a second one must never be taken for the first one's output.
  if (each) {
    std::vector<Job> jobs;
    for (std::size_t i = 1; i < args.size(); ++i) jobs.push_back(underItsDefaultName(args[i]));
    return jobs;
  }
  if (args.size() == 3) return {Job{args[1], args[2], Job::Naming::Given}};
  return {underItsDefaultName(args[1])};
}

}  // namespace hush
