#include "data/RegisterDigest.h"

#include "data/DeviceRegister.h"
#include "data/RegisterColumns.h"

#include <QCryptographicHash>
#include <QStringList>

namespace tunnel::data {
namespace {

// PostgreSQL's length() counts characters, not UTF-16 units.
qsizetype characters(const QString& text) {
    qsizetype count = text.size();
    for (const QChar c : text) {
        if (c.isLowSurrogate()) {
            --count;
        }
    }
    return count;
}

}  // namespace

QString storedDigestExpression(const QVector<int>& columns) {
    QStringList parts;
    for (const int column : columns) {
        const QString name = registerColumnName(column);
        // CAST to TEXT drops a CHAR column's padding, as the register file does.
        parts.append(registerRules()[column].number
                         ? QStringLiteral("coalesce(CAST(%1 AS TEXT), '\\N')").arg(name)
                         : QStringLiteral("coalesce(CAST(length(CAST(%1 AS TEXT)) AS TEXT) || "
                                          "':' || CAST(%1 AS TEXT), '\\N')")
                               .arg(name));
    }
    return QStringLiteral("md5(%1)").arg(parts.join(QStringLiteral(" || ',' || ")));
}

QByteArray rowDigest(const ImportRow& row, const QVector<int>& columns) {
    QString text;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const int column = columns[i];
        if (i > 0) {
            text += u',';
        }
        if (row.isNull(column)) {
            text += QStringLiteral("\\N");
        } else if (registerRules()[column].number) {
            text += QString::number(row.number(column));
        } else {
            text += QString::number(characters(row.text(column))) + u':' + row.text(column);
        }
    }
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex();
}

}  // namespace tunnel::data
