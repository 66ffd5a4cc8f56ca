#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class QWidget;

namespace tunnel::ui {

// Message box flags and button ids with the values the installation's other programs use.
namespace mb {
constexpr unsigned Ok = 0x00;
constexpr unsigned OkCancel = 0x01;
constexpr unsigned AbortRetryIgnore = 0x02;
constexpr unsigned YesNoCancel = 0x03;
constexpr unsigned YesNo = 0x04;
constexpr unsigned RetryCancel = 0x05;
constexpr unsigned IconStop = 0x10;
constexpr unsigned IconQuestion = 0x20;
constexpr unsigned IconWarning = 0x30;
constexpr unsigned IconInformation = 0x40;
}  // namespace mb

enum ButtonId {
    IdOk = 1,
    IdCancel = 2,
    IdAbort = 3,
    IdRetry = 4,
    IdIgnore = 5,
    IdYes = 6,
    IdNo = 7
};

struct MessageRequest {
    QString text;
    QString caption;
    unsigned flags = 0;
    QWidget* owner = nullptr;
    // For whoever supports the operators (the statement that failed, say): behind the box's
    // details button, never in its main text.
    QString details = {};
};

// Shows the request and returns the id of the button pressed. Tests put a recorder in place.
using MessagePresenter = std::function<int(const MessageRequest&)>;

// Installs a presenter and returns the one it replaces (an empty one means the real boxes).
MessagePresenter setMessagePresenter(MessagePresenter presenter);

// A message box owned by `owner`, or by the application window when none is given.
int messageBox(const QString& text, const QString& caption, unsigned flags,
               QWidget* owner = nullptr);
int messageBox(const MessageRequest& request);

// The plain message: OK button, no icon, captioned with the application's title.
void showMessage(const QString& text, QWidget* owner = nullptr);

// The window that owns the module's windows and message boxes (the host's main window).
void setApplicationWindow(QWidget* window);
QWidget* applicationWindow();

// A host window of another toolkit (no QWidget of this process): the module's top-level windows
// and boxes are made transient for it where the platform can represent a foreign window (X11).
// 0 forgets it.
void setForeignApplicationWindow(quintptr nativeId);
// Makes a window without an owner transient for the foreign host window, if there is one.
void attachToForeignApplicationWindow(QWidget& window);

QString applicationTitle();

}  // namespace tunnel::ui
