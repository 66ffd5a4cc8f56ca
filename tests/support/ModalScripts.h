#pragma once

#include "platform/ui/Modal.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class QDialog;

namespace tunnel::test {

// Drives the modal windows a test opens, in order: each expected window is named by its
// objectName and handled by a step that returns the modal result it wants. A window nobody
// expected is closed with mrCancel and noted, so a test sees it instead of hanging.
class ModalScripts {
public:
    using Step = std::function<int(QDialog&)>;

    ModalScripts();
    ~ModalScripts();
    ModalScripts(const ModalScripts&) = delete;
    ModalScripts& operator=(const ModalScripts&) = delete;

    void expect(const QString& objectName, Step step);
    const QStringList& unexpected() const { return unexpected_; }
    const QStringList& shown() const { return shown_; }
    bool allUsed() const { return steps_.empty(); }

private:
    int run(QDialog& dialog);

    std::deque<std::pair<QString, Step>> steps_;
    QStringList unexpected_;
    QStringList shown_;
    ui::ModalScript previous_;
};

}  // namespace tunnel::test
