#include "HostFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tunnel::host {
namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void rotate(const QString& path, int kept) {
    const auto old = [&](int n) { return path + u'.' + QString::number(n); };
    QFile::remove(old(kept));
    for (int n = kept - 1; n >= 1; --n) {
        QFile::rename(old(n), old(n + 1));
    }
    QFile::rename(path, old(1));
}

}  // namespace

void createPrivateFolder(const QString& path) {
    if (QFileInfo::exists(path)) {
        return;
    }
    QDir().mkpath(path);
    QFile::setPermissions(path, kOwnerOnly | QFileDevice::ExeOwner);
}

void makePrivateFile(const QString& path) {
    QFile::setPermissions(path, kOwnerOnly);
}

void appendToLog(const QString& path, const QString& line, qint64 limit, int kept) {
    const QByteArray bytes = line.toUtf8() + '\n';
    if (QFileInfo(path).size() + bytes.size() > limit) {
        rotate(path, kept);
    }
    QFile file(path);
    const bool fresh = !file.exists();
    if (file.open(QIODevice::Append)) {
        file.write(bytes);
        if (fresh) {
            makePrivateFile(path);
        }
    }
}

}  // namespace tunnel::host
