#pragma once

#include "platform/ui/ErrorReport.h"

#include <QAbstractButton>
#include <QDialog>

namespace tunnel::ui {

// A modal window of the module: named for tests and accessibility tools, with a fixed-size
// dialog border, its show handler run once when it first shows and its close handler when it
// closes; every handler runs inside the default error report.
class Form : public QDialog {
    Q_OBJECT
public:
    Form(const QString& objectName, const QString& caption, QWidget* owner);

protected:
    // Runs once, when the window first shows.
    virtual void formShow() {}
    // Runs when the window closes with `result`; returning false keeps it open.
    virtual bool formClose(int result) {
        Q_UNUSED(result);
        return true;
    }

    void setClientSize(int width, int height);

    // Runs `handler` (a member of the window) on every click of `button`, guarded.
    template <typename Window>
    void onClick(QAbstractButton* button, void (Window::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { guarded([&] { (static_cast<Window*>(this)->*handler)(); }); });
    }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public:
    void done(int result) override;
    // Escape and reject() give the modal result Cancel (2), as the close box does.
    void reject() override;

private:
    bool shown_ = false;
};

}  // namespace tunnel::ui
