#include "PluginHost.h"

#include "PeakMemory.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <dlfcn.h>

LoadedPlugin::LoadedPlugin()
    : library_(dlopen(DEVICEMGMT_PATH, RTLD_NOW | RTLD_LOCAL)), self_(dlopen(nullptr, RTLD_NOW)) {
    const auto init = reinterpret_cast<decltype(&Frame_Init)>(dlsym(library_, "Frame_Init"));
    setAdoString_ =
        reinterpret_cast<decltype(&Frame_SetAdoString)>(dlsym(library_, "Frame_SetAdoString"));
    execFunc_ = reinterpret_cast<decltype(&Frame_ExecFunc)>(dlsym(library_, "Frame_ExecFunc"));
    init(0, self_, 0, 0);
}

LoadedPlugin::~LoadedPlugin() {
    dlclose(library_);
    dlclose(self_);
}

void LoadedPlugin::measureExecFunc(benchmark::State& state, uint32_t code, const QString& grid) {
    qint64 before = 0;
    for (auto _ : state) {
        state.PauseTiming();
        before = residentKiB();
        resetPeakMemory();
        const qint64 elapsedNs = execFuncToPaintedGrid(code, grid);
        state.SetIterationTime(static_cast<double>(elapsedNs) / 1e9);
        state.ResumeTiming();
    }
    reportPeak(state, before);
}

void LoadedPlugin::setConnectionString(const QString& connectionString) {
    setAdoString_(connectionString.toUtf8().constData());
}

qint64 LoadedPlugin::execFuncToPaintedGrid(uint32_t code, const QString& grid) {
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    QTimer paint;
    paint.setInterval(0);
    QObject::connect(&paint, &QTimer::timeout, [&] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (window == nullptr)
            return;
        paint.stop();
        benchmark::DoNotOptimize(grid.isEmpty() ? window->grab()
                                                : window->findChild<QTableView*>(grid)->grab());
        elapsedNs = clock.nsecsElapsed();
        window->reject();
    });
    paint.start();
    clock.start();
    execFunc_(code);
    return elapsedNs;
}

// The host's callbacks, looked up by the plug-in in this executable.
extern "C" {
FRAME_EXPORT int32_t FRAME_CALL Frame_ExecSqlCmd(const char*) {
    return 1;
}
FRAME_EXPORT FrameWindow FRAME_CALL Frame_GetMainHandle(void) {
    return 0;
}
FRAME_EXPORT int32_t FRAME_CALL Frame_HaveRight(int32_t) {
    return 1;
}
FRAME_EXPORT void* FRAME_CALL Frame_GetImageByID(int32_t) {
    return nullptr;
}
FRAME_EXPORT void FRAME_CALL Frame_AddSystemLog(const char*) {}
FRAME_EXPORT const char* FRAME_CALL Frame_GetWorkPath(void) {
    return "/tmp";
}
}
