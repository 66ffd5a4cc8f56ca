#include "platform/db/KeysetSql.h"

#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/SqlTokens.h"

#include <optional>

namespace tunnel::db {
namespace {

bool effectivelyDescending(const GridOrder& order, bool forward) {
    return order.descending == forward;
}

// Where the engine puts NULL when it sorts without being told: before every value on SQLite
// and SQL Server, after every value on PostgreSQL. The grids leave it so, because only the
// engine's own placement lets a plain index (and the windows' own ORDER BY) serve the order.
bool nullsBeforeValues(Engine engine, bool descending) {
    const bool nullIsSmallest = engine != Engine::PostgreSQL;
    return nullIsSmallest != descending;
}

// A placeholder for `value`, which joins `values`; stored bytes of a text compare as the text
// they are.
QString bindValue(Engine engine, const QVariant& value, QVariantList& values) {
    if (value.typeId() == QMetaType::QByteArray && engine == Engine::SQLite) {
        if (value.toByteArray().isEmpty()) {
            return QStringLiteral("''");  // a bound empty blob may arrive as NULL
        }
        values.append(value);
        return QStringLiteral("CAST(? AS TEXT)");
    }
    values.append(value);
    return QStringLiteral("?");
}

// The keyset conditions on the order's columns, read in one direction, their values bound.
class Conditions {
public:
    Conditions(Engine engine, bool descending, QVariantList& values)
        : engine_(engine),
          descending_(descending),
          nullsFirst_(nullsBeforeValues(engine, descending)),
          values_(values) {}

    QString after(const QString& column, const QVariant& value) const {
        if (value.isNull()) {
            return nullsFirst_ ? column + QStringLiteral(" IS NOT NULL") : QStringLiteral("1=0");
        }
        return orNullsAfter(column, QStringLiteral("%1 %2 %3").arg(column, beyond(), bound(value)));
    }

    QString equal(const QString& column, const QVariant& value) const {
        return value.isNull() ? column + QStringLiteral(" IS NULL")
                              : QStringLiteral("%1 = %2").arg(column, bound(value));
    }

    QString afterOrEqual(const QString& column, const QVariant& value) const {
        if (value.isNull()) {
            return nullsFirst_ ? QStringLiteral("1=1") : column + QStringLiteral(" IS NULL");
        }
        return orNullsAfter(column,
                            QStringLiteral("%1 %2= %3").arg(column, beyond(), bound(value)));
    }

    // The leading column's bound within its run of values: the form an index range serves.
    QString valuesFrom(const QString& column, const QVariant& value) const {
        return QStringLiteral("%1 %2 %3")
            .arg(column, descending_ ? QStringLiteral("<=") : QStringLiteral(">="), bound(value));
    }

    // Rows at or after the values of columns `from` on, within the tie of the earlier ones.
    QString tail(const QStringList& columns, const QVariantList& values, qsizetype from) const {
        if (from == columns.size() - 1) {
            return afterOrEqual(columns[from], values[from]);
        }
        // In the order of the text: each piece binds its values as it is written.
        const QString beyondIt = after(columns[from], values[from]);
        const QString atIt = equal(columns[from], values[from]);
        const QString rest = tail(columns, values, from + 1);
        return QStringLiteral("(%1 OR (%2 AND %3))").arg(beyondIt, atIt, rest);
    }

private:
    // A placeholder for the value; stored bytes of a text compare as the text they are.
    QString bound(const QVariant& value) const { return bindValue(engine_, value, values_); }
    QString beyond() const { return descending_ ? QStringLiteral("<") : QStringLiteral(">"); }
    QString orNullsAfter(const QString& column, const QString& condition) const {
        return nullsFirst_ ? condition
                           : QStringLiteral("(%1 OR %2 IS NULL)").arg(condition, column);
    }

