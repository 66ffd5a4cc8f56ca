#pragma once

#include <QAbstractFileIconProvider>

namespace tunnel::ui {

// Icons and type texts for a file dialog from a file's name and kind alone. Qt's own provider
// detects a file's type by reading its first bytes where the name does not settle it, and that
// open and close of a database file in this process drops SQLite's locks on it.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

}  // namespace tunnel::ui
