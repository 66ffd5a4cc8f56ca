#pragma once

#include <devicemgmt/frame.h>

#include <QString>

namespace tunnel::host {

// The device-management plug-in, loaded with dlopen and driven through its entry points.
class Plugin {
public:
    Plugin() = default;
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Returns an error text, or the empty text when the library and its three entry points
    // were found.
    QString load(const QString& path);
    void init(FrameWindow mainWindow);
    void setConnectionString(const QString& connectionString);
    void execFunc(uint32_t functionCode);

private:
    void* library_ = nullptr;
    void* self_ = nullptr;  // the executable, where the plug-in finds the callbacks
    decltype(&Frame_Init) init_ = nullptr;
    decltype(&Frame_SetAdoString) setAdoString_ = nullptr;
    decltype(&Frame_ExecFunc) execFunc_ = nullptr;
};

}  // namespace tunnel::host
