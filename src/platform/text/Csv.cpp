#include "platform/text/Csv.h"

#include "platform/text/Gbk.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>

#include <exception>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

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

QString decodeCsvFile(const QByteArray& bytes) {
    if (bytes.startsWith(kUtf8Bom)) {
        return QString::fromUtf8(bytes.mid(3));
    }
    return fromStoredText(bytes);
}

namespace {

// The records of `text` whose first line is `firstLine`.
QVector<CsvRecord> parseRecords(QStringView text, int firstLine) {
    QVector<CsvRecord> records;
    CsvRecord record{{}, firstLine};
    int line = firstLine;
    bool anything = false;  // the record has a cell or a separator
    const qsizetype size = text.size();
    qsizetype i = 0;
    const auto endRecord = [&](QString cell) {
        if (anything) {
            record.cells.append(std::move(cell));
            records.append(std::move(record));
        }
        record = CsvRecord{{}, line};
        anything = false;
    };
    for (;;) {
        QString cell;
        if (i < size && text[i] == u'"') {
            // A quoted field: up to the quote that is not doubled.
            anything = true;
            const int opened = line;
            ++i;
            for (;;) {
                if (i >= size) {
                    throw std::invalid_argument(
                        QStringLiteral("第 %1 行起的带引号字段没有结束").arg(opened).toStdString());
                }
                if (text[i] == u'"') {
                    if (i + 1 < size && text[i + 1] == u'"') {
                        cell.append(u'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == u'\n') {
                    ++line;
                }
                cell.append(text[i++]);
            }
        }
        // An unquoted field, or what follows a closing quote, runs to a separator.
        const qsizetype start = i;
        while (i < size && text[i] != u',' && text[i] != u'\n' && text[i] != u'\r') {
            ++i;
        }
        if (i > start) {
            cell.append(text.mid(start, i - start));
            anything = true;
        }
        if (i >= size) {
            endRecord(std::move(cell));
            return records;
        }
        if (text[i] == u',') {
            record.cells.append(std::move(cell));
            anything = true;
            ++i;
            continue;
        }
        i += text[i] == u'\r' && i + 1 < size && text[i + 1] == u'\n' ? 2 : 1;
        ++line;
        endRecord(std::move(cell));
    }
}

// Where the first record that ends at or after `middle` ends, read as parseRecords reads (a quote
// opens a quoted field only at a field's start), with the line the next record starts on; none
// when no record ends there.
std::optional<std::pair<qsizetype, int>> recordEndFrom(QStringView text, qsizetype middle) {
    const qsizetype size = text.size();
    int line = 1;
    bool fieldStart = true;
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text[i];
        if (fieldStart && c == u'"') {
            for (++i; i < size; ++i) {
                if (text[i] == u'"') {
                    if (i + 1 < size && text[i + 1] == u'"') {
                        ++i;
                        continue;
                    }
                    break;
                }
                if (text[i] == u'\n') {
                    ++line;
                }
            }
            ++i;
            fieldStart = false;
        } else if (c == u',') {
            ++i;
            fieldStart = true;
        } else if (c == u'\r' || c == u'\n') {
            i += c == u'\r' && i + 1 < size && text[i + 1] == u'\n' ? 2 : 1;
            ++line;
            fieldStart = true;
            if (i >= middle) {
                return std::pair{i, line};
            }
        } else {
            ++i;
            fieldStart = false;
        }
    }
    return std::nullopt;
}

constexpr qsizetype kParseInTwoFrom = 1 << 16;  // characters; below, a thread costs more

}  // namespace

// A large text (a register of many thousand devices) is read in two halves on two threads,
// split where a record ends near the middle.
QVector<CsvRecord> parseCsv(const QString& text) {
    const std::optional<std::pair<qsizetype, int>> split =
        text.size() >= kParseInTwoFrom ? recordEndFrom(text, text.size() / 2) : std::nullopt;
    if (!split || split->first >= text.size()) {
        return parseRecords(text, 1);
    }
    QVector<CsvRecord> later;
    std::exception_ptr laterFailed;
    std::thread second([&] {
        try {
            later = parseRecords(QStringView(text).mid(split->first), split->second);
        } catch (...) {
            laterFailed = std::current_exception();
        }
    });
    QVector<CsvRecord> records;
    try {
        records = parseRecords(QStringView(text).left(split->first), 1);
    } catch (...) {
        second.join();
        throw;
    }
    second.join();
    if (laterFailed) {
        std::rethrow_exception(laterFailed);
    }
    records.reserve(records.size() + later.size());
    for (CsvRecord& record : later) {
        records.append(std::move(record));
    }
    return records;
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
