#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace tunnel::ui {
namespace {

MessagePresenter& presenter() {
    static MessagePresenter current;
    return current;
}

QPointer<QWidget>& ownerWindow() {
    static QPointer<QWidget> window;
    return window;
}

QMessageBox::Icon iconOf(unsigned flags) {
    switch (flags & 0xF0U) {
        case mb::IconStop:
            return QMessageBox::Critical;
        case mb::IconQuestion:
            return QMessageBox::Question;
        case mb::IconWarning:
            return QMessageBox::Warning;
        case mb::IconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

struct ButtonSet {
    QVector<QPair<QMessageBox::StandardButton, int>> buttons;
    QMessageBox::StandardButton escape;
};

ButtonSet buttonsOf(unsigned flags) {
    using B = QMessageBox;
    switch (flags & 0x0FU) {
        case mb::OkCancel:
            return {{{B::Ok, IdOk}, {B::Cancel, IdCancel}}, B::Cancel};
        case mb::AbortRetryIgnore:
            return {{{B::Abort, IdAbort}, {B::Retry, IdRetry}, {B::Ignore, IdIgnore}}, B::NoButton};
        case mb::YesNoCancel:
            return {{{B::Yes, IdYes}, {B::No, IdNo}, {B::Cancel, IdCancel}}, B::Cancel};
        case mb::YesNo:
            return {{{B::Yes, IdYes}, {B::No, IdNo}}, B::NoButton};
        case mb::RetryCancel:
            return {{{B::Retry, IdRetry}, {B::Cancel, IdCancel}}, B::Cancel};
        default:
            return {{{B::Ok, IdOk}}, B::Ok};
    }
}

int showRealBox(const MessageRequest& request) {
    QMessageBox box(iconOf(request.flags), request.caption, request.text, QMessageBox::NoButton,
                    request.owner);
    const ButtonSet set = buttonsOf(request.flags);
    for (const auto& button : set.buttons) {
        box.addButton(button.first);
    }
    box.setDefaultButton(set.buttons.front().first);
    if (set.escape != QMessageBox::NoButton) {
        box.setEscapeButton(set.escape);
    }
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& button : set.buttons) {
        if (button.first == pressed) {
            return button.second;
        }
    }
    return IdCancel;
}

}  // namespace

MessagePresenter setMessagePresenter(MessagePresenter replacement) {
    MessagePresenter previous = std::move(presenter());
    presenter() = std::move(replacement);
    return previous;
}

int messageBox(const QString& text, const QString& caption, unsigned flags, QWidget* owner) {
    const MessageRequest request{text, caption, flags, owner ? owner : applicationWindow()};
    if (presenter()) {
        return presenter()(request);
    }
    return showRealBox(request);
}

void showMessage(const QString& text, QWidget* owner) {
    messageBox(text, applicationTitle(), mb::Ok, owner);
}

void setApplicationWindow(QWidget* window) {
    ownerWindow() = window;
}

QWidget* applicationWindow() {
    return ownerWindow().data();
}

QString applicationTitle() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QApplication::applicationName() : name;
}

}  // namespace tunnel::ui
