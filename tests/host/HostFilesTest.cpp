#include "HostFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tunnel::host;

namespace {

constexpr auto kOwnerReadWrite = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                         QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

}  // namespace

// A folder the host makes is the user's alone; one that is there keeps what it has.
TEST(HostFiles, NewFoldersAndFilesAreTheUsersAlone) {
    QTemporaryDir root;
    const QString fresh = root.filePath(QStringLiteral("a/tunnelhost"));
    createPrivateFolder(fresh);
    EXPECT_TRUE(QFileInfo(fresh).isDir());
    EXPECT_EQ(QFileInfo(fresh).permissions() & kOthers, QFileDevice::Permissions());

    const QString shared = root.filePath(QStringLiteral("shared"));
    QDir().mkpath(shared);
    QFile::setPermissions(shared, QFileInfo(shared).permissions() | QFileDevice::ReadOther);
    createPrivateFolder(shared);
    EXPECT_TRUE(QFileInfo(shared).permissions() & QFileDevice::ReadOther);

    const QString log = QDir(fresh).filePath(QStringLiteral("tunnelhost.log"));
    appendToLog(log, QStringLiteral("一行"));
    EXPECT_EQ(QFileInfo(log).permissions() & (kOthers | kOwnerReadWrite), kOwnerReadWrite);
}

// The log rolls over at its limit and keeps three old files, never more.
TEST(HostFiles, TheLogRollsOverAndKeepsThreeOldFiles) {
    QTemporaryDir root;
    const QString log = root.filePath(QStringLiteral("tunnelhost.log"));
    const QString line = QString(39, u'x');  // 40 bytes with its line break
    for (int i = 0; i < 25; ++i) {
        appendToLog(log, line, 100, 3);
        EXPECT_LE(QFileInfo(log).size(), 100);
    }
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(QFileInfo(log + u'.' + QString::number(n)).size(), 80) << n;
    }
    EXPECT_FALSE(QFileInfo::exists(log + QStringLiteral(".4")));
}
