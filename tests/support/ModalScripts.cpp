#include "support/ModalScripts.h"

#include <QDialog>

namespace tunnel::test {

ModalScripts::ModalScripts()
    : previous_(ui::setModalScript([this](QDialog& dialog) { return run(dialog); })) {}

ModalScripts::~ModalScripts() {
    ui::setModalScript(std::move(previous_));
}

void ModalScripts::expect(const QString& objectName, Step step) {
    steps_.emplace_back(objectName, std::move(step));
}

int ModalScripts::run(QDialog& dialog) {
    shown_.append(dialog.objectName());
    if (steps_.empty() || steps_.front().first != dialog.objectName()) {
        unexpected_.append(dialog.objectName());
        return ui::mrCancel;
    }
    Step step = std::move(steps_.front().second);
    steps_.pop_front();
    return step(dialog);
}

}  // namespace tunnel::test
