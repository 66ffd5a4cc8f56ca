#include "platform/ui/Form.h"

#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include "platform/ui/ExactCaption.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace tunnel::ui {

QFont designFont() {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN")});
    font.setPixelSize(12);
    return font;
}

Form::Form(const QString& objectName, const QString& caption, QWidget* owner) : QDialog(owner) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(designFont());
}

void Form::setClientSize(int width, int height) {
    setFixedSize(width, height);
}

void Form::allowResizing(QSize smallest) {
    const QSize designed = size();
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinMaxButtonsHint);
    setMinimumSize(smallest);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
    QSize available = screen != nullptr ? screen->availableGeometry().size() : designed;
    // The frame around the client area: its title bar and borders are the window manager's.
    available -= QSize(16, 40);
    resize(designed.boundedTo(available).expandedTo(smallest));
}

void Form::setDesignPosition(int left, int top) {
    designPosition_ = true;
    move(left, top);
}

void Form::setVisible(bool visible) {
    // Placed before showing: an owned dialog would otherwise be centred over its owner by Qt.
    if (visible && !isVisible()) {
        attachToForeignApplicationWindow(*this);
        if (!designPosition_) {
            centreOnScreen();
        }
    }
    if (visible && !isVisible()) {
        takeEnterFromButtons();
        const ExactCaption caption;
        QDialog::setVisible(true);
        return;
    }
    QDialog::setVisible(visible);
}

void Form::takeEnterFromButtons() {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(button == defaultButton_);
    }
}

void Form::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            if (cancelButton_ != nullptr && cancelButton_->isEnabled()) {
                cancelButton_->click();
            }
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            QPushButton* pressed = focused != nullptr ? focused : defaultButton_;
            if (pressed != nullptr && pressed->isEnabled() && pressed->isVisible()) {
                pressed->click();
            }
            event->accept();
            return;
        }
        default:
            QDialog::keyPressEvent(event);
    }
}

void Form::centreOnScreen() {
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}

void Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        guarded([this] { formShow(); });
    }
}

void Form::closeEvent(QCloseEvent* event) {
    // The close box closes with Cancel, through the same close handler as the buttons.
    event->ignore();
    done(mrCancel);
}

void Form::reject() {
    done(mrCancel);
}

void Form::done(int result) {
    bool mayClose = true;
    guarded([&] { mayClose = formClose(result); });
    if (mayClose) {
        QDialog::done(result);
    }
}

}  // namespace tunnel::ui
