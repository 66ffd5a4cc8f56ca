#include "data/DeviceRegister.h"
#include "data/RegisterColumns.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"
#include "platform/text/Csv.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextRules.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tunnel::data {

QStringView RegisterFile::cell(qsizetype row, qsizetype at) const {
    return text::spreadsheetUnguarded(records.cell(row + 1, at));
}

bool RegisterFile::inOtherEncoding(qsizetype row) const {
    const int last = row + 1 < rows() ? line(row + 1) : int(bytes.count('\n')) + 2;
    for (int at = line(row); at < last; ++at) {
        if (otherEncodingLines.contains(at)) {
            return true;
        }
    }
    return false;
}

QStringList RegisterFile::cellList(qsizetype row) const {
    QStringList list;
    for (qsizetype at = 0; at < cells(row); ++at) {
        list.append(cell(row, at).toString());
    }
    return list;
}

RegisterFile readRegisterFile(const QByteArray& bytes, const QString& encoding) {
    RegisterFile file;
    try {
        text::CsvText text = encoding.isEmpty() ? text::decodeCsvFile(bytes)
                                                : text::decodeCsvFileAs(bytes, encoding);
        file.encoding = text.encoding;
        file.otherEncodingLines = std::move(text.otherEncodingLines);
        file.bytes = bytes;
        file.records = text::parseCsv(text.text);
    } catch (const std::invalid_argument& error) {
        throw db::DbError(QString::fromStdString(error.what()));
    }
    if (file.records.records() == 0) {
        throw db::DbError(
            QStringLiteral("文件是空的：第一行应为列名（DEVICETYPE,DEVICECODE,...）。"));
    }
    file.titles = file.records.cellList(0);
    if (!file.titles.isEmpty() && text::trimmed(file.titles.last()) == QStringLiteral("错误")) {
        file.titles.removeLast();
        file.errorColumn = true;
    }
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

constexpr int kCheckChunk = 8192;  // rows checked between two reports of progress

// A device's key in one number that sorts as the key does: both halves are 32-bit codes.
quint64 packedKey(qint64 type, qint64 code) {
    constexpr quint32 kSign = 0x80000000u;
    return (quint64(quint32(type) ^ kSign) << 32) | (quint32(code) ^ kSign);
}

// A stored device's columns that the check compares with the file's: the file's own columns,
// and the connection columns where the file lacks one (a kept value is checked).
using StoredConnection = ImportRow;

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

// The register columns read of each stored device: the file's, and the connection columns
// where the file lacks one of them.
QVector<int> storedColumns(const QVector<bool>& present) {
    QVector<int> columns;
    const bool connectionKept = !present[kCommType] || !present[kCommData];
    for (int column = kCode + 1; column < registerRules().size(); ++column) {
        if (present[column] || (connectionKept && (column == kCommType || column == kCommData))) {
            columns.append(column);
        }
    }
    return columns;
}

// A stored value as the register file writes it (texts without their fixed-width padding, GBK
// bytes other programs stored as they meant them), so that it compares with the file's.
void setStored(ImportRow& device, int column, const QVariant& value, db::Engine engine) {
    if (value.isNull()) {
        device.setNull(column);
    } else if (registerRules()[column].number) {
        device.setNumber(column, static_cast<qint32>(value.toLongLong()));
    } else {
        device.setText(column, registerText(value, column, engine));
    }
}

Stored readStored(db::Database& db, const QVector<bool>& present) {
    Stored stored;
    stored.types = codesOf(db, QStringLiteral("select TYPECODE from DEVICETYPE"));
    stored.areas = codesOf(db, QStringLiteral("select AREACODE from AREA"));
    const QVector<int> columns = storedColumns(present);
    QStringList names = {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE")};
    // Texts as the windows read them: GBK bytes another program stored are the text they mean.
    for (const int column : columns) {
        names.append(registerRules()[column].number
                         ? registerColumnName(column)
                         : db::storedTextColumn(db.engine(), registerColumnName(column)));
    }
    db.forEachRow(QStringLiteral("select %1 from DEVICE").arg(names.join(QStringLiteral(", "))), {},
                  [&](const QVariantList& row) {
                      ImportRow device;
                      for (int i = 0; i < columns.size(); ++i) {
                          setStored(device, columns[i], row[i + 2], db.engine());
                      }
                      stored.devices.add(packedKey(row[0].toLongLong(), row[1].toLongLong()),
                                         std::move(device));
                  });
    stored.devices.sort();
    return stored;
}

// Whether a column of the row holds what the device holds (a column the file lacks is kept).
bool sameColumn(const ImportRow& row, const ImportRow& device, int column) {
    if (row.isNull(column) || device.isNull(column)) {
        return row.isNull(column) == device.isNull(column);
    }
    return registerRules()[column].number ? row.number(column) == device.number(column)
                                          : row.text(column) == device.text(column);
}

// Whether the file's columns hold what the device holds already.
bool sameAsStored(const ImportRow& row, const ImportRow& device, const QVector<bool>& present) {
    for (int column = kCode + 1; column < registerRules().size(); ++column) {
        if (present[column] && !sameColumn(row, device, column)) {
            return false;
        }
    }
    return true;
}

QString codeList(const QVector<int>& codes) {
    QStringList texts;
    for (const int code : codes) {
        texts.append(QString::number(code));
    }
    return texts.join(u'、');
}

// Nothing is stored with a replacement character: it would stand for a text nobody wrote.
QString undecodedReason(const QString& encoding) {
    return QStringLiteral(
               "含有不是有效 %1 文字的字节（文件按 %1 读出，同一个文件应整个使用同一种编码）")
        .arg(encoding);
}

// A line another editor wrote in the other encoding: its bytes may be valid in the file's, but
// read so they would be other characters.
QString otherEncodingReason(const QString& encoding) {
    return QStringLiteral(
               "这一行是按 %1 编码写的，而文件按 %2 读出（同一个文件应整个使用同一种编码）")
        .arg(encoding == u"GBK" ? QStringLiteral("UTF-8") : QStringLiteral("GBK"), encoding);
}

// A sign and decimal digits only: a number, if too long for any integer.
bool isDigits(QStringView text) {
    const QStringView digits = text.startsWith(u'-') || text.startsWith(u'+') ? text.mid(1) : text;
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                            [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A cell into the row's column; a refusal's reason goes to `why`. A text is taken as written,
// blanks and all; an empty field is a null, a quoted "" an empty text.
void readCell(const ColumnRule& rule, int column, QStringView cell, bool quoted, ImportRow& row,
              QString& why) {
    if (!rule.number) {
        const QStringView value = cell;
        if (value.isEmpty() && !quoted) {
            row.setNull(column);
            return;
        }
        const auto control = std::find_if(value.begin(), value.end(), [](QChar c) {
            return (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') ||
                   c.unicode() == 0x7F;
        });
        const qsizetype bytes = rule.gbkBytes > 0 ? text::gbkByteLength(value) : 0;
        if (control != value.end()) {
            // Other programs read a text in C up to a NUL: "a\0b" would be "a" to them.
            why =
                QStringLiteral("含有控制字符 U+%1")
                    .arg(QString::number(control->unicode(), 16).toUpper().rightJustified(4, u'0'));
        } else if (bytes > rule.gbkBytes) {
            why = QStringLiteral("过长：按 GBK 编码 %1 字节，最多 %2 字节")
                      .arg(bytes)
                      .arg(rule.gbkBytes);
        } else if (rule.characters > 0 && value.size() > rule.characters) {
            why = QStringLiteral("过长：%1 个字符，最多 %2 个")
                      .arg(value.size())
                      .arg(rule.characters);
        }
        // Never a null QString: bound, it would be written as NULL.
        row.setText(column, value.isEmpty() ? QStringLiteral("") : value.toString());
        return;
    }
    const QStringView value = text::trimmed(cell);
    row.setNull(column);
    if (value.isEmpty()) {
        if (rule.mustBeFilled) {
            why = QStringLiteral("必须填写");
        }
        return;
    }
    const std::optional<qint64> number = text::integerOf(value);
    if (!number && isDigits(value)) {
        why = QStringLiteral("%1 超出 32 位整数的范围").arg(value);
    } else if (!number) {
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
        : plan_(plan), stored_(stored), columnOf_(columnOf), rules_(registerRules()) {
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
        QVector<std::pair<int, QString>> refused;  // by column, with the reason
        for (int at = 0; at < columnOf_.size(); ++at) {
            QString reason;
            const int column = columnOf_[at];
            const QStringView cell = at < cells ? file.cell(i, at) : QStringView();
            if (cell.contains(QChar::ReplacementCharacter)) {
                reason = file.inOtherEncoding(i) ? otherEncodingReason(file.encoding)
                                                 : undecodedReason(file.encoding);
            } else {
                readCell(rules_[column], column, cell, at < cells && file.quoted(i, at), row,
                         reason);
            }
            if (!reason.isEmpty()) {
                refused.append({column, reason});
            }
        }
        const StoredConnection* device = refused.isEmpty() ? nullptr : storedDeviceOf(row, refused);
        for (const auto& [column, reason] : refused) {
            const int at = static_cast<int>(columnOf_.indexOf(column));
            if (device != nullptr && at < cells &&
                holdsStored(*device, column, file.cell(i, at), file.quoted(i, at))) {
                takeStored(row, *device, column);
            } else {
                why.append(registerColumnName(column) + u'：' + reason);
            }
        }
        if (!why.isEmpty()) {
            return row;
        }
        checkMeaning(row, why);
        return row;
    }

private:
    // The stored device of the row's key, when its key cells were read.
    const StoredConnection* storedDeviceOf(const ImportRow& row,
                                           const QVector<std::pair<int, QString>>& refused) const {
        const bool keyRead = std::none_of(refused.begin(), refused.end(), [](const auto& each) {
            return each.first == kType || each.first == kCode;
        });
        return keyRead ? stored_.devices.find(packedKey(row.number(kType), row.number(kCode)))
                       : nullptr;
    }

    // Whether a cell holds what the device holds already, as the export writes it: such a cell
    // is not a change, and passes as it is whatever it holds (another program's value the
    // rules would refuse, exported by the module and imported back).
    static bool holdsStored(const StoredConnection& device, int column, QStringView cell,
                            bool quoted) {
        if (device.isNull(column)) {
            return cell.isEmpty() && !quoted;
        }
        if (registerRules()[column].number) {
            return text::trimmed(cell) == QString::number(device.number(column));
        }
        return (quoted || !cell.isEmpty()) && cell == device.text(column);
    }

    static void takeStored(ImportRow& row, const StoredConnection& device, int column) {
        if (device.isNull(column)) {
            row.setNull(column);
        } else if (registerRules()[column].number) {
            row.setNumber(column, static_cast<qint32>(device.number(column)));
        } else {
            row.setText(column, device.text(column));
        }
    }

    void checkMeaning(ImportRow& row, QStringList& why) const {
        const qint64 type = row.number(kType);
        const StoredConnection* device = stored_.devices.find(packedKey(type, row.number(kCode)));
        row.exists = device != nullptr;
        row.unchanged = row.exists && sameAsStored(row, *device, plan_.present);
        if (row.unchanged) {
            return;  // nothing of it changes: what the register holds is not the file's to judge
        }
        if (!row.exists && !stored_.types.contains(type)) {
            why.append(QStringLiteral("DEVICETYPE：设备类型 %1 不在设备类型表中").arg(type));
        }
        const qint64 area = row.number(kAreaCode);
        if (!row.isNull(kAreaCode) && area != 0 && !stored_.areas.contains(area) &&
            !(row.exists && sameColumn(row, *device, kAreaCode))) {
            why.append(QStringLiteral("AREACODE：区域 %1 不在区域表中").arg(area));
        }
        const bool keptType = row.exists && !plan_.present[kCommType];
        const bool keptData = row.exists && !plan_.present[kCommData];
        const qint64 commType = keptType ? device->number(kCommType) : row.number(kCommType);
        const QString& commData = keptData ? device->text(kCommData) : row.text(kCommData);
        const bool connectionKept = row.exists && sameColumn(row, *device, kCommType) &&
                                    sameColumn(row, *device, kCommData);
        const QString problem = connectionKept ? QString() : commDataProblem(commType, commData);
        if (!problem.isEmpty()) {
            why.append(QStringLiteral("COMMDATA：") + problem);
        }
        if (type != kSignType) {
            for (int column = 0; column < rules_.size(); ++column) {
                if (rules_[column].signOnly && !row.isNull(column) &&
                    !(row.exists && sameColumn(row, *device, column))) {
                    why.append(registerColumnName(column) +
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
    plan.present.fill(false, registerRules().size());
    QVector<int> columnOf;
    for (const QString& title : file.titles) {
        const int column = static_cast<int>(registerColumns().indexOf(
            QRegularExpression(u'^' + QRegularExpression::escape(text::trimmed(title)) + u'$',
                               QRegularExpression::CaseInsensitiveOption)));
        columnOf.append(column);
        plan.present[column] = true;
    }
    const Stored stored = readStored(db, plan.present);
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
                (result.row.unchanged ? plan.counts.unchanged
                 : result.row.exists  ? plan.counts.updates
                                      : plan.counts.inserts) += 1;
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

// Lines `first` to `last` of the file (from 1, `last` excluded), as its bytes were, without the
// last line's end and the blank lines before it.
QByteArray linesAsRead(const QList<QByteArrayView>& lines, int first, int last) {
    QByteArray read;
    for (int line = first; line < last && line <= lines.size(); ++line) {
        read += lines[line - 1];
    }
    while (read.endsWith('\n') || read.endsWith('\r')) {
        read.chop(1);
    }
    return read;
}

bool hasUndecodedCell(const RegisterFile& file, qsizetype row) {
    for (qsizetype at = 0; at < file.cells(row); ++at) {
        if (file.cell(row, at).contains(QChar::ReplacementCharacter)) {
            return true;
        }
    }
    return false;
}

}  // namespace

// In the file's own encoding, so that the rows read back as they were: a row with bytes that
// encoding does not read is written as its bytes were, its reason after them.
QByteArray refusalsFile(const RegisterFile& file, const QVector<RegisterRefusal>& refusals) {
    const bool gbk = file.encoding == u"GBK";
    const auto encoded = [gbk](const QByteArray& utf8Line) {
        return gbk ? text::toGbk(QString::fromUtf8(utf8Line)) : utf8Line;
    };
    QByteArray bytes = gbk ? QByteArray() : QByteArray(text::kUtf8Bom);
    bytes += encoded(text::csvLine(file.titles + QStringList{QStringLiteral("错误")}));
    QHash<qsizetype, QString> why;
    for (const RegisterRefusal& refusal : refusals) {
        why.insert(refusal.row, refusal.why);
    }
    const QList<QByteArrayView> lines = text::linesOf(file.bytes);
    for (qsizetype row = 0; row < file.rows(); ++row) {
        if (!file.errorColumn && hasUndecodedCell(file, row)) {
            const int next = row + 1 < file.rows() ? file.line(row + 1) : INT_MAX;
            bytes += linesAsRead(lines, file.line(row), next);
            bytes +=
                encoded((u',' + text::csvField(why.value(row)) + QStringLiteral("\r\n")).toUtf8());
            continue;
        }
        QStringList cells;
        for (qsizetype at = 0; at < file.cells(row); ++at) {
            const QString cell = file.cell(row, at).toString();
            // An empty text stays one: "" is not the null an empty field is.
            if (cell.isEmpty()) {
                cells.append(file.quoted(row, at) ? QStringLiteral("") : QString());
            } else {
                cells.append(cell);
            }
        }
        bytes += encoded(text::csvLineWithNulls(cells + QStringList{why.value(row)}));
    }
    return bytes;
}

QString saveRefusals(const QString& path, const RegisterFile& file,
                     const QVector<RegisterRefusal>& refusals) {
    const QString refused =
        QStringLiteral("有 %1 行有错误，没有导入任何设备。").arg(refusals.size());
    const QString errors = refusalsPath(path);
    QSaveFile out(errors);
    if (!out.open(QIODevice::WriteOnly) || out.write(refusalsFile(file, refusals)) < 0 ||
        !out.commit()) {
        return refused + QStringLiteral("错误说明无法写入 %1：%2").arg(errors, out.errorString());
    }
    return refused + QStringLiteral("错误说明见 ") + errors;
}

QString refusalsPath(const QString& path) {
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".错误.csv"));
}

}  // namespace tunnel::data
