#include "data/DeviceRegister.h"

#include "data/OperationLog.h"
#include "data/Schema.h"
#include "platform/db/CopyIn.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/PreparedStatement.h"
#include "platform/db/Transaction.h"
#include "platform/text/Csv.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextRules.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

#include <cstdint>
#include <future>
#include <stdexcept>
#include <thread>

namespace tunnel::data {
namespace {

// What a register column holds and what the device editor asks of it.
struct ColumnRule {
    const char16_t* name;
    bool number;
    QVariant insertDefault;  // the editor's value for a new device; null: NULL
    bool mustBeFilled = false;
    int gbkBytes = 0;      // a register text's limit, measured as the database measures it
    int characters = 0;    // a message-sign text's limit
    QVector<int> codes{};  // the codes a coded column may hold
    bool signOnly = false;
};

const QVector<ColumnRule>& rules() {
    static const QVector<ColumnRule> all = {
        {u"DEVICETYPE", true, {}, true},
        {u"DEVICECODE", true, {}, true},
        {u"POSITION", true, 1, true},
        {u"MILIMETER", true, 1},
        {u"METER", true, 1},
        {u"STATUS", true, 1, true},
        {u"CYCLE", true, 60},
        {u"AREACODE", true, 0},
        {u"VIDEO", true, 1},
        {u"PHYSICS", false, QString(), false, 20},
        {u"BEGINPOS", false, QString(), false, 10},
        {u"ENDPOS", false, QString(), false, 10},
        {u"SIDE", true, 0, true, 0, 0, {0, 1, 2}},
        {u"COMMTYPE", true, 0, false, 0, 0, {0, 1, 2, 3, 4}},
        {u"COMMDATA", false, QString(), false, 30},
        {u"PROTOCOL", true, 0, false, 0, 0, {-1, 0, 1, 2}},
        {u"int1", true, {}, false, 0, 0, {}, true},
        {u"int2", true, {}, false, 0, 0, {}, true},
        {u"int3", true, {}, false, 0, 0, {}, true},
        {u"int4", true, {}, false, 0, 0, {}, true},
        {u"char1", false, {}, false, 0, 15, {}, true},
        {u"char2", false, {}, false, 0, 9, {}, true},
        {u"char3", false, {}, false, 0, 11, {}, true},
    };
    return all;
}

enum Column { kType = 0, kCode = 1, kAreaCode = 7, kCommType = 13, kCommData = 14 };
constexpr int kSignType = 12;
constexpr int kExportBatch = 4096;
constexpr int kValuesPerStatement = 2000;  // within every engine's limit of bound values
constexpr int kCheckChunk = 8192;          // rows checked between two reports of progress

QString columnName(int column) {
    return QString::fromUtf16(rules()[column].name);
}

QString cellText(const QVariant& value, bool number) {
    if (value.isNull()) {
        return {};
    }
    if (number) {
        return QString::number(value.toLongLong());
    }
    // Read as stored bytes on SQLite: texts other programs wrote in GBK come out as they meant.
    return text::trimmed(value.typeId() == QMetaType::QByteArray
                             ? text::fromStoredText(value.toByteArray())
                             : value.toString());
}

// The register's columns as the export reads them; on SQLite every text as its stored bytes.
QString exportColumns(db::Engine engine) {
    QStringList columns;
    for (int column = 0; column < rules().size(); ++column) {
        const QString name = columnName(column);
        columns.append(engine == db::Engine::SQLite && !rules()[column].number
                           ? QStringLiteral("CAST(%1 AS BLOB) AS %1").arg(name)
                           : name);
    }
    return columns.join(QStringLiteral(", "));
}

QString exportStatement(db::Engine engine, std::optional<int> onlyType, bool after) {
    QStringList conditions;
    if (onlyType) {
        conditions.append(QStringLiteral("DEVICETYPE=%1").arg(*onlyType));
    }
    if (after) {
        conditions.append(QStringLiteral("(DEVICETYPE>? or (DEVICETYPE=? and DEVICECODE>?))"));
    }
    return QStringLiteral("select top %1 %2 from DEVICE%3 order by DEVICETYPE, DEVICECODE")
        .arg(kExportBatch)
        .arg(exportColumns(engine),
             conditions.isEmpty()
                 ? QString()
                 : QStringLiteral(" where ") + conditions.join(QStringLiteral(" and ")));
}

qint64 countDevices(db::Database& db, std::optional<int> onlyType) {
    qint64 devices = 0;
    db.forEachRow(
        QStringLiteral("select count(*) from DEVICE") +
            (onlyType ? QStringLiteral(" where DEVICETYPE=%1").arg(*onlyType) : QString()),
        {}, [&](const QVariantList& row) { devices = row[0].toLongLong(); });
    return devices;
}

// A text column's place among a row's texts.
int textSlot(int column) {
    static const QVector<int> places = [] {
        QVector<int> all;
        int next = 0;
        for (const ColumnRule& rule : rules()) {
            all.append(rule.number ? -1 : next++);
        }
        Q_ASSERT(all.size() == ImportRow::kColumns && next == ImportRow::kTexts);
        return all;
    }();
    return places[column];
}

}  // namespace

const QString& ImportRow::text(int column) const {
    return texts_[textSlot(column)];
}

QVariant ImportRow::value(int column) const {
    if (isNull(column)) {
        return {};
    }
    return rules()[column].number ? QVariant(number(column)) : QVariant(text(column));
}

void ImportRow::setNull(int column) {
    nulls_ |= 1U << column;
    numbers_[column] = 0;
    if (!rules()[column].number) {
        texts_[textSlot(column)].clear();
    }
}

void ImportRow::setNumber(int column, qint32 value) {
    nulls_ &= ~(1U << column);
    numbers_[column] = value;
}

void ImportRow::setText(int column, const QString& text) {
    nulls_ &= ~(1U << column);
    texts_[textSlot(column)] = text;
}

const QStringList& registerColumns() {
    static const QStringList names = [] {
        QStringList all;
        for (int column = 0; column < rules().size(); ++column) {
            all.append(columnName(column));
        }
        return all;
    }();
    return names;
}

std::optional<qint64> exportRegister(db::Database& db, std::optional<int> onlyType, QIODevice& out,
                                     const RegisterProgress& progress) {
    const qint64 total = countDevices(db, onlyType);
    out.write(text::kUtf8Bom);
    out.write(text::csvLine(registerColumns()));
    qint64 written = 0;
    std::optional<QVariantList> last;
    for (;;) {
        const QVariantList after =
            last ? QVariantList{last->at(0), last->at(0), last->at(1)} : QVariantList();
        int rows = 0;
        db.forEachRow(exportStatement(db.engine(), onlyType, last.has_value()), after,
                      [&](const QVariantList& row) {
                          QStringList cells;
                          for (int column = 0; column < rules().size(); ++column) {
                              cells.append(cellText(row[column], rules()[column].number));
                          }
                          out.write(text::csvLine(cells));
                          last = QVariantList{row[kType], row[kCode]};
                          ++rows;
                      });
        written += rows;
        if (!progress(written, total)) {
            return std::nullopt;
        }
        if (rows < kExportBatch) {
            return written;
        }
    }
}

QStringView RegisterFile::cell(qsizetype row, qsizetype at) const {
    const QStringView text = records.cell(row + 1, at);
    return text.startsWith(u'\'') ? text::spreadsheetUnguarded(text) : text;
}

QStringList RegisterFile::cellList(qsizetype row) const {
    QStringList list;
    for (qsizetype at = 0; at < cells(row); ++at) {
        list.append(cell(row, at).toString());
    }
    return list;
}

RegisterFile readRegisterFile(const QByteArray& bytes) {
    RegisterFile file;
    try {
        file.records = text::parseCsv(text::decodeCsvFile(bytes));
    } catch (const std::invalid_argument& error) {
        throw db::DbError(QString::fromStdString(error.what()));
    }
    if (file.records.records() == 0) {
        throw db::DbError(
            QStringLiteral("文件是空的：第一行应为列名（DEVICETYPE,DEVICECODE,...）。"));
    }
    file.titles = file.records.cellList(0);
    QStringList seen;
    for (const QString& title : std::as_const(file.titles)) {
        const QString name = text::trimmed(title);
        if (!registerColumns().contains(name, Qt::CaseInsensitive)) {
            throw db::DbError(QStringLiteral("未知的列名“%1”：列名应为 DEVICE 表的列名（%2）。")
                                  .arg(name, registerColumns().join(u',')));
        }
        if (seen.contains(name, Qt::CaseInsensitive)) {
            throw db::DbError(QStringLiteral("列名“%1”出现了两次。").arg(name));
        }
        seen.append(name);
    }
    for (const QString& key : {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")}) {
        if (!seen.contains(key, Qt::CaseInsensitive)) {
            throw db::DbError(QStringLiteral("缺少必需的列“%1”。").arg(key));
        }
    }
    return file;
}

namespace {

// A device's key in one number that sorts as the key does: both halves are 32-bit codes.
quint64 packedKey(qint64 type, qint64 code) {
    constexpr quint32 kSign = 0x80000000u;
    return (quint64(quint32(type) ^ kSign) << 32) | (quint32(code) ^ kSign);
}

struct StoredConnection {
    qint64 commType = 0;
    QString commData;
};

// The devices stored, by key in key order. A file mostly comes in key order, so its look-ups
// walk the keys as they lie in memory, where a hash of a hundred thousand devices would miss
// the cache on every row.
class StoredDevices {
public:
    void add(quint64 key, StoredConnection connection) {
        entries_.push_back({key, std::move(connection)});
    }
    void sort() {
        std::sort(entries_.begin(), entries_.end(),
                  [](const Entry& a, const Entry& b) { return a.key < b.key; });
    }
    bool isEmpty() const { return entries_.empty(); }
    // Nothing when the key is not stored.
    const StoredConnection* find(quint64 key) const {
        const auto at = std::lower_bound(entries_.begin(), entries_.end(), key,
                                         [](const Entry& e, quint64 k) { return e.key < k; });
        return at != entries_.end() && at->key == key ? &at->connection : nullptr;
    }

private:
    struct Entry {
        quint64 key;
        StoredConnection connection;
    };
    std::vector<Entry> entries_;
};

// What the register holds now: the catalogues and its devices.
struct Stored {
    QSet<qint64> types;
    QSet<qint64> areas;
    StoredDevices devices;
};

QSet<qint64> codesOf(db::Database& db, const QString& sql) {
    QSet<qint64> codes;
    db.forEachRow(sql, {}, [&](const QVariantList& row) { codes.insert(row[0].toLongLong()); });
    return codes;
}

// The devices' connection columns are read only when the file lacks one of them (a kept value
// is then checked): otherwise their keys are all the check needs.
Stored readStored(db::Database& db, bool connectionKept) {
    Stored stored;
    stored.types = codesOf(db, QStringLiteral("select TYPECODE from DEVICETYPE"));
    stored.areas = codesOf(db, QStringLiteral("select AREACODE from AREA"));
    const QString columns = connectionKept
                                ? QStringLiteral("DEVICETYPE, DEVICECODE, COMMTYPE, COMMDATA")
                                : QStringLiteral("DEVICETYPE, DEVICECODE");
    db.forEachRow(
        QStringLiteral("select %1 from DEVICE").arg(columns), {}, [&](const QVariantList& row) {
            stored.devices.add(packedKey(row[0].toLongLong(), row[1].toLongLong()),
                               connectionKept ? StoredConnection{row[2].toLongLong(),
                                                                 text::trimmed(row[3].toString())}
                                              : StoredConnection{});
        });
    stored.devices.sort();
    return stored;
}

QString codeList(const QVector<int>& codes) {
    QStringList texts;
    for (const int code : codes) {
        texts.append(QString::number(code));
    }
    return texts.join(u'、');
}

// Measured as the database measures it; ASCII, most of a register, needs no conversion.
qsizetype gbkLength(QStringView text) {
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    return ascii ? text.size() : text::gbkByteLength(text.toString());
}

// A cell into the row's column; a refusal's reason goes to `why`.
void readCell(const ColumnRule& rule, int column, QStringView cell, ImportRow& row, QString& why) {
    const QStringView value = text::trimmed(cell);
    if (!rule.number) {
        const qsizetype bytes = rule.gbkBytes > 0 ? gbkLength(value) : 0;
        if (bytes > rule.gbkBytes) {
            why = QStringLiteral("过长：按 GBK 编码 %1 字节，最多 %2 字节")
                      .arg(bytes)
                      .arg(rule.gbkBytes);
        } else if (rule.characters > 0 && value.size() > rule.characters) {
            why = QStringLiteral("过长：%1 个字符，最多 %2 个")
                      .arg(value.size())
                      .arg(rule.characters);
        }
        if (value.isEmpty() && rule.signOnly) {
            row.setNull(column);
        } else {
            row.setText(column, value.toString());
        }
        return;
    }
    row.setNull(column);
    if (value.isEmpty()) {
        if (rule.mustBeFilled) {
            why = QStringLiteral("必须填写");
        }
        return;
    }
    const std::optional<qint64> number = text::integerOf(value);
    if (!number) {
        why = QStringLiteral("“%1”不是整数").arg(value);
    } else if (*number < INT32_MIN || *number > INT32_MAX) {
        why = QStringLiteral("%1 超出 32 位整数的范围").arg(value);
    } else if (!rule.codes.isEmpty() && !rule.codes.contains(static_cast<int>(*number))) {
        why = QStringLiteral("%1 不是可用的代码（应为 %2）").arg(value, codeList(rule.codes));
    } else {
        row.setNumber(column, static_cast<qint32>(*number));
    }
}

// "PORT;BAUD,DATABITS,PARITY,STOPBITS": four commas-free pieces around a parity of O, E or N.
bool isSerialSettings(QStringView text) {
    const QList<QStringView> halves = text.split(u';');
    if (halves.size() != 2 || halves[0].contains(u',')) {
        return false;
    }
    const QList<QStringView> line = halves[1].split(u',');
    return line.size() == 4 && (line[2] == u"O" || line[2] == u"E" || line[2] == u"N");
}

// The connection text that a connection type gives (empty: anything goes).
QString commDataProblem(qint64 commType, QStringView commData) {
    switch (commType) {
        case 0:
            return commData.isEmpty() ? QString()
                                      : QStringLiteral("连接类型为 0（未使用）时应为空");
        case 2:
            return isSerialSettings(commData) ? QString()
                                              : QStringLiteral("串口参数应形如 1;9600,8,N,1");
        case 3:
        case 4:
            return commData.isEmpty() || commData == u"0" || commData == u"1"
                       ? QString()
                       : QStringLiteral("接线标记应为 0 或 1");
        default:
            return {};
    }
}

class RowCheck {
public:
    RowCheck(const ImportPlan& plan, const Stored& stored, const QVector<int>& columnOf)
        : plan_(plan), stored_(stored), columnOf_(columnOf), rules_(rules()) {
        for (int column = 0; column < rules_.size(); ++column) {
            const QVariant value =
                plan_.present[column] ? QVariant() : rules_[column].insertDefault;
            if (value.isNull()) {
                defaults_.setNull(column);
            } else if (rules_[column].number) {
                defaults_.setNumber(column, value.toInt());
            } else {
                defaults_.setText(column, value.toString());
            }
        }
    }

    ImportRow check(const RegisterFile& file, qsizetype i, QStringList& why) const {
        ImportRow row = defaults_;
        const qsizetype cells = file.cells(i);
        for (int at = 0; at < columnOf_.size(); ++at) {
            QString reason;
            const int column = columnOf_[at];
            readCell(rules_[column], column, at < cells ? file.cell(i, at) : QStringView(), row,
                     reason);
            if (!reason.isEmpty()) {
                why.append(columnName(column) + u'：' + reason);
            }
        }
        if (!why.isEmpty()) {
            return row;
        }
        checkMeaning(row, why);
        return row;
    }

private:
    void checkMeaning(ImportRow& row, QStringList& why) const {
        const qint64 type = row.number(kType);
        const StoredConnection* device = stored_.devices.find(packedKey(type, row.number(kCode)));
        row.exists = device != nullptr;
        if (!stored_.types.contains(type)) {
            why.append(QStringLiteral("DEVICETYPE：设备类型 %1 不在设备类型表中").arg(type));
        }
        const qint64 area = row.number(kAreaCode);
        if (!row.isNull(kAreaCode) && area != 0 && !stored_.areas.contains(area)) {
            why.append(QStringLiteral("AREACODE：区域 %1 不在区域表中").arg(area));
        }
        const bool keptType = row.exists && !plan_.present[kCommType];
        const bool keptData = row.exists && !plan_.present[kCommData];
        const qint64 commType = keptType ? device->commType : row.number(kCommType);
        const QString& commData = keptData ? device->commData : row.text(kCommData);
        const QString problem = commDataProblem(commType, commData);
        if (!problem.isEmpty()) {
            why.append(QStringLiteral("COMMDATA：") + problem);
        }
        if (type != kSignType) {
            for (int column = 0; column < rules_.size(); ++column) {
                if (rules_[column].signOnly && !row.isNull(column)) {
                    why.append(columnName(column) +
                               QStringLiteral("：只有信息板（设备类型 12）可以填写"));
                }
            }
        }
    }

    const ImportPlan& plan_;
    const Stored& stored_;
    const QVector<int>& columnOf_;
    const QVector<ColumnRule>& rules_;
    ImportRow defaults_;  // a row before its cells: the editor's values, null for the file's
};

struct CheckedRow {
    ImportRow row;
    QStringList why;
};

CheckedRow checkRow(const RowCheck& checker, const RegisterFile& file, qsizetype i) {
    CheckedRow result;
    if (file.cells(i) != file.titles.size()) {
        result.why.append(QStringLiteral("本行有 %1 个字段，标题行有 %2 个")
                              .arg(file.cells(i))
                              .arg(file.titles.size()));
    }
    result.row = checker.check(file, i, result.why);
    return result;
}

// Rows `first` to `last` checked, half of them on a thread of their own: each row's check
// stands alone, and a file of a hundred thousand rows is mostly this.
QVector<CheckedRow> checkInParallel(const RowCheck& checker, const RegisterFile& file, int first,
                                    int last) {
    QVector<CheckedRow> checked(last - first);
    CheckedRow* const results = checked.data();  // each thread writes its own elements
    const int middle = first + (last - first) / 2;
    const auto checkRange = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            results[i - first] = checkRow(checker, file, i);
        }
    };
    std::thread upper(checkRange, middle, last);
    checkRange(first, middle);
    upper.join();
    return checked;
}

}  // namespace

