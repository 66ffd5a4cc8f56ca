#pragma once

#include <QMainWindow>

class QLabel;

namespace tunnel::host {

class Plugin;

// The host's main window: a menu and a toolbar entry per function code of the plug-in.
class HostWindow : public QMainWindow {
    Q_OBJECT
public:
    HostWindow(Plugin& plugin, const QString& databaseDescription);

    void runFunction(uint32_t code);

private:
    Plugin& plugin_;
    QLabel* status_;
};

}  // namespace tunnel::host
