#include "platform/db/DatabaseFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>

#include <sys/stat.h>

#include <array>

namespace tunnel::db {
namespace {

constexpr std::array kCompanions = {"", "-wal", "-shm", "-journal"};

struct Noted {
    QMutex mutex;
    QStringList files;  // absolute, with the folder's links resolved
};

Noted& noted() {
    static Noted files;
    return files;
}

// The path with its folder's links resolved (realpath: no file is opened); the file itself need
// not exist yet.
QString resolved(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

bool sameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

void noteDatabaseFile(const QString& path) {
    const QString file = resolved(path);
    const QMutexLocker lock(&noted().mutex);
    if (!noted().files.contains(file)) {
        noted().files.append(file);
    }
}

bool isDatabaseFile(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QString candidate = resolved(path);
    const QMutexLocker lock(&noted().mutex);
    for (const QString& file : noted().files) {
        for (const char* suffix : kCompanions) {
            const QString companion = file + QLatin1String(suffix);
            if (candidate == companion || sameFile(candidate, companion)) {
                return true;
            }
            // SQLite names the companions after the file it opened: through a link, after the
            // link's target; another program may reach the same file under another name (a hard
            // link). A companion's name whose base is the database under any name is one.
            if (*suffix != '\0' && candidate.endsWith(QLatin1String(suffix))) {
                const QString base = candidate.chopped(static_cast<qsizetype>(qstrlen(suffix)));
                if (base == file || sameFile(base, file)) {
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace tunnel::db
