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

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r')) {
        return text;
    }
    return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QByteArray csvLine(const QStringList& cells) {
    QStringList fields;
    for (const QString& cell : cells) {
        fields.append(csvField(spreadsheetSafe(cell)));
    }
    return (fields.join(u',') + QStringLiteral("\r\n")).toUtf8();
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
