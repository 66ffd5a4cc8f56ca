#pragma once

#include "platform/ui/ErrorReport.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFont>

class QPushButton;

namespace tunnel::ui {

// The font every window was laid out for: 宋体 at 9 points (12 pixels at the 96 dots per inch
// the layouts assume), or a Song face with its metrics where 宋体 is not installed.
QFont designFont();

// A modal window of the module: named for tests and accessibility tools, with a fixed-size
// dialog border and the design font, centred on the screen of its owner unless it is placed at
// a design position; its show handler runs once when it first shows and its close handler when
// it closes; every handler runs inside the default error report. Keys as in a Windows desktop
// program: Escape closes only through a cancel button, Enter presses the focused button, else
// the default button, else nothing; the title bar shows exactly the caption.
class Form : public QDialog {
    Q_OBJECT
public:
    Form(const QString& objectName, const QString& caption, QWidget* owner);

    void setVisible(bool visible) override;

protected:
    // Runs once, when the window first shows.
    virtual void formShow() {}
    // Runs when the window closes with `result`; returning false keeps it open.
    virtual bool formClose(int result) {
        Q_UNUSED(result);
        return true;
    }

    void setClientSize(int width, int height);
    // A window an operator keeps open beside others (an overview on a wall display): sizable
    // down to `smallest`, maximisable, opening at its client size or the screen's available
    // area where that is smaller; the window lays itself out in resizeEvent.
    void allowResizing(QSize smallest);
    // The window's default (Enter) and cancel (Escape) buttons; without them Enter
    // presses only the focused button and Escape does nothing.
    void setDefaultButton(QPushButton* button) { defaultButton_ = button; }
    void setCancelButton(QPushButton* button) { cancelButton_ = button; }
    // Places the window at a fixed position of the screen instead of its centre.
    void setDesignPosition(int left, int top);

    // Runs `handler` (a member of the window) on every click of `button`, guarded.
    template <typename Window>
    void onClick(QAbstractButton* button, void (Window::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { guarded([&] { (static_cast<Window*>(this)->*handler)(); }); });
    }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

public:
    void done(int result) override;
    // Escape and reject() give the modal result Cancel (2), as the close box does.
    void reject() override;

private:
    void centreOnScreen();
    // Buttons take Enter only through keyPressEvent: none is the dialog's automatic default.
    void takeEnterFromButtons();

    bool shown_ = false;
    bool designPosition_ = false;
    QPushButton* defaultButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace tunnel::ui
