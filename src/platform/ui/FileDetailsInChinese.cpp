#include "platform/ui/FileDetailsInChinese.h"

#include <QDateTime>
#include <QFileSystemModel>
#include <QLocale>

namespace tunnel::ui {
namespace {

// The file system model's columns.
constexpr int kSizeColumn = 1;
constexpr int kTimeColumn = 3;

}  // namespace

QVariant FileDetailsInChinese::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr ||
        (index.column() != kSizeColumn && index.column() != kTimeColumn)) {
        return QIdentityProxyModel::data(index, role);
    }
    const QModelIndex file = mapToSource(index);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    if (index.column() == kTimeColumn) {
        return chinese.toString(files->lastModified(file), QLocale::ShortFormat);
    }
    if (files->isDir(file)) {
        return QIdentityProxyModel::data(index, role);
    }
    return chinese.formattedDataSize(files->size(file));
}

}  // namespace tunnel::ui
