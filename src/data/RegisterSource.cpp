#include "data/DeviceRegister.h"

#include "platform/db/DbError.h"

#include <QFile>
#include <QFileInfo>

namespace tunnel::data {

// Looked at before it is opened: opening a FIFO waits for a writer, and a device such as
// /dev/zero never ends.
QByteArray readRegisterFileAt(const QString& path, qint64 most) {
    const QFileInfo info(path);
    if (!info.exists()) {
        throw db::DbError(QStringLiteral("文件 %1 不存在。").arg(path));
    }
    if (!info.isFile()) {
        throw db::DbError(
            QStringLiteral("%1 不是普通文件（可能是文件夹、设备或管道），不能导入。").arg(path));
    }
    if (info.size() > most) {
        throw db::DbError(QStringLiteral("文件 %1 有 %2 字节，超过设备表文件可能的大小（%3 "
                                         "字节），不能导入。")
                              .arg(path)
                              .arg(info.size())
                              .arg(most));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw db::DbError(QStringLiteral("无法读取文件 %1：%2").arg(path, file.errorString()));
    }
    // The file may grow while it is read: no more than the bound is taken.
    QByteArray bytes = file.read(most + 1);
    if (bytes.size() > most) {
        throw db::DbError(QStringLiteral("文件 %1 超过设备表文件可能的大小（%2 字节），不能导入。")
                              .arg(path)
                              .arg(most));
    }
    return bytes;
}

QString twoReadingsText(const text::TwoReadings& readings) {
    constexpr int kShown = 40;
    const auto shown = [](const QString& line) {
        return line.size() > kShown ? line.left(kShown) + u'…' : line;
    };
    return QStringLiteral(
               "文件没有标明编码，按 GBK 和按 UTF-8 都能读出文字，但读出的不同：\n按 GBK 读："
               "%1\n按 UTF-8 读：%2\n推测是 %3 编码。")
        .arg(shown(readings.gbkSample), shown(readings.utf8Sample), readings.guess);
}

}  // namespace tunnel::data
