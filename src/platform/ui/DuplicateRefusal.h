#pragma once

#include <QString>

#include <functional>

namespace tunnel::ui {

// The user's own message for a refusal by a unique key, shown in a box.
struct DuplicateMessage {
    QString text;
    QString caption;
    unsigned flags;
};

// Runs `write` and returns what it returns. A refusal by a unique key inside it is the user's to
// mend: once `write` has been left (and any transaction it held rolled back, so that nothing
// stays locked while the box is open), `duplicate` is shown and false returned. Any other
// failure is the database's and goes on to the default error report with its own text (a
// DbError leaves the call).
bool refusingDuplicates(const std::function<bool()>& write, const DuplicateMessage& duplicate);

}  // namespace tunnel::ui
