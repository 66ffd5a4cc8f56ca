#include "data/DeviceRegister.h"
#include "data/RegisterColumns.h"
#include "platform/db/Database.h"
#include "platform/db/Snapshot.h"
#include "platform/db/ValueText.h"
#include "platform/text/Csv.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextRules.h"

#include <QIODevice>

namespace tunnel::data {
namespace {

constexpr int kExportBatch = 4096;

// A null is a null cell, never an empty text.
QString cellText(const QVariant& value, int column, db::Engine engine) {
    if (value.isNull()) {
        return {};
    }
    if (registerRules()[column].number) {
        return QString::number(value.toLongLong());
    }
    // Read as stored bytes on SQLite: texts other programs wrote in GBK come out as they meant.
    return registerText(value, column, engine);
}

// The register's columns as the export reads them; on SQLite every text as its stored bytes.
QString exportColumns(db::Engine engine) {
    QStringList columns;
    for (int column = 0; column < registerRules().size(); ++column) {
        const QString name = registerColumnName(column);
        columns.append(
            registerRules()[column].number
                ? name
                : QStringLiteral("%1 AS %2").arg(db::storedTextColumn(engine, name), name));
    }
    return columns.join(QStringLiteral(", "));
}

QString exportStatement(db::Engine engine, std::optional<int> onlyType, bool after) {
    QStringList conditions;
    if (onlyType) {
        conditions.append(QStringLiteral("DEVICETYPE=%1").arg(*onlyType));
    }
    if (after) {
        conditions.append(QStringLiteral("(DEVICETYPE>? or (DEVICETYPE=? and DEVICECODE>?))"));
    }
    return QStringLiteral("select top %1 %2 from DEVICE%3 order by DEVICETYPE, DEVICECODE")
        .arg(kExportBatch)
        .arg(exportColumns(engine),
             conditions.isEmpty()
                 ? QString()
                 : QStringLiteral(" where ") + conditions.join(QStringLiteral(" and ")));
}

qint64 countDevices(db::Database& db, std::optional<int> onlyType) {
    qint64 devices = 0;
    db.forEachRow(
        QStringLiteral("select count(*) from DEVICE") +
            (onlyType ? QStringLiteral(" where DEVICETYPE=%1").arg(*onlyType) : QString()),
        {}, [&](const QVariantList& row) { devices = row[0].toLongLong(); });
    return devices;
}

}  // namespace

std::optional<qint64> exportRegister(db::Database& db, std::optional<int> onlyType, QIODevice& out,
                                     const RegisterProgress& progress) {
    // A file of one point in time: a device another program moves between two pages would
    // otherwise be written twice or not at all, and the count would not be the file's.
    const db::Snapshot snapshot(db);
    const qint64 total = countDevices(db, onlyType);
    out.write(text::kUtf8Bom);
    out.write(text::csvLine(registerColumns()));
    qint64 written = 0;
    std::optional<QVariantList> last;
    for (;;) {
        const QVariantList after =
            last ? QVariantList{last->at(0), last->at(0), last->at(1)} : QVariantList();
        int rows = 0;
        db.forEachRow(exportStatement(db.engine(), onlyType, last.has_value()), after,
                      [&](const QVariantList& row) {
                          QStringList cells;
                          for (int column = 0; column < registerRules().size(); ++column) {
                              cells.append(cellText(row[column], column, db.engine()));
                          }
                          out.write(text::csvLineWithNulls(cells));
                          last = QVariantList{row[kType], row[kCode]};
                          ++rows;
                      });
        written += rows;
        if (!progress(written, total)) {
            return std::nullopt;
        }
        if (rows < kExportBatch) {
            return written;
        }
    }
}

}  // namespace tunnel::data
