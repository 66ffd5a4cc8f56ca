#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace tunnel::test {
namespace {

// The answer buttons in the order they were added (the details button left out).
QStringList labelsOf(const QMessageBox& box) {
    QStringList labels;
    for (QAbstractButton* button : box.buttons()) {
        if (box.buttonRole(button) != QMessageBox::ActionRole)
            labels.append(button->text());
    }
    return labels;
}

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
    const QStringList buttons = labelsOf(box);
    if (buttons == QStringList{QStringLiteral("确定"), QStringLiteral("取消")})
        flags |= 0x01;
    else if (buttons == QStringList{QStringLiteral("中止(&A)"), QStringLiteral("重试(&R)"),
                                    QStringLiteral("忽略(&I)")})
        flags |= 0x02;
    else if (buttons == QStringList{QStringLiteral("是(&Y)"), QStringLiteral("否(&N)"),
                                    QStringLiteral("取消")})
        flags |= 0x03;
    else if (buttons == QStringList{QStringLiteral("是(&Y)"), QStringLiteral("否(&N)")})
        flags |= 0x04;
    else if (buttons == QStringList{QStringLiteral("重试(&R)"), QStringLiteral("取消")})
        flags |= 0x05;
    return flags;
}

// The label the module's boxes give a standard button, as on a Chinese desktop.
QString labelOf(int standardButton) {
    switch (standardButton) {
        case QMessageBox::Ok:
            return QStringLiteral("确定");
        case QMessageBox::Cancel:
            return QStringLiteral("取消");
        case QMessageBox::Yes:
            return QStringLiteral("是(&Y)");
        case QMessageBox::No:
            return QStringLiteral("否(&N)");
        case QMessageBox::Abort:
            return QStringLiteral("中止(&A)");
        case QMessageBox::Retry:
            return QStringLiteral("重试(&R)");
        case QMessageBox::Ignore:
            return QStringLiteral("忽略(&I)");
        default:
            return {};
    }
}

QAbstractButton* buttonLabelled(const QMessageBox& box, const QString& label) {
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == label)
            return button;
    }
    return nullptr;
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
    if (modal == nullptr && !steps_.empty()) {
        // A window kept open beside the host's (not modal), driven as its step names it.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr &&
                widget->objectName() == steps_.front().first && !handled_.contains(widget))
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
    boxes_.append({box.text(), box.windowTitle(), flagsOf(box), labelsOf(box)});
    QAbstractButton* button = box.defaultButton();
    if (!answers_.empty()) {
        button = buttonLabelled(box, labelOf(answers_.front()));
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
