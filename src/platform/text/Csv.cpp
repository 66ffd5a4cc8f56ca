#include "platform/text/Csv.h"

#include "platform/text/Gbk.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <stdexcept>

namespace tunnel::text {
namespace {

bool startsLikeAFormula(QStringView text) {
    static const QString leads = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && leads.contains(text.front());
}

bool isNumber(QStringView text) {
    static const QRegularExpression number(
        QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
    return number.match(text).hasMatch();
}

// A guarded text starts with "'" and a formula's first character; a stored text that looks
// like a guarded one is guarded once more, so that reading back gives it exactly.
bool needsGuard(QStringView text) {
    if (startsLikeAFormula(text)) {
        return !isNumber(text);
    }
    return text.startsWith(u'\'') && needsGuard(text.mid(1));
}

}  // namespace

QString spreadsheetSafe(const QString& text) {
    return needsGuard(text) ? u'\'' + text : text;
}

QString spreadsheetText(const QString& text) {
    return startsLikeAFormula(text) && isNumber(text) ? u'\'' + text : text;
}

QString spreadsheetUnguarded(const QString& text) {
    return spreadsheetUnguarded(QStringView(text)).toString();
}

QStringView spreadsheetUnguarded(QStringView text) {
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

// A line feed is never part of a GBK or UTF-8 character, so a line is whole in either encoding.
QList<QByteArrayView> linesOf(const QByteArray& bytes) {
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype feed = bytes.indexOf('\n', start);
        const qsizetype end = feed < 0 ? bytes.size() : feed + 1;
        lines.append(QByteArrayView(bytes).sliced(start, end - start));
        start = end;
    }
    return lines;
}

// One pass and one buffer a line: an export writes millions of them.
namespace {

void appendLine(QString& line, const QStringList& cells, bool nulls) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line.append(u',');
        }
        const QString& cell = cells[i];
        if (nulls && cell.isEmpty() && !cell.isNull()) {
            line.append(QStringLiteral("\"\""));
        } else if (needsGuard(cell)) {
            appendField(line, u'\'' + cell);
        } else {
            appendField(line, cell);
        }
    }
    line.append(QStringLiteral("\r\n"));
}

QByteArray lineOf(const QStringList& cells, bool nulls) {
    QString line;
    line.reserve(128);
    appendLine(line, cells, nulls);
    return line.toUtf8();
}

bool isAscii(QByteArrayView line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; });
}

bool isUtf8(QByteArrayView line) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(line);
    return !decoder.hasError();
}

// A line written in the other encoding: its ASCII kept (separators, quotes, line ends), every
// other byte a U+FFFD.
QString withoutNonAscii(QByteArrayView line) {
    QString text;
    text.reserve(line.size());
    for (const char c : line) {
        text.append((c & 0x80) == 0 ? QChar(c) : QChar(QChar::ReplacementCharacter));
    }
    return text;
}

}  // namespace

QByteArray csvLine(const QStringList& cells) {
    return lineOf(cells, false);
}

void appendCsvLine(QString& lines, const QStringList& cells) {
    appendLine(lines, cells, false);
}

QByteArray csvLineWithNulls(const QStringList& cells) {
    return lineOf(cells, true);
}

namespace {

bool isGbk(QByteArrayView line) {
    return !fromGbk(line.toByteArray()).contains(QChar::ReplacementCharacter);
}

// The lines of a text read in `encoding` whose bytes are not valid in it but are in the other.
QSet<int> linesInTheOtherEncoding(const QList<QByteArrayView>& lines, const QString& encoding) {
    QSet<int> other;
    const bool utf8 = encoding == u"UTF-8";
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        if (!isAscii(line) && (utf8 ? !isUtf8(line) && isGbk(line) : isUtf8(line))) {
            other.insert(i + 1);
        }
    }
    return other;
}

}  // namespace

CsvText decodeCsvFile(const QByteArray& bytes) {
    const QString utf8 = QStringLiteral("UTF-8");
    if (bytes.startsWith(kUtf8Bom)) {
        const QByteArray text = bytes.mid(3);
        return {QString::fromUtf8(text), utf8,
                isUtf8(text) ? QSet<int>() : linesInTheOtherEncoding(linesOf(bytes), utf8)};
    }
    if (isUtf8(bytes)) {
        return {QString::fromUtf8(bytes), utf8, {}};
    }
    const QList<QByteArrayView> lines = linesOf(bytes);
    qsizetype utf8Lines = 0;
    qsizetype otherLines = 0;
    for (const QByteArrayView line : lines) {
        if (!isAscii(line)) {
            ++(isUtf8(line) ? utf8Lines : otherLines);
        }
    }
    if (utf8Lines > otherLines) {
        return {QString::fromUtf8(bytes), utf8, linesInTheOtherEncoding(lines, utf8)};
    }
    const QString gbk = QStringLiteral("GBK");
    if (utf8Lines == 0) {
        return {fromGbk(bytes), gbk, {}};
    }
    QString text;
    text.reserve(bytes.size());
    for (const QByteArrayView line : lines) {
        text.append(isAscii(line) || !isUtf8(line) ? fromGbk(line.toByteArray())
                                                   : withoutNonAscii(line));
    }
    return {text, gbk, linesInTheOtherEncoding(lines, gbk)};
}

