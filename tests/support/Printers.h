#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <ostream>

// GoogleTest printers, so that failures show texts rather than bytes.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral("\", \"")).prepend(u'"').append(u'"').toStdString()
        << ']';
}
inline void PrintTo(const QVariant& value, std::ostream* os) {
    *os << "QVariant(" << value.typeName() << ", " << value.toString().toStdString() << ')';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << "QByteArray(" << bytes.toHex(' ').toStdString() << ')';
}
QT_END_NAMESPACE
