#include "driver/job_plan.h"

#include <optional>

#include "driver/output_name.h"

namespace hush {
namespace {

Job underItsDefaultName(const Argument& input) {
  return Job{input, Argument{deriveOutputName(input.text), deriveOutputName(input.path)}, Job::Naming::Default};
}

// A default name is cut at the last dot, which may lie in a folder's name:
// then the output does not begin with the movie's folder.
bool inItsMovieFolder(const Job& job) {
  const auto separator = job.input.path.find_last_of(kPathSeparators);
  const std::size_t folder = separator == Path::npos ? 0 : separator + 1;
  return job.output.path.compare(0, folder, job.input.path, 0, folder) == 0;
}

// What the plan knows of every movie and output, in the file system's terms.
struct Names {
  std::vector<FileName> all;  // the movies, then their outputs
  std::size_t jobs;
  const FileName& movie(std::size_t i) const { return all[i]; }
  const FileName& output(std::size_t i) const { return all[jobs + i]; }
};

// Why job i's output must not be written, given the movies and the jobs
// before it; the earlier job whose output it is goes in `earlier`.
Refusal refusalOf(std::vector<Job>& jobs, std::size_t i, const Names& names) {
  if (!inItsMovieFolder(jobs[i])) return Refusal::OutputOutsideItsFolder;
  for (std::size_t j = 0; j < jobs.size(); ++j) {
    if (nameOneFile(names.output(i), names.movie(j))) return Refusal::OutputIsADroppedMovie;
  }
  for (std::size_t j = 0; j < i; ++j) {
    const bool written = jobs[j].refusal == Refusal::None && !jobs[j].sameMovieAs;
    if (written && nameOneFile(names.output(i), names.output(j))) {
      jobs[i].earlier = j;
      return Refusal::OutputIsAnEarlierCopy;
    }
  }
  return Refusal::None;
}

}  // namespace

void checkDrop(std::vector<Job>& jobs, FileSystem& fileSystem) {
  // Each output where the save puts it: a link is followed to its file.
  std::vector<Path> paths;
  for (const Job& job : jobs) paths.push_back(job.input.path);
  for (const Job& job : jobs) paths.push_back(fileSystem.resolveLinks(job.output.path).value_or(job.output.path));
  const Names names{fileSystem.namesOf(paths), jobs.size()};
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    for (std::size_t j = 0; j < i && !jobs[i].sameMovieAs; ++j) {
      if (!jobs[j].sameMovieAs && nameOneFile(names.movie(i), names.movie(j))) jobs[i].sameMovieAs = j;
    }
    if (!jobs[i].sameMovieAs) jobs[i].refusal = refusalOf(jobs, i, names);
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