    Engine engine_;
    bool descending_;
    bool nullsFirst_;
    QVariantList& values_;
};

bool readsStoredBytes(const GridSelect& select) {
    return select.engine == Engine::SQLite && !select.fields.isEmpty();
}

// A column of the derived table. On SQLite it is qualified: its stored-bytes form is selected
// under the same name, and ORDER BY would take that alias (and sort without the index).
QString columnOf(const GridSelect& select, const QString& name) {
    return readsStoredBytes(select) ? QStringLiteral("grid_rows.\"%1\"").arg(name) : name;
}

QStringList columnsOf(const GridSelect& select, const QStringList& names) {
    QStringList columns;
    for (const QString& name : names) {
        columns.append(columnOf(select, name));
    }
    return columns;
}

QString storedBytes(const QString& column) {
    return QStringLiteral("CASE WHEN typeof(%1)='text' THEN CAST(%1 AS BLOB) ELSE %1 END")
        .arg(column);
}

QString selectList(const GridSelect& select, const GridOrder& order) {
    if (select.engine == Engine::PostgreSQL) {
        // Each order column again as the server writes it: a batch resumes from that text,
        // never from a time the client's zone turned into another instant (or could not hold,
        // in the hour its clock skips).
        QStringList items{QStringLiteral("*")};
        for (qsizetype i = 0; i < order.columns.size(); ++i) {
            items.append(QStringLiteral("CAST(%1 AS TEXT) AS %2")
                             .arg(order.columns[i], keyField(static_cast<int>(i))));
        }
        return items.join(QStringLiteral(", "));
    }
    if (!readsStoredBytes(select)) {
        return QStringLiteral("*");
    }
    QStringList items;
    // An order column is read once, as its key field; the grid reads its text from there.
    for (const QString& field : select.fields) {
        if (!order.columns.contains(field, Qt::CaseInsensitive)) {
            items.append(storedBytes(columnOf(select, field)) +
                         QStringLiteral(" AS \"%1\"").arg(field));
        }
    }
    for (qsizetype i = 0; i < order.columns.size(); ++i) {
        items.append(storedBytes(columnOf(select, order.columns[i])) + QStringLiteral(" AS ") +
                     keyField(static_cast<int>(i)));
    }
    return items.join(QStringLiteral(", "));
}

QString whereClause(const QStringList& columns, const KeysetRead& read, const Conditions& is) {
    const QString& leading = columns.front();
    if (!read.from) {
        switch (read.run) {
            case NullRun::Nulls:
                return leading + QStringLiteral(" IS NULL");
            case NullRun::Values:
                return leading + QStringLiteral(" IS NOT NULL");
            case NullRun::Both:
                return QStringLiteral("1=1");
        }
    }
    const QVariantList& values = *read.from;
    const bool single = columns.size() == 1;
    if (values.front().isNull()) {
        const QString nulls = leading + QStringLiteral(" IS NULL");
        return single ? nulls : nulls + QStringLiteral(" AND ") + is.tail(columns, values, 1);
    }
    const QString bound = is.valuesFrom(leading, values.front());
    if (single) {
        return bound;
    }
    const QString beyond = is.after(leading, values.front());
    const QString at = is.equal(leading, values.front());
    const QString rest = is.tail(columns, values, 1);
    return QStringLiteral("%1 AND (%2 OR (%3 AND %4))").arg(bound, beyond, at, rest);
}

QString orderClause(const QStringList& columns, bool descending) {
    QStringList parts;
    for (const QString& column : columns) {
        parts.append(column + (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC")));
    }
    return parts.join(QStringLiteral(", "));
}

QString derivedTable(const QString& source) {
    // The body stands on lines of its own: a trailing "--" comment cannot swallow the ")".
    return QStringLiteral("(\n") + source + QStringLiteral("\n) grid_rows");
}

// The position of the first depth-0 token that `matches`, or -1.
template <typename Match>
qsizetype topLevelPosition(const std::vector<Token>& tokens, Match matches) {
    qsizetype position = 0;
    int depth = 0;
    for (const Token& token : tokens) {
        if (token.isSymbol(u"("))
            ++depth;
        if (token.isSymbol(u")"))
            --depth;
        if (depth == 0 && matches(token))
            return position;
        position += token.text.size();
    }
    return -1;
}

}  // namespace

std::optional<NullRun> nextRun(NullRun run, const GridOrder& order, bool forward, Engine engine) {
    if (run == NullRun::Both) {
        return std::nullopt;
    }
    const NullRun first = nullsBeforeValues(engine, effectivelyDescending(order, forward))
                              ? NullRun::Nulls
                              : NullRun::Values;
    if (run == first) {
        return first == NullRun::Nulls ? NullRun::Values : NullRun::Nulls;
    }
    return std::nullopt;
}

NullRun runOf(const QVariantList& values) {
    return values.value(0).isNull() ? NullRun::Nulls : NullRun::Values;
}

QString gridSource(const QString& statement, Engine engine) {
    const std::vector<Token> tokens = tokenize(translateSql(statement, engine));
    QString source;
    QString pending;  // blanks, and a ";" that may turn out to be the last
    bool ended = false;
    for (const Token& token : tokens) {
        if (token.isSymbol(u";")) {
            ended = true;
            continue;
        }
        if (token.isBlank()) {
            pending += token.text;
            continue;
        }
        if (ended) {
            throw DbError(QStringLiteral("表格只能显示一条语句的结果。"), {}, false, statement);
        }
        source += pending + token.text;
        pending.clear();
    }
    if (engine == Engine::SqlServer) {
        const std::vector<Token> body = tokenize(source);
        const bool top =
            topLevelPosition(body, [](const Token& t) { return t.isWord(u"top"); }) >= 0;
        const qsizetype order =
            topLevelPosition(body, [](const Token& t) { return t.isWord(u"order"); });
        if (!top && order >= 0) {
            source.truncate(order);
        }
    }
    return source;
}

namespace {

// A statement of the form "select * from TABLE [where CONDITION]": the one form whose WHERE can
// take the keyset's conditions inside it, as conditions on the table's own columns.
struct SimpleSelect {
    QString head;       // "select * from TABLE"
    QString condition;  // its WHERE condition; empty without one
};

std::optional<SimpleSelect> simpleSelect(const QString& source) {
    std::vector<Token> tokens;
    for (Token& token : tokenize(source)) {
        if (!token.isBlank()) {
            tokens.push_back(std::move(token));
        }
    }
    const auto isName = [](const Token& t) {
        return t.kind == TokenKind::Word || t.kind == TokenKind::QuotedName ||
               t.kind == TokenKind::BracketName;
    };
    if (tokens.size() < 4 || !tokens[0].isWord(u"select") || !tokens[1].isSymbol(u"*") ||
        !tokens[2].isWord(u"from") || !isName(tokens[3])) {
        return std::nullopt;
    }
    size_t next = 4;
    if (tokens.size() > 5 && tokens[4].isSymbol(u".") && isName(tokens[5])) {
        next = 6;
    }
    if (next == tokens.size()) {
        return SimpleSelect{source, {}};
    }
    if (!tokens[next].isWord(u"where")) {
        return std::nullopt;
    }
    static const QStringList stops = {
        QStringLiteral("union"), QStringLiteral("intersect"), QStringLiteral("except"),
        QStringLiteral("group"), QStringLiteral("having"),    QStringLiteral("order"),
        QStringLiteral("limit"), QStringLiteral("offset"),    QStringLiteral("window")};
    int depth = 0;
    for (size_t i = next + 1; i < tokens.size(); ++i) {
        depth += tokens[i].isSymbol(u"(") ? 1 : tokens[i].isSymbol(u")") ? -1 : 0;
        if (depth == 0 && tokens[i].kind == TokenKind::Word &&
            stops.contains(tokens[i].text, Qt::CaseInsensitive)) {
            return std::nullopt;
        }
    }
    // The head and the condition, cut at the text of the WHERE (blanks and comments kept).
    qsizetype position = 0;
    size_t seen = 0;
    for (const Token& token : tokenize(source)) {
        if (!token.isBlank() && seen++ == next) {
            return SimpleSelect{source.left(position),
                                source.mid(position + token.text.size()).trimmed()};
        }
        position += token.text.size();
    }
    return std::nullopt;
}

}  // namespace

QString keyField(int i) {
    return QStringLiteral("__tunnel_key_%1").arg(i);
}

bool isKeyField(const QString& field) {
    return field.startsWith(QStringLiteral("__tunnel_key_"));
}

namespace {

// The statement whose WHERE takes a grid's conditions inside it: on SQLite, a plain statement,
// so that the conditions' bounds come before the statement's own bounds on the same column. Of
// two equally costed ranges SQLite's planner takes the first, and the statement's own (a
// history's time range) would have a deep batch scan back over every row before it.
std::optional<SimpleSelect> takingConditions(const GridSelect& select) {
    return select.engine == Engine::SQLite ? simpleSelect(select.source) : std::nullopt;
}

// "FROM ... WHERE condition" over the statement: the condition inside `simple`'s WHERE (written
// for its table) when there is one, else over the derived table.
QString fromWhere(const GridSelect& select, const std::optional<SimpleSelect>& simple,
                  const QString& condition) {
    if (!simple) {
        return QStringLiteral("FROM %1 WHERE %2").arg(derivedTable(select.source), condition);
    }
    return QStringLiteral("FROM ") +
           derivedTable(
               simple->head + QStringLiteral(" where (") + condition +
               (simple->condition.isEmpty()
                    ? QStringLiteral(")")
                    : QStringLiteral(") AND (\n") + simple->condition + QStringLiteral("\n)")));
}

QString fromWhere(const GridSelect& select, const QString& condition) {
    return fromWhere(select, takingConditions(select), condition);
}

// The read of a batch with the given select list.
BoundSql batchSql(const GridSelect& select, const GridOrder& order, const KeysetRead& read,
                  const QString& list) {
    const bool descending = effectivelyDescending(order, read.forward);
    BoundSql bound;
    const Conditions is(select.engine, descending, bound.values);
    const bool sqlServer = select.engine == Engine::SqlServer;
    const bool limited = read.limit >= 0;
    const QString top =
        sqlServer && limited ? QStringLiteral("TOP %1 ").arg(read.limit) : QString();
    const QString limit =
        !sqlServer && limited ? QStringLiteral(" LIMIT %1").arg(read.limit) : QString();
    const QStringList columns = columnsOf(select, order.columns);
    const std::optional<SimpleSelect> simple = takingConditions(select);
    // Inside the statement the conditions name its table's columns; outside, the derived table's.
    const QString keyset = whereClause(simple ? order.columns : columns, read, is);
    bound.sql = QStringLiteral("SELECT %1%2 %3 ORDER BY %4%5")
                    .arg(top, list, fromWhere(select, simple, keyset),
                         orderClause(columns, descending), limit);
    return bound;
}

}  // namespace

BoundSql keysetSql(const GridSelect& select, const GridOrder& order, const KeysetRead& read) {
    return batchSql(select, order, read, selectList(select, order));
}

QString readField() {
    return QStringLiteral("__tunnel_read");
}

BoundSql keysetReadsSql(const GridSelect& select, const GridOrder& order,
                        const QVector<KeysetRead>& reads) {
    BoundSql all;
    QStringList branches;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const KeysetRead& read = reads[i];
        const QString list =
            QStringLiteral("%1, %2 AS %3").arg(selectList(select, order)).arg(i).arg(readField());
        const BoundSql branch = batchSql(select, order, read, list);
        // Numbered after the limit, in the order the branch delivers its rows: numbered before
        // it, the server would sort every row the conditions leave (a column without an index
        // sorted a million rows on disk for a batch of 256).
        branches.append(
            QStringLiteral("(SELECT b.*, ROW_NUMBER() OVER () AS __tunnel_place FROM (%1) b)")
                .arg(branch.sql));
        all.values += branch.values;
    }
    all.sql = QStringLiteral("SELECT * FROM (\n%1\n) grid_reads ORDER BY %2, __tunnel_place")
                  .arg(branches.join(QStringLiteral("\nUNION ALL\n")), readField());
    return all;
}

QString orderedSql(const GridSelect& select, const GridOrder& order) {
    GridSelect plain = select;
    plain.fields.clear();  // no stored-bytes forms, no key fields
    return batchSql(plain, order, KeysetRead{true, std::nullopt, NullRun::Both, -1},
                    QStringLiteral("*"))
        .sql;
}

BoundSql countBoundarySql(const GridSelect& select, const QString& leading, const QVariant& after,
                          int chunk) {
    BoundSql bound;
    const QString condition = after.isNull() ? leading + QStringLiteral(" IS NOT NULL")
                                             : leading + QStringLiteral(" > ") +
                                                   bindValue(select.engine, after, bound.values);
    const QString column = columnOf(select, leading);
    const QString stored = select.engine == Engine::SQLite ? storedBytes(column) : column;
    const QString skip =
        select.engine == Engine::SqlServer
            ? QStringLiteral(" OFFSET %1 ROWS FETCH NEXT 1 ROWS ONLY").arg(chunk - 1)
            : QStringLiteral(" LIMIT 1 OFFSET %1").arg(chunk - 1);
    bound.sql = QStringLiteral("SELECT %1 AS B %2 ORDER BY %3%4")
                    .arg(stored, fromWhere(select, condition), column, skip);
    return bound;
}

BoundSql countRangeSql(const GridSelect& select, const QString& leading, const QVariant& after,
                       const QVariant& upTo) {
    BoundSql bound;
    QStringList conditions;
    if (!after.isNull()) {
        conditions.append(leading + QStringLiteral(" > ") +
                          bindValue(select.engine, after, bound.values));
    }
    if (!upTo.isNull()) {
        conditions.append(leading + QStringLiteral(" <= ") +
                          bindValue(select.engine, upTo, bound.values));
    }
    if (conditions.isEmpty()) {
        conditions.append(leading + QStringLiteral(" IS NOT NULL"));
    }
    bound.sql = QStringLiteral("SELECT count(*) AS N %1")
                    .arg(fromWhere(select, conditions.join(QStringLiteral(" AND "))));
    return bound;
}

QString countSql(const GridSelect& select) {
    return QStringLiteral("SELECT count(*) AS N FROM %1").arg(derivedTable(select.source));
}

BoundSql countNullsSql(const GridSelect& select, const QString& leading) {
    return {QStringLiteral("SELECT count(*) AS N %1")
                .arg(fromWhere(select, leading + QStringLiteral(" IS NULL"))),
            {}};
}

BoundSql matchingRowsSql(const GridSelect& select, const GridOrder& order,
                         const QStringList& fields, const QVariantList& values) {
    BoundSql bound;
    const Conditions is(select.engine, false, bound.values);
    QStringList conditions;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        conditions.append(is.equal(columnOf(select, fields[i]), values.value(i)));
    }
    bound.sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                    .arg(selectList(select, order), derivedTable(select.source),
                         conditions.join(QStringLiteral(" AND ")));
    return bound;
}

QString fieldsProbeSql(const QString& source, Engine engine) {
    return engine == Engine::SqlServer
               ? QStringLiteral("SELECT TOP 0 * FROM %1").arg(derivedTable(source))
               : QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(derivedTable(source));
}

}  // namespace tunnel::db
