#include "platform/ui/NameOnlyIconProvider.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

namespace tunnel::ui {

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    if (info.isRoot()) {
        return QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
    }
    return QApplication::style()->standardIcon(info.isDir() ? QStyle::SP_DirIcon
                                                            : QStyle::SP_FileIcon);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    if (info.isDir()) {
        return QStringLiteral("文件夹");
    }
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QStringLiteral("文件") : suffix.toUpper() + QStringLiteral(" 文件");
}

}  // namespace tunnel::ui
