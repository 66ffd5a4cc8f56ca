#pragma once

#include <functional>

class QDialog;

namespace tunnel::ui {

enum ModalResult { mrNone = 0, mrOK = 1, mrCancel = 2 };

// Drives a modal window in place of its event loop and returns its modal result; tests install
// one so that nested windows need no timers.
using ModalScript = std::function<int(QDialog&)>;

// Installs a script and returns the one it replaces (an empty one means the real loop).
ModalScript setModalScript(ModalScript script);

// Shows the window modally and returns its modal result (the close box gives mrCancel).
int runModal(QDialog& dialog);

}  // namespace tunnel::ui
