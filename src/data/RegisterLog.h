#pragma once

#include <QString>

#include <QVector>
#include <functional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// What an import found the register holding when it wrote: devices added, devices whose values
// it changed, devices that held the file's values already.
struct ImportCounts {
    int inserts = 0;
    int updates = 0;
    int unchanged = 0;

    // "共 70 行：新增 1 台，修改 1 台，不变 68 台"
    QString text() const;
};

// The devices staged in `staged` (every register column) against the register as it is now,
// before they are written: the ones the file leaves as they are are dropped from `staged`, the
// rest counted and each logged as a row of its own (action 导入, its key, the changed columns
// before and after as the editor logs them; a new device's every column after). The caller holds
// the transaction and the register's write lock, so that what is counted and logged is what the
// write will really overwrite. Throws DbError.
ImportCounts logStagedDevices(db::Database& db, const QString& staged, const QVector<bool>& present,
                              int funcCode);

// The same made beforehand, on SQLite, against one state of the register read without the
// write lock: the staged devices the file changes copied into `changing` (a temporary table;
// a text the register holds in GBK and the file as the same text keeps the register's bytes),
// counted, and their log rows made (makeLogRows) for writeMadeLogRows to write under the lock,
// where the caller makes them again if another writer changed the register meanwhile.
ImportCounts prepareStagedLog(db::Database& db, const QString& staged, const QString& changing,
                              const QVector<bool>& present);

// The same for a register that was empty and now holds only the imported devices.
void logLoadedRegister(db::Database& db, int funcCode);

}  // namespace tunnel::data
