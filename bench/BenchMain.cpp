#include "BenchMain.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace tunnel::bench {

int runBenchmarks(int argc, char** argv, const std::function<void()>& prepare) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace tunnel::bench
