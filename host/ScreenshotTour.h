#pragma once

#include <QDir>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

class QWidget;

namespace tunnel::host {

class HostWindow;

// Opens every function's window in turn through the plug-in, and from the device list its
// editor, connection settings and sign properties for a message sign, and the others its menu
// offers (see childButtons); saves a picture of each
// (and of the host), closes it and goes on. Works on Qt's offscreen platform, without a display.
class ScreenshotTour {
public:
    ScreenshotTour(HostWindow& window, const QDir& folder);

    // Returns the files written.
    QStringList run();

private:
    void poll();
    void capture(QWidget& window);
    void openNextChild(QWidget& window);
    void save(QWidget& widget, const QString& name);

    HostWindow& window_;
    QDir folder_;
    QStringList written_;
    QTimer timer_;
    uint32_t code_ = 0;
    int shot_ = 0;
    QSet<QWidget*> captured_;
    QHash<QWidget*, QStringList> pendingButtons_;
    QWidget* clickingIn_ = nullptr;
    QTemporaryDir files_;  // where the register is exported to and imported from
};

}  // namespace tunnel::host
