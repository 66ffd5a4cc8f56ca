#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

#include <optional>

namespace tunnel::text {

// CSV as a spreadsheet on a Chinese desktop opens it as shown: UTF-8 behind a byte-order mark,
// CRLF, fields quoted as RFC 4180 says.
inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// A text a spreadsheet would take for a formula (=, +, -, @, a tab or a carriage return
// first) gets a leading "'", so that it shows as the text it is and never runs; numbers,
// negative ones included, stay numbers.
QString spreadsheetSafe(const QString& text);
// A cell that is a text whatever it looks like (a name, a physical number), for a line whose
// cells are then guarded as above: a signed number is guarded too, which a spreadsheet would
// otherwise show as a number ("+12" as 12). For files that are not read back.
QString spreadsheetText(const QString& text);
// The reverse, for a cell read back: a "'" that guards such a text is dropped.
QString spreadsheetUnguarded(const QString& text);
QStringView spreadsheetUnguarded(QStringView text);

// One field: quoted when it holds a separator, a quote or a line break; quotes doubled.
QString csvField(const QString& text);
// A row of guarded fields, with its CRLF, in UTF-8.
QByteArray csvLine(const QStringList& cells);
// The same line appended to `lines`, for many lines turned into UTF-8 at once.
void appendCsvLine(QString& lines, const QStringList& cells);
// The same where a cell may be null: a null cell is written as nothing, an empty text as "",
// so that a reader tells the two apart (an empty field is null, a quoted one a text).
QByteArray csvLineWithNulls(const QStringList& cells);

// A CSV file's text as a spreadsheet or an editor saved it, in the file's one encoding: UTF-8
// behind a byte-order mark; without one, UTF-8 when the bytes are valid UTF-8, else GBK (a
// spreadsheet on a Chinese Windows desktop saves that) unless most lines that are not ASCII are
// UTF-8. Bytes that are not valid in that encoding, and every byte beyond ASCII of a line
// written in the other one (GBK would read a UTF-8 line as other characters), become U+FFFD,
// so that a reader can refuse them instead of storing something else.
struct CsvText {
    QString text;
    QString encoding;  // "UTF-8" or "GBK"
    // The lines (from 1) that are not valid in `encoding` but are in the other one: written in
    // it, not damaged.
    QSet<int> otherEncodingLines;
};
CsvText decodeCsvFile(const QByteArray& bytes);
// The file read in `encoding` ("UTF-8" or "GBK"), as the operator chose it; bytes not valid in
// it become U+FFFD.
CsvText decodeCsvFileAs(const QByteArray& bytes, const QString& encoding);

// A file's lines, each with its line feed, as views of its bytes.
QList<QByteArrayView> linesOf(const QByteArray& bytes);

// An unmarked file that both encodings read as text, differently: many of GBK's two-byte
// characters are valid UTF-8 as well (陆路 is C2BD C2B7, "½·" read as UTF-8), so which one was
// meant cannot be told from validity. The guess is the reading with more of the common Chinese
// characters (GB2312's first level), UTF-8 where they tie; the samples are the first line on
// which the readings differ, as each reads it.
struct TwoReadings {
    QString guess;  // "UTF-8" or "GBK"
    QString utf8Sample;
    QString gbkSample;
};
std::optional<TwoReadings> twoReadingsOf(const QByteArray& bytes);

// The records of a CSV text, every cell's characters one after another in one text: a file of
// a hundred thousand rows has millions of cells, and a string each would cost more than reading
// them.
class CsvTable {
public:
    qsizetype records() const { return lines_.size(); }
    qsizetype cells(qsizetype record) const { return firstCell_[record + 1] - firstCell_[record]; }
    QStringView cell(qsizetype record, qsizetype at) const {
        const qsizetype index = firstCell_[record] + at;
        return QStringView(text_).mid(cellStart_[index], cellStart_[index + 1] - cellStart_[index]);
    }
    QStringList cellList(qsizetype record) const;
    // Whether the cell was written in quotes ("" is an empty text, nothing a null).
    bool quoted(qsizetype record, qsizetype at) const { return quoted_[firstCell_[record] + at]; }
    // The line the record starts on, counted from 1.
    int line(qsizetype record) const { return lines_[record]; }

private:
    friend CsvTable parseCsv(const QString& text);
    QString text_;
    QVector<qsizetype> cellStart_{0};  // cell i is text_[cellStart_[i], cellStart_[i + 1])
    QVector<qsizetype> firstCell_{0};  // record r is cells [firstCell_[r], firstCell_[r + 1])
    QVector<bool> quoted_;
    QVector<int> lines_;
};

// The records of a CSV text as RFC 4180 reads them (quoted fields may hold commas, quotes and
// line breaks; CRLF or LF ends a record); blank lines are skipped. Throws std::invalid_argument
// naming the line of a quoted field that never closes, or of a quote inside an unquoted field or
// after a closed one.
CsvTable parseCsv(const QString& text);

// The name to offer for a file: "CAPTION-yyyyMMdd.csv"; and a typed name given ".csv" when it
// has no suffix.
QString suggestedCsvName(const QString& caption);
QString withCsvSuffix(const QString& path);

}  // namespace tunnel::text
