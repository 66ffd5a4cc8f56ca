#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tunnel::text {

// CSV as a spreadsheet on a Chinese desktop opens it as shown: UTF-8 behind a byte-order mark,
// CRLF, fields quoted as RFC 4180 says.
inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// A text a spreadsheet would take for a formula (=, +, -, @, a tab or a carriage return
// first) gets a leading "'", so that it shows as the text it is and never runs; numbers,
// negative ones included, stay numbers.
QString spreadsheetSafe(const QString& text);
// The reverse, for a cell read back: a "'" that guards such a text is dropped.
QString spreadsheetUnguarded(const QString& text);

// One field: quoted when it holds a separator, a quote or a line break; quotes doubled.
QString csvField(const QString& text);
// A row of guarded fields, with its CRLF, in UTF-8.
QByteArray csvLine(const QStringList& cells);

// The name to offer for a file: "CAPTION-yyyyMMdd.csv"; and a typed name given ".csv" when it
// has no suffix.
// A CSV file's text as a spreadsheet or an editor saved it: UTF-8 behind a byte-order mark;
// without one, UTF-8 when the bytes are valid UTF-8, else GBK (a spreadsheet on a Chinese
// Windows desktop saves that).
QString decodeCsvFile(const QByteArray& bytes);

// One record of a CSV text and the line it starts on (counted from 1).
struct CsvRecord {
    QStringList cells;
    int line = 0;
};
// The records of a CSV text as RFC 4180 reads them (quoted fields may hold commas, quotes and
// line breaks; CRLF or LF ends a record); blank lines are skipped. Throws std::invalid_argument
// naming the line of a quoted field that never closes.
QVector<CsvRecord> parseCsv(const QString& text);

QString suggestedCsvName(const QString& caption);
QString withCsvSuffix(const QString& path);

}  // namespace tunnel::text
