#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace tunnel::test {
namespace {

unsigned flagsOf(const QMessageBox& box) {
    unsigned flags = 0;
    switch (box.icon()) {
        case QMessageBox::Critical:
            flags |= 0x10;
            break;
        case QMessageBox::Question:
            flags |= 0x20;
            break;
        case QMessageBox::Warning:
            flags |= 0x30;
            break;
        case QMessageBox::Information:
            flags |= 0x40;
            break;
        default:
            break;
    }
    const auto buttons = box.standardButtons();
    if (buttons == (QMessageBox::Ok | QMessageBox::Cancel))
        flags |= 0x01;
    else if (buttons == (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel))
        flags |= 0x03;
    else if (buttons == (QMessageBox::Yes | QMessageBox::No))
        flags |= 0x04;
    return flags;
}

}  // namespace

ModalDriver::ModalDriver() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalDriver::poll);
    timer_.start();
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::expectWindow(const QString& objectName, WindowStep step) {
    steps_.emplace_back(objectName, std::move(step));
}

QStringList ModalDriver::boxTexts() const {
    QStringList texts;
    for (const Box& box : boxes_)
        texts.append(box.text);
    return texts;
}

void ModalDriver::clear() {
    boxes_.clear();
    windows_.clear();
}

void ModalDriver::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->isModal())
                modal = widget;
        }
    }
    if (modal == nullptr || !modal->isVisible() || handled_.contains(modal))
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        handleBox(*box);
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        handleWindow(*dialog);
    }
}

void ModalDriver::handleBox(QMessageBox& box) {
    boxes_.append({box.text(), box.windowTitle(), flagsOf(box)});
    QAbstractButton* button = box.defaultButton();
    if (!answers_.empty()) {
        button = box.button(static_cast<QMessageBox::StandardButton>(answers_.front()));
        answers_.pop_front();
    }
    if (button == nullptr && !box.buttons().isEmpty())
        button = box.buttons().front();
    if (button != nullptr)
        button->click();
}

void ModalDriver::handleWindow(QDialog& dialog) {
    windows_.append(dialog.objectName());
    handled_.removeAll(nullptr);
    handled_.append(&dialog);
    WindowStep step;
    if (!steps_.empty() && steps_.front().first == dialog.objectName()) {
        step = std::move(steps_.front().second);
        steps_.pop_front();
    }
    // Run outside this timer's callback, so that the timer goes on answering the message boxes
    // the step brings up (a timer does not fire again while its own callback runs).
    QTimer::singleShot(0, this, [this, guard = QPointer<QDialog>(&dialog), step] {
        if (guard != nullptr && step)
            step(*guard);
        if (guard != nullptr && guard->isVisible())
            guard->reject();
    });
}

}  // namespace tunnel::test
