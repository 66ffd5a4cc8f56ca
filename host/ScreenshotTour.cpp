#include "ScreenshotTour.h"

#include "Functions.h"
#include "HostWindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace tunnel::host {
namespace {

constexpr int kSettleMs = 300;  // lets a window load and paint its rows before the picture

QWidget* openModalWindow() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr)
            return widget;
    }
    return nullptr;
}

void settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kSettleMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace

ScreenshotTour::ScreenshotTour(HostWindow& window, const QDir& folder)
    : window_(window), folder_(folder) {}

QString ScreenshotTour::save(QWidget& widget, const QString& name) {
    const QString file = folder_.filePath(name + QStringLiteral(".png"));
    if (widget.grab().save(file)) {
        written_.append(file);
    }
    return file;
}

void ScreenshotTour::captureWindowsOf(uint32_t code) {
    // The plug-in's window runs its own modal loop inside execFunc; this timer reaches into it.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QPointer<QWidget> window = openModalWindow();
        if (window == nullptr)
            return;
        poll.stop();
        settle();
        if (window == nullptr)
            return;
        save(*window,
             QStringLiteral("%1-%2").arg(code, 2, 10, QChar(u'0')).arg(window->objectName()));
        if (auto* dialog = qobject_cast<QDialog*>(window.data())) {
            dialog->reject();
        } else {
            window->close();
        }
    });
    poll.start();
    window_.runFunction(code);
}

QStringList ScreenshotTour::run() {
    folder_.mkpath(QStringLiteral("."));
    window_.show();
    settle();
    save(window_, QStringLiteral("00-host"));
    for (const Function& function : pluginFunctions()) {
        captureWindowsOf(function.code);
    }
    return written_;
}

}  // namespace tunnel::host
