#include "platform/ui/MessageBox.h"

#include "platform/ui/ExactCaption.h"
#include "platform/ui/Form.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>
#include <QWindow>

#include <memory>

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

std::unique_ptr<QWindow>& foreignOwner() {
    static std::unique_ptr<QWindow> window;
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

struct Button {
    const char16_t* text;
    QMessageBox::ButtonRole role;
    int id;
};

// The buttons as a Chinese Windows desktop labels them, whatever language Qt speaks.
const Button kOk{u"确定", QMessageBox::AcceptRole, IdOk};
const Button kCancel{u"取消", QMessageBox::RejectRole, IdCancel};
const Button kYes{u"是(&Y)", QMessageBox::YesRole, IdYes};
const Button kNo{u"否(&N)", QMessageBox::NoRole, IdNo};
const Button kAbort{u"中止(&A)", QMessageBox::RejectRole, IdAbort};
const Button kRetry{u"重试(&R)", QMessageBox::AcceptRole, IdRetry};
const Button kIgnore{u"忽略(&I)", QMessageBox::AcceptRole, IdIgnore};

struct ButtonSet {
    QVector<Button> buttons;
    // The button Escape and the close box press; -1 where the set has none to press.
    int escapeIndex;
};

ButtonSet buttonsOf(unsigned flags) {
    switch (flags & 0x0FU) {
        case mb::OkCancel:
            return {{kOk, kCancel}, 1};
        case mb::AbortRetryIgnore:
            return {{kAbort, kRetry, kIgnore}, -1};
        case mb::YesNoCancel:
            return {{kYes, kNo, kCancel}, 2};
        case mb::YesNo:
            return {{kYes, kNo}, -1};
        case mb::RetryCancel:
            return {{kRetry, kCancel}, 1};
        default:
            return {{kOk}, 0};
    }
}

// Room the window manager takes from a title bar for its own buttons and margins.
constexpr int kTitleBarButtons = 120;

// A short text makes a narrow box, whose title the window manager cuts to "…" ("共 12 条"
// under the installation's name): the box is kept as wide as its caption needs.
void keepCaptionWhole(QMessageBox& box, const QString& caption) {
    auto* layout = qobject_cast<QGridLayout*>(box.layout());
    if (layout == nullptr) {
        return;
    }
    const int width = QFontMetrics(box.font()).horizontalAdvance(caption) + kTitleBarButtons;
    layout->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                    layout->rowCount(), 0, 1, layout->columnCount());
}

int showRealBox(const MessageRequest& request) {
    QMessageBox box(iconOf(request.flags), request.caption, request.text, QMessageBox::NoButton,
                    request.owner);
    box.setDetailedText(request.details);
    box.setFont(designFont());  // the windows' one font, not the desktop's
    if (request.owner == nullptr) {
        attachToForeignApplicationWindow(box);
    }
    const ButtonSet set = buttonsOf(request.flags);
    QVector<QPushButton*> pushButtons;
    for (const Button& button : set.buttons) {
        pushButtons.append(box.addButton(QString::fromUtf16(button.text), button.role));
    }
    keepCaptionWhole(box, request.caption);
    box.setDefaultButton(pushButtons.front());
    if (set.escapeIndex >= 0) {
        box.setEscapeButton(pushButtons[set.escapeIndex]);
    }
    {
        const ExactCaption caption;
        box.exec();
    }
    const auto pressed = pushButtons.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    return pressed >= 0 ? set.buttons[pressed].id : IdCancel;
}

}  // namespace

MessagePresenter setMessagePresenter(MessagePresenter replacement) {
    MessagePresenter previous = std::move(presenter());
    presenter() = std::move(replacement);
    return previous;
}

int messageBox(const MessageRequest& request) {
    MessageRequest owned = request;
    if (owned.owner == nullptr) {
        owned.owner = applicationWindow();
    }
    if (presenter()) {
        return presenter()(owned);
    }
    return showRealBox(owned);
}

int messageBox(const QString& text, const QString& caption, unsigned flags, QWidget* owner) {
    return messageBox(MessageRequest{text, caption, flags, owner});
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

void setForeignApplicationWindow(quintptr nativeId) {
    foreignOwner().reset();
    // Only X11 represents another toolkit's window; elsewhere Qt refuses with a warning.
    if (nativeId != 0 && QGuiApplication::platformName() == u"xcb") {
        foreignOwner().reset(QWindow::fromWinId(static_cast<WId>(nativeId)));
    }
}

void attachToForeignApplicationWindow(QWidget& window) {
    if (foreignOwner() == nullptr || window.parentWidget() != nullptr) {
        return;
    }
    window.winId();  // gives the window its native handle
    if (QWindow* handle = window.windowHandle()) {
        handle->setTransientParent(foreignOwner().get());
    }
}

QString applicationTitle() {
    const QString held = displayNameWhileEmptied();
    if (!held.isEmpty()) {
        return held;
    }
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QApplication::applicationName() : name;
}

}  // namespace tunnel::ui
