#pragma once

#include <QString>

#include <utility>

namespace tunnel::ui {

// The default error report: the error's own text in a message box captioned with the
// application's title, with a stop icon and an OK button.
// `details` (the failing statement, say) goes behind the box's details button.
void reportError(const QString& text, const QString& details = {});

// Runs an event handler; an error that leaves it is reported, ends the handler, and the window
// stays open. Nothing may escape into the event loop. Returns whether the handler completed.
bool reportErrors(void (*handler)(void*), void* context) noexcept;

template <typename Handler>
bool guarded(Handler&& handler) noexcept {
    return reportErrors([](void* context) { (*static_cast<Handler*>(context))(); },
                        static_cast<void*>(&handler));
}

}  // namespace tunnel::ui
