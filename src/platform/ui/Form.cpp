#include "platform/ui/Form.h"

#include "platform/ui/Modal.h"

#include <QCloseEvent>

namespace tunnel::ui {

Form::Form(const QString& objectName, const QString& caption, QWidget* owner) : QDialog(owner) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
}

void Form::setClientSize(int width, int height) {
    setFixedSize(width, height);
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
