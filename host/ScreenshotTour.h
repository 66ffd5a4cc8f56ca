#pragma once

#include <QDir>
#include <QStringList>

namespace tunnel::host {

class HostWindow;

// Opens every function's window in turn through the plug-in, saves a picture of each (and of
// the host), closes it and goes on. Works on Qt's offscreen platform, without a display.
class ScreenshotTour {
public:
    ScreenshotTour(HostWindow& window, const QDir& folder);

    // Returns the files written.
    QStringList run();

private:
    void captureWindowsOf(uint32_t code);
    QString save(QWidget& widget, const QString& name);

    HostWindow& window_;
    QDir folder_;
    QStringList written_;
};

}  // namespace tunnel::host
