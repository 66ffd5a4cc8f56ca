#include "platform/text/TextRules.h"

#include <algorithm>

#include <limits>

namespace tunnel::text {
namespace {

bool isBlankOrControl(QChar c) {
    return c.unicode() <= 32;
}

}  // namespace

QString trimmed(const QString& text) {
    const QStringView kept = trimmed(QStringView(text));
    return kept.size() == text.size() ? text : kept.toString();
}

QString withoutPadding(QString text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ') {
        --end;
    }
    text.truncate(end);
    return text;
}

QStringView trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlankOrControl(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

std::optional<qint64> integerOf(QStringView text) {
    const bool negative = text.startsWith(u'-');
    const QStringView digits = negative || text.startsWith(u'+') ? text.mid(1) : text;
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    // Gathered as a negative number: its range holds the smallest 64-bit number.
    qint64 value = 0;
    for (const QChar c : digits) {
        const int digit = c.unicode() - u'0';
        if (digit < 0 || digit > 9 || value < (std::numeric_limits<qint64>::min() + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative && value == std::numeric_limits<qint64>::min()) {
        return std::nullopt;
    }
    return negative ? value : -value;
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; });
}

bool casedOnlyInAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x80 || c.toLower() == c.toUpper(); });
}

QString codeBeforeDash(const QString& item) {
    const qsizetype dash = item.indexOf(u'-');
    return dash < 0 ? QString() : item.left(dash);
}

QString splitFirst(QString& rest, QChar separator) {
    rest = trimmed(rest);
    const qsizetype at = rest.indexOf(separator);
    if (at < 0) {
        QString piece = rest;
        rest.clear();
        return piece;
    }
    QString piece = trimmed(rest.left(at));
    rest = trimmed(rest.mid(at + 1));
    return piece;
}

QStringList splitEntries(const QString& list) {
    QStringList entries;
    QString current;
    for (const QChar c : list) {
        if (c == u',' || isBlankOrControl(c)) {
            if (!current.isEmpty()) {
                entries.append(current);
                current.clear();
            }
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty()) {
        entries.append(current);
    }
    return entries;
}

}  // namespace tunnel::text
