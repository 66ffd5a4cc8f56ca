#include "platform/db/KeysetQueryModel.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <QScopedValueRollback>
#include <QSqlRecord>

#include <algorithm>
#include <iterator>

namespace tunnel::db {
namespace {

// A walk reads more rows a statement than the grid.
constexpr int kWalkBatch = 4096;

// Where a field stands among a result's fields, found as the engines name them (any case);
// -1 when it is not there.
int indexOfField(const QStringList& fields, const QString& field) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].compare(field, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QVector<int> shownFieldsOf(const KeysetQueryModel::Plan& plan) {
    QVector<int> shown;
    for (const GridColumn& column : plan.columns) {
        shown.append(indexOfField(plan.fields, column.field));
    }
    return shown;
}

}  // namespace

KeysetQueryModel::KeysetQueryModel(QObject* parent) : GridModel(parent) {}

KeysetQueryModel::~KeysetQueryModel() = default;

void KeysetQueryModel::setOrder(GridOrder order) {
    order_ = std::move(order);
}

void KeysetQueryModel::close() {
    beginResetModel();
    cache_.clear();
    endBelow_ = true;
    startAbove_ = true;
    endResetModel();
}

KeysetQueryModel::Plan KeysetQueryModel::preparedPlan() {
    if (order_.columns.isEmpty()) {
        throw DbError(QStringLiteral("表格没有给出读取行的次序。"), {}, false, statement());
    }
    const Engine engine = database().engine();
    GridSelect select{gridSource(statement(), engine), engine, {}};
    if (engine == Engine::SQLite) {
        const QString probe = fieldsProbeSql(select.source, engine);
        const QSqlRecord record = database().select(probe, Database::Written::ForEngine).record();
        for (int i = 0; i < record.count(); ++i) {
            select.fields.append(record.fieldName(i));
        }
    }
    return {std::move(select), order_, {}, {}, columns(), batchSize_};
}

void KeysetQueryModel::adoptFields() {
    if (cache_.fields() != plan_.fields) {
        cache_.reset(plan_.fields);
    }
}

void KeysetQueryModel::show(Rows above, Rows below) {
    beginResetModel();
    adoptFields();
    std::reverse(above.begin(), above.end());
    for (auto& row : above) {
        cache_.append(std::move(row));
    }
    for (auto& row : below) {
        cache_.append(std::move(row));
    }
    endResetModel();
}

void KeysetQueryModel::reload() {
    close();
    plan_ = preparedPlan();
    Rows rows = readBatch(plan_, true, std::nullopt, 0, endBelow_);
    startAbove_ = true;
    show({}, std::move(rows));
}

void KeysetQueryModel::reloadAtEnd() {
    close();
    plan_ = preparedPlan();
    Rows rows = readBatch(plan_, false, std::nullopt, 0, startAbove_);
    endBelow_ = true;
    show(std::move(rows), {});
}

int KeysetQueryModel::reloadAt(const QVariantList& anchor) {
    close();
    plan_ = preparedPlan();
    // Both ways from the anchor; the rows at the anchor are read both ways, and left out above
    // as many as came below.
    std::vector<RunRows> reads = readAsks(plan_, {{true, anchor, 0}, {false, anchor, plan_.batch}});
    Rows below = batchOf(plan_, std::move(reads[0]), anchor, 0, endBelow_);
    const auto atAnchor = std::count_if(below.begin(), below.end(), [&](const auto& row) {
        return sameValues(orderValuesOf(plan_, row), anchor);
    });
    Rows above =
        batchOf(plan_, std::move(reads[1]), anchor, static_cast<int>(atAnchor), startAbove_);
    const int anchorRow = below.empty() ? -1 : static_cast<int>(above.size());
    show(std::move(above), std::move(below));
    return anchorRow;
}

KeysetQueryModel::Place KeysetQueryModel::reloadOnRow(const QStringList& fields,
                                                      const QVariantList& values,
                                                      const QVariantList& otherwise) {
    Plan plan = preparedPlan();
    const BoundSql matching = matchingRowsSql(plan.select, plan.order, fields, values);
    ResultFields names;
    QSqlQuery& match = execute(matching.sql, matching.values, plan.order.columns, &names);
    useFields(plan, names.names);
    QVariantList anchor = otherwise;
    bool found = false;
    if (database().next(match, statement())) {
        anchor = orderValuesOf(plan, readRow(match, names));
        found = true;
    }
    match.finish();
    if (anchor.isEmpty()) {
        reload();
        return {isEmpty() ? -1 : 0, false};
    }
    int row = reloadAt(anchor);
    if (row < 0) {
        row = static_cast<int>(cache_.size()) - 1;
    }
    return {row, found && row >= 0 && cache_.find(fields, values, row) == row};
}

KeysetQueryModel::Rows KeysetQueryModel::readBatch(Plan& plan, bool forward,
                                                   std::optional<QVariantList> from, int skip,
                                                   bool& ends) {
    std::vector<RunRows> reads = readAsks(plan, {{forward, from, skip}});
    return batchOf(plan, std::move(reads.front()), from, skip, ends);
}

std::vector<KeysetQueryModel::RunRows> KeysetQueryModel::readAsks(
    Plan& plan, const std::vector<BatchAsk>& asks) {
    // One run alone is read by the plain statement: wrapping it would only cost the server.
    const bool oneRun = asks.size() == 1 && !runsOf(plan, asks.front()).second;
    if (database().engine() == Engine::PostgreSQL && !oneRun) {
        return readAsksTogether(plan, asks);
    }
    std::vector<RunRows> reads;
    for (const BatchAsk& ask : asks) {
        reads.push_back(readAsk(plan, ask));
    }
    return reads;
}

std::pair<NullRun, std::optional<NullRun>> KeysetQueryModel::runsOf(const Plan& plan,
                                                                    const BatchAsk& ask) {
    // From the start one statement reads across both runs; from a row, its run is read and,
    // where it ends first, the next.
    const NullRun run = ask.from ? runOf(*ask.from) : NullRun::Both;
    return {run, nextRun(run, plan.order, ask.forward, database().engine())};
}

KeysetQueryModel::RunRows KeysetQueryModel::readAsk(Plan& plan, const BatchAsk& ask) {
    const auto readRun = [&](const KeysetRead& read) {
        const BoundSql batch = keysetSql(plan.select, plan.order, read);
        ResultFields fields;
        QSqlQuery& query = execute(batch.sql, batch.values, plan.order.columns, &fields);
        useFields(plan, fields.names);
        Rows rows;
        while (database().next(query, batch.sql)) {
            rows.push_back(readRow(query, fields));
        }
        query.finish();
        return rows;
    };
    const auto [run, next] = runsOf(plan, ask);
    RunRows read;
    read.firstLimit = plan.batch + ask.slack;
    read.first = readRun({ask.forward, ask.from, run, read.firstLimit});
    if (next && static_cast<int>(read.first.size()) < read.firstLimit) {
        read.next = readRun({ask.forward, std::nullopt, *next, plan.batch});
    }
    return read;
}

std::vector<KeysetQueryModel::RunRows> KeysetQueryModel::readAsksTogether(
    Plan& plan, const std::vector<BatchAsk>& asks) {
    QVector<KeysetRead> runs;
    std::vector<RunRows> reads(asks.size());
    std::vector<std::pair<size_t, bool>> owners;  // the ask of each run, and whether it is next
    for (size_t i = 0; i < asks.size(); ++i) {
        const BatchAsk& ask = asks[i];
        const auto [run, next] = runsOf(plan, ask);
        reads[i].firstLimit = plan.batch + ask.slack;
        runs.append({ask.forward, ask.from, run, reads[i].firstLimit});
        owners.emplace_back(i, false);
        if (next) {
            runs.append({ask.forward, std::nullopt, *next, plan.batch});
            owners.emplace_back(i, true);
            reads[i].next.emplace();
        }
    }
    const BoundSql together = keysetReadsSql(plan.select, plan.order, runs);
    ResultFields fields;
    QSqlQuery& query = execute(together.sql, together.values, plan.order.columns, &fields);
    if (fields.stored < kReadFields) {
        // A statement that failed only as its rows began to come says so as they are read.
        database().next(query, together.sql);
        throw DbError(QStringLiteral("数据库没有给出表格的行。"), {}, false, together.sql);
    }
    // The read's number and place close the statement's own fields; the rows leave them out.
    const int readColumn = fields.stored - kReadFields;
    fields.names.remove(readColumn, kReadFields);
    fields.stored -= kReadFields;
    useFields(plan, fields.names);
    while (database().next(query, together.sql)) {
        const auto [ask, next] = owners.at(query.value(readColumn).toUInt());
        (next ? *reads[ask].next : reads[ask].first).push_back(readRow(query, fields));
    }
    query.finish();
    return reads;
}

KeysetQueryModel::Rows KeysetQueryModel::batchOf(const Plan& plan, RunRows read,
                                                 const std::optional<QVariantList>& from, int skip,
                                                 bool& ends) const {
    const auto batch = static_cast<size_t>(plan.batch);
    const bool firstEnded = static_cast<int>(read.first.size()) < read.firstLimit;
    Rows rows;
    for (RowCache::Row& row : read.first) {
        if (skip > 0 && from && sameValues(orderValuesOf(plan, row), *from)) {
            --skip;
            continue;
        }
        skip = 0;
        rows.push_back(std::move(row));
    }
    ends = false;
    if (rows.size() > batch || !firstEnded) {
        rows.resize(std::min(rows.size(), batch));
        return rows;
    }
    if (!read.next) {
        ends = true;  // no run follows
        return rows;
    }
    const size_t taken = std::min(read.next->size(), batch - rows.size());
    ends = read.next->size() < batch && taken == read.next->size();
    std::move(read.next->begin(), read.next->begin() + static_cast<std::ptrdiff_t>(taken),
              std::back_inserter(rows));
    return rows;
}

void KeysetQueryModel::useFields(Plan& plan, const QStringList& fields) const {
    plan.fields = fields;
    plan.orderColumns.clear();
    for (qsizetype i = 0; i < plan.order.columns.size(); ++i) {
        const QString& column = plan.order.columns[i];
        // Where texts are read as their stored bytes too, a batch resumes from those.
        const QString stored = keyField(static_cast<int>(i));
        const QString wanted = fields.contains(stored) ? stored : column;
        const int index = indexOfField(fields, wanted);
        if (index < 0) {
            throw DbError(QStringLiteral("结果中没有排序所需的“%1”列。").arg(column), {}, false,
                          statement());
        }
        plan.orderColumns.append(index);
    }
}

QVariantList KeysetQueryModel::orderValuesOf(const Plan& plan, const RowCache::Row& row) {
    QVariantList values;
    for (const int column : plan.orderColumns) {
        values.append(column < row.size() ? row[column] : QVariant());
    }
    return values;
}

QVariantList KeysetQueryModel::orderValues(int row) const {
    QVariantList values;
    for (const int column : plan_.orderColumns) {
        values.append(cache_.value(row, column));
    }
    return values;
}

bool KeysetQueryModel::sameValues(const QVariantList& one, const QVariantList& other) {
    if (one.size() != other.size()) {
        return false;
    }
    for (qsizetype i = 0; i < one.size(); ++i) {
        if (one[i].isNull() != other[i].isNull()) {
            return false;
        }
        const bool stored =
            one[i].typeId() == QMetaType::QByteArray || other[i].typeId() == QMetaType::QByteArray;
        if (stored ? one[i].toByteArray() != other[i].toByteArray()
                   : textOf(one[i]) != textOf(other[i])) {
            return false;
        }
    }
    return true;
}

int KeysetQueryModel::tiesAtEdge(bool forward) const {
    const int size = static_cast<int>(cache_.size());
    if (size == 0) {
        return 0;
    }
    const int edge = forward ? size - 1 : 0;
    const QVariantList values = orderValues(edge);
    int ties = 0;
    for (int row = edge; row >= 0 && row < size; row += forward ? -1 : 1) {
        if (!sameValues(orderValues(row), values)) {
            break;
        }
        ++ties;
    }
    return ties;
}

int KeysetQueryModel::fetch(bool forward) {
    const QScopedValueRollback guard(fetching_, true);
    const int edge = forward ? static_cast<int>(cache_.size()) - 1 : 0;
    Rows rows = readBatch(plan_, forward, orderValues(edge), tiesAtEdge(forward),
                          forward ? endBelow_ : startAbove_);
    adoptFields();
    if (rows.empty()) {
        (forward ? endBelow_ : startAbove_) = true;
        return 0;
    }
    const int count = static_cast<int>(rows.size());
    if (forward) {
        const int first = static_cast<int>(cache_.size());
        beginInsertRows({}, first, first + count - 1);
        for (auto& row : rows) {
            cache_.append(std::move(row));
        }
    } else {
        beginInsertRows({}, 0, count - 1);
        std::reverse(rows.begin(), rows.end());
        cache_.prepend(std::move(rows));
    }
    endInsertRows();
    trim(forward);
    return count;
}

void KeysetQueryModel::trim(bool forward) {
    const int limit = std::max(cacheLimit_, 2 * batchSize_);
    const int excess = static_cast<int>(cache_.size()) - limit;
    if (excess <= 0) {
        return;
    }
    const int size = static_cast<int>(cache_.size());
    if (forward) {
        beginRemoveRows({}, 0, excess - 1);
        cache_.dropFront(excess);
        startAbove_ = false;
    } else {
        beginRemoveRows({}, size - excess, size - 1);
        cache_.dropBack(excess);
        endBelow_ = false;
    }
    endRemoveRows();
}

KeysetQueryModel::WalkPosition KeysetQueryModel::startWalk() {
    WalkPosition position;
    position.plan = preparedPlan();
    position.plan.batch = kWalkBatch;
    position.shownFields = shownFieldsOf(position.plan);
    return position;
}

void KeysetQueryModel::countOn(WalkPosition& position) {
    if (position.ended) {
        return;
    }
    if (database().engine() == Engine::SqlServer) {
        countChunkOn(position);
        return;
    }
    if (!position.count) {
        position.count =
            std::make_shared<EngineCount>(connectionString(), countSql(position.plan.select));
    }
    position.waiting = !position.count->finished();
    if (position.waiting) {
        return;
    }
    position.rows = position.count->result();
    position.ended = true;
}

void KeysetQueryModel::countChunkOn(WalkPosition& position) {
    if (position.ended) {
        return;
    }
    const GridSelect& select = position.plan.select;
    const QString& leading = position.plan.order.columns.front();
    // The one value of a statement's one row; none without a row.
    const auto valueOf = [this](const BoundSql& statement) -> std::optional<QVariant> {
        QSqlQuery result =
            database().select(statement.sql, statement.values, Database::Written::ForEngine);
        if (!database().next(result, statement.sql)) {
            return std::nullopt;
        }
        return result.value(0);
    };
    const auto counted = [&](const BoundSql& statement) {
        return valueOf(statement).value_or(0).toLongLong();
    };
    if (!position.nullsCounted) {
        position.rows += counted(countNullsSql(select, leading));
        position.nullsCounted = true;
        return;
    }
    const QVariant after = position.last ? position.last->value(0) : QVariant();
    const std::optional<QVariant> upTo =
        valueOf(countBoundarySql(select, leading, after, countChunk_));
    position.rows += counted(countRangeSql(select, leading, after, upTo.value_or(QVariant())));
    position.last = QVariantList{upTo.value_or(QVariant())};
    position.ended = !upTo;
}

void KeysetQueryModel::walkOn(WalkPosition& position,
                              const std::function<void(const RowCache::Row&)>& take) {
    if (position.ended) {
        return;
    }
    if (database().engine() != Engine::SqlServer) {
        streamOn(position, take);
        return;
    }
    const Rows rows = readBatch(position.plan, true, position.last, position.ties, position.ended);
    for (const RowCache::Row& row : rows) {
        take(row);
        const QVariantList values = orderValuesOf(position.plan, row);
        if (position.last && sameValues(values, *position.last)) {
            ++position.ties;
        } else {
            position.last = values;
            position.ties = 1;
        }
    }
    position.rows += static_cast<qint64>(rows.size());
    if (rows.empty()) {
        position.ended = true;
    }
}

void KeysetQueryModel::streamOn(WalkPosition& position,
                                const std::function<void(const RowCache::Row&)>& take) {
    if (!position.stream) {
        position.stream = openRowStream(connectionString(),
                                        orderedSql(position.plan.select, position.plan.order));
        position.plan.fields = position.stream->fields() + calculatedFields();
        position.shownFields = shownFieldsOf(position.plan);
    }
    const QStringList& fields = position.plan.fields;
    const int stored = static_cast<int>(position.stream->fields().size());
    const bool more = position.stream->read(position.plan.batch, [&](RowCache::Row& row) {
        appendCalculated(row, fields, stored);
        take(row);
        ++position.rows;
    });
    if (!more) {
        position.ended = true;
        position.stream.reset();
    }
}

QString KeysetQueryModel::displayText(const WalkPosition& position, const RowCache::Row& row,
                                      int column) {
    const GridColumn& shown = position.plan.columns.at(column);
    const int field = position.shownFields.at(column);
    const QVariant value = field >= 0 && field < row.size() ? row[field] : QVariant();
    return columnData(shown, value, Qt::DisplayRole).toString();
}

QVariant KeysetQueryModel::fieldValue(int row, const QString& field) const {
    return cache_.value(row, field);
}

int KeysetQueryModel::findRow(const QStringList& fields, const QVariantList& values) {
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = cache_.find(fields, values, from);
        if (found >= 0) {
            return static_cast<int>(found);
        }
        if (!canFetchMore()) {
            return -1;
        }
        const int added = fetch(true);
        from = cache_.size() - added;  // the rows just read are the last ones held
    }
}

int KeysetQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(cache_.size());
}

QVariant KeysetQueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // Rows are numbered from wherever the reading began, which is not their place in the
    // result: the row header shows no number.
    if (orientation == Qt::Vertical && role == Qt::DisplayRole) {
        return QString();
    }
    return GridModel::headerData(section, orientation, role);
}

bool KeysetQueryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !endBelow_ && !fetching_ && cache_.size() > 0;
}

void KeysetQueryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) {
        return;
    }
    try {
        fetch(true);
    } catch (const DbError& error) {
        endBelow_ = true;  // reported once; the next reload reads again
        emit fetchFailed(error.message(), error.statement());
    }
}

bool KeysetQueryModel::canFetchAbove() const {
    return !startAbove_ && !fetching_ && cache_.size() > 0;
}

int KeysetQueryModel::fetchAbove() {
    if (!canFetchAbove()) {
        return 0;
    }
    try {
        return fetch(false);
    } catch (const DbError& error) {
        startAbove_ = true;
        emit fetchFailed(error.message(), error.statement());
    }
    return 0;
}

}  // namespace tunnel::db
