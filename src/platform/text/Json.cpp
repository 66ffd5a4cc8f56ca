#include "platform/text/Json.h"

namespace tunnel::text {
namespace {

bool isWholeNumber(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return true;
        default:
            return false;
    }
}

void appendString(QString& out, const QString& text) {
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'"':
                out += QStringLiteral("\\\"");
                break;
            case u'\\':
                out += QStringLiteral("\\\\");
                break;
            case u'\n':
                out += QStringLiteral("\\n");
                break;
            case u'\r':
                out += QStringLiteral("\\r");
                break;
            case u'\t':
                out += QStringLiteral("\\t");
                break;
            default:
                if (c.unicode() < 0x20) {
                    out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
                } else {
                    out += c;
                }
        }
    }
    out += u'"';
}

}  // namespace

QString jsonObject(const QStringList& names, const QVariantList& values) {
    QString out = QStringLiteral("{");
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0) {
            out += u',';
        }
        appendString(out, names[i]);
        out += u':';
        const QVariant value = values.value(i);
        if (value.isNull()) {
            out += QStringLiteral("null");
        } else if (isWholeNumber(value)) {
            out += value.toString();
        } else {
            appendString(out, value.toString());
        }
    }
    out += u'}';
    return out;
}

}  // namespace tunnel::text
