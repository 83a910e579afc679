// A batch of inputs, converted one after another or, on posix systems, in forked worker
// processes: the converter keeps process-wide records of its runs (src/converter/), so
// each conversion gets a process of its own instead of a thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/progress_line.h"

// Converts input `index`; writes its report lines to `report` (null for none), sets
// `equations` to the number of equation objects it met and returns an exit code.
using ConvertInput = std::function<int(std::size_t index, std::FILE* report, std::uint64_t& equations)>;

// Converts every input, with up to `jobs` at a time. What a worker writes to standard
// error and its report lines are held back and written in input order, each input's as
// one block, so that a parallel batch says what a sequential one says. `report` is
// standard error, a file or null. Returns the worst (highest) exit code of the inputs.
int runBatch(const std::vector<std::string>& names, unsigned jobs, std::FILE* report,
             ProgressLine& progress, const ConvertInput& convert);

// The number of workers a batch uses without -j: the number of processors.
unsigned defaultJobs();
