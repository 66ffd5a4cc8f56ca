#pragma once

#include <QIdentityProxyModel>

namespace tunnel::ui {

// A file dialog's list with each file's size and time written as a Chinese user reads them
// ("100 字节", "2026/12/8 15:37"), whatever the locale of the machine: Qt's own list writes
// them in the system's locale, English on a machine set up without one.
class FileDetailsInChinese : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

}  // namespace tunnel::ui
