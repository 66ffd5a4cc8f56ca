#include "platform/text/Csv.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>

namespace tunnel::text {
namespace {

bool startsLikeAFormula(const QString& text) {
    static const QString leads = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && leads.contains(text.front());
}

bool isNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
    return number.match(text).hasMatch();
}

// A guarded text starts with "'" and a formula's first character; a stored text that looks
// like a guarded one is guarded once more, so that reading back gives it exactly.
bool needsGuard(const QString& text) {
    if (startsLikeAFormula(text)) {
        return !isNumber(text);
    }
    return text.startsWith(u'\'') && needsGuard(text.mid(1));
}

}  // namespace

QString spreadsheetSafe(const QString& text) {
    return needsGuard(text) ? u'\'' + text : text;
}

QString spreadsheetUnguarded(const QString& text) {
    return text.startsWith(u'\'') && needsGuard(text.mid(1)) ? text.mid(1) : text;
}

namespace {

bool needsQuotes(QStringView text) {
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r') {
            return true;
        }
    }
    return false;
}

void appendField(QString& line, QStringView text) {
    if (!needsQuotes(text)) {
        line.append(text);
        return;
    }
    line.append(u'"');
    for (const QChar c : text) {
        if (c == u'"') {
            line.append(u'"');
        }
        line.append(c);
    }
    line.append(u'"');
}

}  // namespace

QString csvField(const QString& text) {
    QString field;
    appendField(field, text);
    return field;
}

// One pass and one buffer a line: an export writes millions of them.
QByteArray csvLine(const QStringList& cells) {
    QString line;
    line.reserve(128);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line.append(u',');
        }
        const QString& cell = cells[i];
        if (needsGuard(cell)) {
            appendField(line, u'\'' + cell);
        } else {
            appendField(line, cell);
        }
    }
    line.append(QStringLiteral("\r\n"));
    return line.toUtf8();
}

QString suggestedCsvName(const QString& caption) {
    return caption + u'-' + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".csv");
}

QString withCsvSuffix(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) {
        return path;
    }
    return path + QStringLiteral(".csv");
}

}  // namespace tunnel::text
