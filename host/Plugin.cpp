#include "Plugin.h"

#include "platform/text/Gbk.h"

#include <dlfcn.h>

namespace tunnel::host {

Plugin::~Plugin() {
    if (library_ != nullptr)
        dlclose(library_);
    if (self_ != nullptr)
        dlclose(self_);
}

QString Plugin::load(const QString& path) {
    library_ = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        return QStringLiteral("无法加载插件 %1：%2").arg(path, QString::fromLocal8Bit(dlerror()));
    }
    init_ = reinterpret_cast<decltype(init_)>(dlsym(library_, "Frame_Init"));
    setAdoString_ =
        reinterpret_cast<decltype(setAdoString_)>(dlsym(library_, "Frame_SetAdoString"));
    execFunc_ = reinterpret_cast<decltype(execFunc_)>(dlsym(library_, "Frame_ExecFunc"));
    if (init_ == nullptr || setAdoString_ == nullptr || execFunc_ == nullptr) {
        return QStringLiteral("插件 %1 缺少 Frame_Init、Frame_SetAdoString 或 Frame_ExecFunc。")
            .arg(path);
    }
    return {};
}

void Plugin::init(FrameWindow mainWindow) {
    // The callbacks are looked up in the executable, which exports them.
    if (self_ == nullptr)
        self_ = dlopen(nullptr, RTLD_NOW);
    init_(mainWindow, self_, 0, 0);
}

void Plugin::setConnectionString(const QString& connectionString) {
    setAdoString_(text::toGbk(connectionString).constData());
}

void Plugin::execFunc(uint32_t functionCode) {
    execFunc_(functionCode);
}

}  // namespace tunnel::host
