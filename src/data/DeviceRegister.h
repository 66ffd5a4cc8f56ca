#pragma once

#include "data/RegisterLog.h"
#include "platform/db/Engine.h"
#include "platform/text/Csv.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <array>
#include <functional>
#include <optional>

class QIODevice;

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

// The register file: the DEVICE columns (the sixteen the editor writes, then the message-sign
// columns), one row a device in key order, the stored values (codes as numbers, texts without
// their fixed-width padding), CSV as the history export writes it.
const QStringList& registerColumns();

// Called as work goes on; returning false cancels it.
using RegisterProgress = std::function<bool(qint64 done, qint64 total)>;

// Writes every device (of `onlyType`, when given) to `out`, a batch of keys at a time. Returns
// the rows written, or nothing when cancelled. Throws DbError.
std::optional<qint64> exportRegister(db::Database& db, std::optional<int> onlyType, QIODevice& out,
                                     const RegisterProgress& progress);

// A register file as read: its titles and its rows, cells as the file gives them with a
// spreadsheet's guard taken off.
struct RegisterFile {
    QStringList titles;            // without a last column 错误, which the import ignores
    text::CsvTable records;        // the title row first
    bool errorColumn = false;      // the file ends with the column 错误 (a refusals file mended)
    QString encoding;              // as the file was read: "UTF-8" or "GBK"
    QSet<int> otherEncodingLines;  // lines written in the other encoding (text::CsvText)
    QByteArray bytes;              // as read, for the refused rows' lines written back

    qsizetype rows() const { return records.records() - 1; }
    qsizetype cells(qsizetype row) const {
        const qsizetype cells = records.cells(row + 1);
        return errorColumn && cells == titles.size() + 1 ? titles.size() : cells;
    }
    QStringView cell(qsizetype row, qsizetype at) const;
    bool quoted(qsizetype row, qsizetype at) const { return records.quoted(row + 1, at); }
    QStringList cellList(qsizetype row) const;
    int line(qsizetype row) const { return records.line(row + 1); }  // where the row starts
    // Whether one of the row's lines is written in the other encoding.
    bool inOtherEncoding(qsizetype row) const;
};
// Throws DbError for a file that cannot be taken as a register (an unknown, doubled or missing
// key column, an unclosed quote, no title row). Read in `encoding` ("UTF-8" or "GBK") where one
// is given, else in the one its bytes show (text::decodeCsvFile); a file both read as text
// (text::twoReadingsOf) needs the operator's choice first.
RegisterFile readRegisterFile(const QByteArray& bytes, const QString& encoding = {});

// Larger than any register's file (a million devices with every text at its width).
constexpr qint64 kLargestRegisterFile = 512LL * 1024 * 1024;
// The bytes of the register file at `path`: refused, before anything is read, unless it is a
// regular file (a folder, a device or a pipe reads nothing or never ends) of at most `most`
// bytes. Throws DbError saying which.
QByteArray readRegisterFileAt(const QString& path, qint64 most = kLargestRegisterFile);

// What the two readings of a file that both encodings read as text are, for the operator who
// chooses: each reading's first differing line, and the guess.
QString twoReadingsText(const text::TwoReadings& readings);

// One device as the file gives it: a value for every register column (null, a number or a
// text); only the file's columns count (`present`). Held without variants: a file is a hundred
// thousand of them.
class ImportRow {
public:
    bool isNull(int column) const { return (nulls_ >> column) & 1U; }
    qint64 number(int column) const { return numbers_[column]; }
    const QString& text(int column) const;  // of a text column; empty when null
    QVariant value(int column) const;       // null, a number or a text, as the column holds
    void setNull(int column);
    void setNumber(int column, qint32 value);
    void setText(int column, const QString& text);

    bool exists = false;     // the key is in the register
    bool unchanged = false;  // and holds the file's values already

    static constexpr int kColumns = 23;
    static constexpr int kTexts = 7;

private:
    std::array<qint32, kColumns> numbers_{};
    quint32 nulls_ = 0;
    std::array<QString, kTexts> texts_;
};

struct RegisterRefusal {
    int row = 0;  // of the RegisterFile
    QString why;  // "COLUMN：reason", several joined by "；"
};

struct ImportPlan {
    QVector<bool> present;  // by register column
    QVector<ImportRow> rows;
    QVector<RegisterRefusal> refusals;
    ImportCounts counts;            // as the register stood when the file was checked
    bool registerWasEmpty = false;  // no device at all when the file was checked
};

// Checks every row against the editor's rules and the register's meaning, with the catalogues
// and the devices as they are stored now; nothing when cancelled. Throws DbError for a failed
// read.
std::optional<ImportPlan> checkRegisterFile(db::Database& db, const RegisterFile& file,
                                            const RegisterProgress& progress);

// On SQLite, how long other programs' writes to the file wait while the plan is written (the
// file's write lock is held only to write: about 10 µs a device added or changed, measured at
// 100,000 devices); nothing under a second, and nothing on a server, where only writes of
// DEVICE wait.
std::optional<int> secondsOthersWait(const ImportPlan& plan, db::Engine engine);

// Writes the plan in one transaction: a key that exists by then is updated in the file's
// columns, any other is inserted with the editor's defaults for the columns the file lacks; each
// device added or changed gets a log row of its own (by `funcCode`). Returns what the register
// held when it was written (another station may have changed it since the check), or nothing
// when cancelled (nothing written). Throws DbError (nothing written).
std::optional<ImportCounts> writeRegister(db::Database& db, const ImportPlan& plan, int funcCode,
                                          const RegisterProgress& progress);

// The whole file as it was, with a last column "错误" saying what is wrong with each refused row
// (empty on the others): mended in place, it imports as it stands. Saved beside the file as
// NAME.错误.csv.
QByteArray refusalsFile(const RegisterFile& file, const QVector<RegisterRefusal>& refusals);
QString refusalsPath(const QString& path);
// Saves the refusals file beside `path` and returns what to tell the user: first that rows were
// refused and nothing imported, then where the file is or why it could not be written.
QString saveRefusals(const QString& path, const RegisterFile& file,
                     const QVector<RegisterRefusal>& refusals);

}  // namespace tunnel::data
