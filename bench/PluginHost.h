#pragma once

#include <devicemgmt/frame.h>

#include <QString>

#include <benchmark/benchmark.h>

// The plug-in as a host loads it, for benchmarks: dlopen-ed, bound to the six callbacks that
// PluginHost.cpp exports from the benchmark program.
class LoadedPlugin {
public:
    LoadedPlugin();
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    void setConnectionString(const QString& connectionString);
    // Runs Frame_ExecFunc(code); a timer inside the window's modal loop paints the grid named
    // `grid` (the whole window when empty), stops the clock and closes the window. Returns the
    // nanoseconds from the call to the painted grid.
    qint64 execFuncToPaintedGrid(uint32_t code, const QString& grid);

    // Times Frame_ExecFunc(code) to the painted grid (or window) at every iteration of a
    // benchmark, with the peak memory it takes.
    void measureExecFunc(benchmark::State& state, uint32_t code, const QString& grid);

private:
    void* library_;
    void* self_;
    decltype(&Frame_SetAdoString) setAdoString_;
    decltype(&Frame_ExecFunc) execFunc_;
};
