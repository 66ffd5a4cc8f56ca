#include "platform/ui/Modal.h"

#include <QDialog>

namespace tunnel::ui {
namespace {

ModalScript& script() {
    static ModalScript current;
    return current;
}

}  // namespace

ModalScript setModalScript(ModalScript replacement) {
    ModalScript previous = std::move(script());
    script() = std::move(replacement);
    return previous;
}

int runModal(QDialog& dialog) {
    if (!script()) {
        return dialog.exec();
    }
    dialog.setResult(mrNone);
    dialog.show();
    const int result = script()(dialog);
    if (dialog.isVisible()) {
        dialog.done(result);
    }
    if (dialog.isVisible()) {
        // The window refused to close; a script has no user left to correct it.
        dialog.hide();
    }
    return dialog.result();
}

}  // namespace tunnel::ui
