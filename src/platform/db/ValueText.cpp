#include "platform/db/ValueText.h"

#include "platform/text/Gbk.h"

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

namespace {

void appendDigits(QString& text, int number, int width) {
    char16_t digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char16_t>(u'0' + number % 10);
        number /= 10;
    }
    text.append(QStringView(digits, width));
}

}  // namespace

QString storedTimeText(const QDateTime& at, char16_t between) {
    const QDate date = at.date();
    const QTime time = at.time();
    QString text;
    text.reserve(23);
    appendDigits(text, date.year(), 4);
    text.append(u'-');
    appendDigits(text, date.month(), 2);
    text.append(u'-');
    appendDigits(text, date.day(), 2);
    text.append(between);
    appendDigits(text, time.hour(), 2);
    text.append(u':');
    appendDigits(text, time.minute(), 2);
    text.append(u':');
    appendDigits(text, time.second(), 2);
    text.append(u'.');
    appendDigits(text, time.msec(), 3);
    return text;
}

QString textOf(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    if (value.typeId() == QMetaType::QDateTime) {
        return storedTimeText(value.toDateTime());
    }
    return value.toString();
}

QString storedTextOf(const QVariant& value) {
    return value.typeId() == QMetaType::QByteArray ? text::fromStoredText(value.toByteArray())
                                                   : textOf(value);
}

QString storedTextColumn(Engine engine, const QString& column) {
    return engine == Engine::SQLite ? QStringLiteral("CAST(%1 AS BLOB)").arg(column) : column;
}

QString dateTimeText(const QVariant& value) {
    return textOf(value).left(19);
}

}  // namespace tunnel::db
