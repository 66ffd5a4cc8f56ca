#include "platform/ui/ExactCaption.h"

#include <QGuiApplication>

namespace tunnel::ui {

ExactCaption::ExactCaption() : displayName_(QGuiApplication::applicationDisplayName()) {
    // An empty name, not a missing one: without a name Qt shows the application's name.
    QGuiApplication::setApplicationDisplayName(QStringLiteral(""));
}

ExactCaption::~ExactCaption() {
    QGuiApplication::setApplicationDisplayName(displayName_);
}

}  // namespace tunnel::ui
