#pragma once

#include "support/Printers.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <deque>
#include <functional>

class QDialog;
class QMessageBox;

namespace tunnel::test {

// Drives real modal windows and message boxes from inside their own event loops, as a user at
// the screen would: for windows shown by a module this test cannot reach into (a plug-in
// loaded with dlopen keeps its own message presenter and modal runner).
class ModalDriver : public QObject {
    Q_OBJECT
public:
    struct Box {
        QString text;
        QString caption;
        unsigned flags;  // the message box flags the box was shown with
        QStringList buttons;
    };
    using WindowStep = std::function<void(QDialog&)>;

    ModalDriver();
    ~ModalDriver() override;

    // Answers the next message box with this button (a QMessageBox::StandardButton); boxes
    // without an answer get their default button.
    void answer(int standardButton) { answers_.push_back(standardButton); }
    // Drives the next window named `objectName`, modal or kept open beside the host's; the step
    // must close it.
    void expectWindow(const QString& objectName, WindowStep step);

    const QVector<Box>& boxes() const { return boxes_; }
    QStringList boxTexts() const;
    const QStringList& windows() const { return windows_; }
    void clear();

private:
    void poll();
    void handleBox(QMessageBox& box);
    void handleWindow(QDialog& dialog);

    QTimer timer_;
    std::deque<int> answers_;
    std::deque<std::pair<QString, WindowStep>> steps_;
    QVector<Box> boxes_;
    QStringList windows_;
    QList<QPointer<QWidget>> handled_;  // windows taken care of while they stay open
};

}  // namespace tunnel::test
