#include "platform/db/ValueText.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace tunnel::db {

int integerOf(const QVariant& value) {
    if (value.isNull()) {
        return 0;
    }
    switch (value.typeId()) {
        case QMetaType::QString:
        case QMetaType::QByteArray: {
            const QString text = value.toString().trimmed();
            bool ok = false;
            const int asInt = text.toInt(&ok);
            if (ok)
                return asInt;
            const double asDouble = text.toDouble(&ok);
            return ok && std::isfinite(asDouble) && std::abs(asDouble) < 2147483648.0
                       ? static_cast<int>(asDouble)
                       : 0;
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            return std::isfinite(d) && std::abs(d) < 2147483648.0 ? static_cast<int>(d) : 0;
        }
        default: {
            const qlonglong wide = value.toLongLong();
            if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
                return 0;
            }
            return static_cast<int>(wide);
        }
    }
}

QString textOf(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    if (value.typeId() == QMetaType::QDateTime) {
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    }
    return value.toString();
}

QString dateTimeText(const QVariant& value) {
    return textOf(value).left(19);
}

}  // namespace tunnel::db