CsvText decodeCsvFileAs(const QByteArray& bytes, const QString& encoding) {
    if (encoding == u"GBK") {
        return {fromGbk(bytes), encoding, {}};
    }
    const QByteArray text = bytes.startsWith(kUtf8Bom) ? bytes.mid(3) : bytes;
    return {QString::fromUtf8(text), QStringLiteral("UTF-8"), {}};
}

namespace {

// Characters of GB2312's first level, the 3,755 most used: their GBK lead byte is B0 to D7.
qsizetype commonChineseIn(const QString& text) {
    qsizetype common = 0;
    for (const QChar c : text) {
        if (c.unicode() < 0x4E00 || c.unicode() > 0x9FFF) {
            continue;
        }
        const QByteArray gbk = toGbk(QString(c));
        const auto lead = static_cast<unsigned char>(gbk.isEmpty() ? 0 : gbk[0]);
        common += gbk.size() == 2 && lead >= 0xB0 && lead <= 0xD7 ? 1 : 0;
    }
    return common;
}

// The line of `text` that holds its `at`th character, without its line end.
QString lineAround(const QString& text, qsizetype at) {
    const qsizetype start = text.lastIndexOf(u'\n', at) + 1;
    qsizetype end = text.indexOf(u'\n', at);
    end = end < 0 ? text.size() : end;
    return text.mid(start, end - start).trimmed();
}

}  // namespace

std::optional<TwoReadings> twoReadingsOf(const QByteArray& bytes) {
    if (bytes.startsWith(kUtf8Bom) || !isUtf8(bytes)) {
        return std::nullopt;
    }
    const QString utf8 = QString::fromUtf8(bytes);
    const QString gbk = fromGbk(bytes);
    if (gbk == utf8 || gbk.contains(QChar::ReplacementCharacter)) {
        return std::nullopt;
    }
    // The first byte the readings part at: both read ASCII alike, and ASCII is all before it.
    qsizetype at = 0;
    while (at < bytes.size() && (bytes[at] & 0x80) == 0) {
        ++at;
    }
    TwoReadings readings;
    readings.guess = commonChineseIn(gbk) > commonChineseIn(utf8) ? QStringLiteral("GBK")
                                                                  : QStringLiteral("UTF-8");
    readings.utf8Sample = lineAround(utf8, at);
    readings.gbkSample = lineAround(gbk, at);
    return readings;
}

QStringList CsvTable::cellList(qsizetype record) const {
    QStringList list;
    list.reserve(cells(record));
    for (qsizetype at = 0; at < cells(record); ++at) {
        list.append(cell(record, at).toString());
    }
    return list;
}

CsvTable parseCsv(const QString& text) {
    CsvTable table;
    table.text_.reserve(text.size());
    int line = 1;
    int recordLine = 1;
    bool anything = false;  // the record has a cell or a separator
    const qsizetype size = text.size();
    qsizetype i = 0;
    bool quoted = false;  // the cell began with a quote
    const auto endCell = [&] {
        table.cellStart_.append(table.text_.size());
        table.quoted_.append(quoted);
        quoted = false;
    };
    const auto endRecord = [&] {
        if (anything) {
            endCell();
            table.firstCell_.append(table.cellStart_.size() - 1);
            table.lines_.append(recordLine);
        }
        recordLine = line;
        anything = false;
    };
    for (;;) {
        if (i < size && text[i] == u'"') {
            // A quoted field: up to the quote that is not doubled.
            anything = true;
            quoted = true;
            const int opened = line;
            ++i;
            for (;;) {
                if (i >= size) {
                    throw std::invalid_argument(
                        QStringLiteral("第 %1 行起的带引号字段没有结束").arg(opened).toStdString());
                }
                if (text[i] == u'"') {
                    if (i + 1 < size && text[i + 1] == u'"') {
                        table.text_.append(u'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == u'\n') {
                    ++line;
                }
                table.text_.append(text[i++]);
            }
        }
        // An unquoted field runs to a separator; a quote inside it, or anything but a separator
        // after a closing quote, is no CSV a program writes ("ab"cd would be read as abcd).
        const qsizetype start = i;
        while (i < size && text[i] != u',' && text[i] != u'\n' && text[i] != u'\r') {
            if (text[i] == u'"' || quoted) {
                throw std::invalid_argument(
                    QStringLiteral("第 %1 行有多余的引号：带引号的字段应整个写在引号里，"
                                   "字段中的引号应写成两个")
                        .arg(line)
                        .toStdString());
            }
            ++i;
        }
        if (i > start) {
            table.text_.append(QStringView(text).mid(start, i - start));
            anything = true;
        }
        if (i >= size) {
            endRecord();
            return table;
        }
        if (text[i] == u',') {
            endCell();
            anything = true;
            ++i;
            continue;
        }
        i += text[i] == u'\r' && i + 1 < size && text[i + 1] == u'\n' ? 2 : 1;
        ++line;
        endRecord();
    }
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
