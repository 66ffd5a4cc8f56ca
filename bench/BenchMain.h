#pragma once

#include <functional>

namespace tunnel::bench {

// A benchmark program's main: an offscreen application, then `prepare` (the data made on the
// first run, and what loads once before anything is timed), then the benchmarks the command
// line names.
int runBenchmarks(int argc, char** argv, const std::function<void()>& prepare);

}  // namespace tunnel::bench