std::optional<ImportPlan> checkRegisterFile(db::Database& db, const RegisterFile& file,
                                            const RegisterProgress& progress) {
    ImportPlan plan;
    plan.present.fill(false, rules().size());
    QVector<int> columnOf;
    for (const QString& title : file.titles) {
        const int column = static_cast<int>(registerColumns().indexOf(
            QRegularExpression(u'^' + QRegularExpression::escape(text::trimmed(title)) + u'$',
                               QRegularExpression::CaseInsensitiveOption)));
        columnOf.append(column);
        plan.present[column] = true;
    }
    const Stored stored = readStored(db, !plan.present[kCommType] || !plan.present[kCommData]);
    plan.registerWasEmpty = stored.devices.isEmpty();
    const RowCheck checker(plan, stored, columnOf);
    const int rows = static_cast<int>(file.rows());
    plan.rows.reserve(rows);
    QHash<quint64, int> firstLine;
    firstLine.reserve(rows);
    for (int first = 0; first < rows; first += kCheckChunk) {
        const int last = std::min(first + kCheckChunk, rows);
        QVector<CheckedRow> checked = checkInParallel(checker, file, first, last);
        for (int i = first; i < last; ++i) {
            CheckedRow& result = checked[i - first];
            if (result.why.isEmpty()) {
                const qint64 type = result.row.number(kType);
                const qint64 code = result.row.number(kCode);
                const auto seen = firstLine.constFind(packedKey(type, code));
                if (seen != firstLine.constEnd()) {
                    result.why.append(QStringLiteral("设备 %1-%2 在第 %3 行已出现")
                                          .arg(type)
                                          .arg(code)
                                          .arg(seen.value()));
                } else {
                    firstLine.insert(packedKey(type, code), file.line(i));
                }
            }
            if (!result.why.isEmpty()) {
                plan.refusals.append({i, result.why.join(u'；')});
            } else {
                (result.row.exists ? plan.updates : plan.inserts) += 1;
                plan.rows.append(std::move(result.row));
            }
        }
        if (!progress(last, rows)) {
            return std::nullopt;
        }
    }
    return plan;
}

