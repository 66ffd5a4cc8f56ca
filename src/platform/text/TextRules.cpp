#include "platform/text/TextRules.h"

namespace tunnel::text {
namespace {

bool isBlankOrControl(QChar c) {
    return c.unicode() <= 32;
}

}  // namespace

QString trimmed(const QString& text) {
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
