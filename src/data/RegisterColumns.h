#pragma once

#include "platform/db/Engine.h"

#include <QString>
#include <QVariant>
#include <QVector>

namespace tunnel::data {

// The register file's columns as the export, the check and the write of the register see them
// (DeviceRegister.h is what the windows and tunneldb use).

// What a register column holds and what the device editor asks of it.
struct ColumnRule {
    const char16_t* name;
    bool number;
    QVariant insertDefault;  // the editor's value for a new device; null: NULL
    bool mustBeFilled = false;
    int gbkBytes = 0;      // a register text's limit, measured as the database measures it
    int characters = 0;    // a message-sign text's limit
    QVector<int> codes{};  // the codes a coded column may hold
    bool signOnly = false;
    bool fixedWidth = false;  // CHAR(n): the server engines pad it with blanks
};

// In the file's and the table's order.
const QVector<ColumnRule>& registerRules();
QString registerColumnName(int column);

// The columns after the key that a file holding the `present` ones sets.
QVector<int> changeableColumns(const QVector<bool>& present);

// A stored text as the register file holds it: as stored but for a fixed-width column's padding
// on the engines that pad (an empty text stays an empty text, never a null), and GBK bytes other
// programs stored on SQLite as they meant them.
QString registerText(const QVariant& stored, int column, db::Engine engine);

// The columns the check and the write name.
enum RegisterColumn { kType = 0, kCode = 1, kAreaCode = 7, kCommType = 13, kCommData = 14 };
inline constexpr int kSignType = 12;

}  // namespace tunnel::data
