#pragma once

#include <QStringList>

namespace tunnel::test {

// Collects what Qt writes to the console (warnings and worse) while it lives, so that a test
// can say the host's console stays quiet.
class QtWarnings {
public:
    QtWarnings();
    ~QtWarnings();
    QtWarnings(const QtWarnings&) = delete;
    QtWarnings& operator=(const QtWarnings&) = delete;

    const QStringList& texts() const;
};

}  // namespace tunnel::test