namespace {

// The column assignments of an update from the file's columns (the key stays).
QStringList updatedColumns(const QVector<bool>& present, const QString& form) {
    QStringList updates;
    for (int column = kCode + 1; column < rules().size(); ++column) {
        if (present[column]) {
            updates.append(form.arg(columnName(column)));
        }
    }
    return updates;
}

// Rows from `source` (VALUES or a SELECT) into DEVICE; a key that exists by then is updated.
// On PostgreSQL a device whose columns hold the file's values already is left as it is: no new
// row version, no index entries (a file exported and imported again changes nothing).
QString upsertFrom(const QString& source, const QVector<bool>& present, db::Engine engine) {
    const QStringList updates = updatedColumns(present, QStringLiteral("%1=excluded.%1"));
    QString unchanged;
    if (engine == db::Engine::PostgreSQL && !updates.isEmpty()) {
        unchanged = QStringLiteral(" WHERE (%1) IS DISTINCT FROM (%2)")
                        .arg(updatedColumns(present, QStringLiteral("DEVICE.%1")).join(u','),
                             updatedColumns(present, QStringLiteral("excluded.%1")).join(u','));
    }
    return QStringLiteral("INSERT INTO DEVICE (%1) %2 ON CONFLICT (DEVICETYPE, DEVICECODE) %3")
        .arg(registerColumns().join(u','), source,
             updates.isEmpty() ? QStringLiteral("DO NOTHING")
                               : QStringLiteral("DO UPDATE SET ") + updates.join(u',') + unchanged);
}

QString mergeFrom(const QString& values, const QVector<bool>& present) {
    const QStringList updates = updatedColumns(present, QStringLiteral("t.%1=s.%1"));
    const QString names = registerColumns().join(u',');
    return QStringLiteral(
               "MERGE DEVICE WITH (HOLDLOCK) AS t USING (%1) AS s(%2) ON "
               "t.DEVICETYPE=s.DEVICETYPE AND t.DEVICECODE=s.DEVICECODE%3 WHEN NOT MATCHED "
               "THEN INSERT (%2) VALUES (s.%4);")
        .arg(values, names,
             updates.isEmpty()
                 ? QString()
                 : QStringLiteral(" WHEN MATCHED THEN UPDATE SET ") + updates.join(u','),
             registerColumns().join(QStringLiteral(",s.")));
}

QString upsertStatement(db::Engine engine, const QVector<bool>& present, int rows) {
    const QString tuple =
        u'(' + QStringList(registerColumns().size(), QStringLiteral("?")).join(u',') + u')';
    const QString values = QStringLiteral("VALUES ") + QStringList(rows, tuple).join(u',');
    return engine == db::Engine::SqlServer ? mergeFrom(values, present)
                                           : upsertFrom(values, present, engine);
}

void addRow(db::CopyIn& copy, const ImportRow& row) {
    for (int column = 0; column < rules().size(); ++column) {
        if (row.isNull(column)) {
            copy.addNull();
        } else if (rules()[column].number) {
            copy.addNumber(row.number(column));
        } else {
            copy.addText(row.text(column));
        }
    }
    copy.endRow();
}

// The plan's rows into `table` through COPY, with the progress. False when cancelled.
bool copyRows(db::Database& db, const QString& table, const ImportPlan& plan,
              const RegisterProgress& progress) {
    db::CopyIn copy(db, table, registerColumns());
    for (qsizetype i = 0; i < plan.rows.size(); ++i) {
        addRow(copy, plan.rows[i]);
        if ((i + 1) % kExportBatch == 0 && !progress(i + 1, plan.rows.size())) {
            return false;
        }
    }
    copy.finish();
    return true;
}

// PostgreSQL: the rows stream into a temporary table through COPY (bound values go one by one
// through the protocol's text form), then one statement moves them.
bool copyThroughStaging(db::Database& db, const ImportPlan& plan,
                        const RegisterProgress& progress) {
    db.execute(QStringLiteral("CREATE TEMP TABLE register_rows (LIKE DEVICE) ON COMMIT DROP"));
    if (!copyRows(db, QStringLiteral("register_rows"), plan, progress)) {
        return false;
    }
    db.execute(
        upsertFrom(QStringLiteral("SELECT %1 FROM register_rows").arg(registerColumns().join(u',')),
                   plan.present, db.engine()));
    return progress(plan.rows.size(), plan.rows.size());
}

// Devices deleted and not yet vacuumed leave their keys in the primary key, and every row copied
// under the same key would visit each of them: a table with nothing alive in it starts again from
// empty storage. TRUNCATE needs a privilege of its own and no foreign key pointing at the table;
// where either is missing the rows simply go in beside the dead ones, as an insert would.
void startFromEmptyStorage(db::Database& db) {
    db.execute(QStringLiteral("SAVEPOINT empty_register"));
    try {
        db.execute(QStringLiteral("TRUNCATE TABLE DEVICE"));
        db.execute(QStringLiteral("RELEASE SAVEPOINT empty_register"));
    } catch (const db::DbError&) {
        db.execute(QStringLiteral("ROLLBACK TO SAVEPOINT empty_register"));
    }
}

// PostgreSQL, a register still empty (a new installation's first import): loaded as tunneldb
// generate loads it. The table is locked for the transaction (no device is there for another
// station to read, and none may come meanwhile), its secondary indexes go, the rows are copied
// straight in and the indexes are built once after them: inserting each row into indexes that
// hold many equal values costs more than the rows. False when the register is not empty now.
std::optional<bool> copyIntoEmptyRegister(db::Database& db, const ImportPlan& plan,
                                          const RegisterProgress& progress) {
    db.execute(QStringLiteral("LOCK TABLE DEVICE IN ACCESS EXCLUSIVE MODE"));
    bool any = false;
    db.forEachRow(QStringLiteral("select top 1 DEVICETYPE from DEVICE"), {},
                  [&](const QVariantList&) { any = true; });
    if (any) {
        return std::nullopt;
    }
    startFromEmptyStorage(db);
    for (const QString& drop : dropIndexStatements(db, QStringLiteral("DEVICE"))) {
        db.execute(drop);
    }
    if (!copyRows(db, QStringLiteral("DEVICE"), plan, progress)) {
        return false;
    }
    for (const QString& create : createIndexStatements(db, QStringLiteral("DEVICE"))) {
        db.execute(create);
    }
    return progress(plan.rows.size(), plan.rows.size());
}

bool writeOnPostgres(db::Database& db, const ImportPlan& plan, const RegisterProgress& progress) {
    if (plan.registerWasEmpty) {
        if (const std::optional<bool> written = copyIntoEmptyRegister(db, plan, progress)) {
            return *written;
        }
    }
    return copyThroughStaging(db, plan, progress);
}

bool insertInBatches(db::Database& db, const ImportPlan& plan, const RegisterProgress& progress) {
    const int perStatement = std::max(1, kValuesPerStatement / static_cast<int>(rules().size()));
    std::optional<db::PreparedStatement> full;
    for (qsizetype first = 0; first < plan.rows.size(); first += perStatement) {
        const int rows =
            static_cast<int>(std::min<qsizetype>(perStatement, plan.rows.size() - first));
        QVariantList values;
        for (qsizetype i = first; i < first + rows; ++i) {
            for (int column = 0; column < rules().size(); ++column) {
                values.append(plan.rows[i].value(column));
            }
        }
        if (rows < perStatement) {
            db::PreparedStatement(db, upsertStatement(db.engine(), plan.present, rows)).run(values);
        } else {
            if (!full) {
                full.emplace(db, upsertStatement(db.engine(), plan.present, perStatement));
            }
            full->run(values);
        }
        if (!progress(first + rows, plan.rows.size())) {
            return false;
        }
    }
    return true;
}

// The import's log text: how many devices were added and changed, and their keys.
QString importedText(const ImportPlan& plan) {
    QString text = QStringLiteral("新增 %1 台，修改 %2 台：").arg(plan.inserts).arg(plan.updates);
    text.reserve(text.size() + plan.rows.size() * 32);
    for (const ImportRow& row : plan.rows) {
        if (&row != plan.rows.constData()) {
            text += u"; ";
        }
        text += u"DEVICETYPE=";
        text += QString::number(row.number(kType));
        text += u",DEVICECODE=";
        text += QString::number(row.number(kCode));
    }
    return text;
}

void logImport(db::Database& db, const ImportPlan& plan, int funcCode, const QString& text) {
    logChange(db, {funcCode, QStringLiteral("导入"), QStringLiteral("DEVICE"),
                   QStringLiteral("%1 台设备").arg(plan.rows.size()), QString(), text});
}

}  // namespace

bool writeRegister(db::Database& db, const ImportPlan& plan, int funcCode,
                   const RegisterProgress& progress) {
    // Made while the server takes the rows: a hundred thousand keys are tens of milliseconds.
    std::future<QString> logText = std::async(std::launch::async, importedText, std::cref(plan));
    db::Transaction transaction(db);
    const bool written = db.engine() == db::Engine::PostgreSQL
                             ? writeOnPostgres(db, plan, progress)
                             : insertInBatches(db, plan, progress);
    if (!written) {
        return false;
    }
    logImport(db, plan, funcCode, logText.get());
    transaction.commit();
    return true;
}

QByteArray refusalsFile(const RegisterFile& file, const QVector<RegisterRefusal>& refusals) {
    QByteArray bytes(text::kUtf8Bom);
    bytes += text::csvLine(file.titles + QStringList{QStringLiteral("错误")});
    for (const RegisterRefusal& refusal : refusals) {
        bytes += text::csvLine(file.cellList(refusal.row) + QStringList{refusal.why});
    }
    return bytes;
}

QString refusalsPath(const QString& path) {
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".错误.csv"));
}

}  // namespace tunnel::data
