// Which movies a run silences, and under which names.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "driver/refusal.h"
#include "platform/console.h"
#include "platform/file_system.h"

namespace hush {

// How the process was started: from a command prompt or a script, or by
// files dropped onto the program (a console of its own).
enum class Launch { FromAPrompt, Dropped };

// One movie to silence: the input as the user named it, and the output
// with how it got its name.
struct Job {
  enum class Naming { Given, Default };
  Argument input;
  Argument output;
  Naming naming = Naming::Default;
  Refusal refusal = Refusal::None;  // why the output must not be written
  std::size_t earlier = 0;          // the job whose output it is, for OutputIsAnEarlierCopy
  std::optional<std::size_t> sameMovieAs = std::nullopt;  // an earlier job of the same movie, which silences it
};

// The jobs the files ask for (files[0] the program), none for the usage.
// With `each` (dropped files, or --each) every file is a movie to silence
// under its default name; otherwise a second file names the output.
std::vector<Job> planJobs(const std::vector<Argument>& files, bool each);

// Looks at the movies of a drop (or of --each) before anything is written,
// with the file system deciding which names are one file: a movie named
// again is silenced once, and a movie whose output lands outside its
// folder, is another given movie, or is the output of a movie before it, is
// given a refusal. Nothing is ever written twice, and no given movie over.
void checkDrop(std::vector<Job>& jobs, FileSystem& fileSystem);

}  // namespace hush
