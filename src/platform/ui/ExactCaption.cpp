#include "platform/ui/ExactCaption.h"

#include <QGuiApplication>

namespace tunnel::ui {
namespace {

// The display name the outermost ExactCaption emptied: the application's title meanwhile.
QString& heldDisplayName() {
    static QString name;
    return name;
}

int& depth() {
    static int count = 0;
    return count;
}

}  // namespace

QString displayNameWhileEmptied() {
    return heldDisplayName();
}

// Qt answers the application's name for a display name nobody set; such a name adds nothing
// to titles and is left alone, since a name once set cannot be unset.
ExactCaption::ExactCaption()
    : displayName_(QGuiApplication::applicationDisplayName()),
      active_(displayName_ != QCoreApplication::applicationName()) {
    if (active_) {
        if (depth()++ == 0) {
            heldDisplayName() = displayName_;
        }
        // An empty name, not a missing one: without a name Qt shows the application's name.
        QGuiApplication::setApplicationDisplayName(QStringLiteral(""));
    }
}

ExactCaption::~ExactCaption() {
    if (active_) {
        QGuiApplication::setApplicationDisplayName(displayName_);
        if (--depth() == 0) {
            heldDisplayName().clear();
        }
    }
}

}  // namespace tunnel::ui
