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

QString jsonString(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    appendString(out, text);
    return out;
}

namespace {

// Reads a flat object's members from the front of a text; each step returns false on anything
// else.
class FlatObjectReader {
public:
    explicit FlatObjectReader(const QString& text) : text_(text) {}

    std::optional<QStringList> values() {
        QStringList values;
        skipBlanks();
        if (!take(u'{')) {
            return std::nullopt;
        }
        skipBlanks();
        if (take(u'}')) {
            return atEnd() ? std::optional(values) : std::nullopt;
        }
        do {
            QString value;
            skipBlanks();
            if (!string(value) || !(skipBlanks(), take(u':')) || !(skipBlanks(), member(value))) {
                return std::nullopt;
            }
            values.append(value);
            skipBlanks();
        } while (take(u','));
        return take(u'}') && atEnd() ? std::optional(values) : std::nullopt;
    }

private:
    bool take(char16_t c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void skipBlanks() {
        while (at_ < text_.size() && text_[at_].isSpace()) {
            ++at_;
        }
    }
    bool atEnd() {
        skipBlanks();
        return at_ == text_.size();
    }
    // A string's text between its quotes, as written.
    bool string(QString& written) {
        if (!take(u'"')) {
            return false;
        }
        const qsizetype start = at_;
        while (at_ < text_.size() && text_[at_] != u'"') {
            at_ += text_[at_] == u'\\' ? 2 : 1;
        }
        if (at_ >= text_.size()) {
            return false;
        }
        written = text_.mid(start, at_ - start);
        ++at_;
        return true;
    }
    // A member's value: a string, or a bare word up to the next member or the end.
    bool member(QString& written) {
        if (at_ < text_.size() && text_[at_] == u'"') {
            return string(written);
        }
        const qsizetype start = at_;
        while (at_ < text_.size() && text_[at_] != u',' && text_[at_] != u'}') {
            const QChar c = text_[at_];
            if (c == u'{' || c == u'[' || c == u'"' || c == u':') {
                return false;
            }
            ++at_;
        }
        written = text_.mid(start, at_ - start).trimmed();
        return !written.isEmpty();
    }

    const QString& text_;
    qsizetype at_ = 0;
};

}  // namespace

std::optional<QStringList> jsonObjectValues(const QString& text) {
    return FlatObjectReader(text).values();
}

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
