#include "platform/db/KeysetSql.h"

#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/SqlTokens.h"

#include <QDateTime>

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

// The keyset conditions on the order's columns, read in one direction.
class Conditions {
public:
    Conditions(Engine engine, bool descending)
        : engine_(engine),
          descending_(descending),
          nullsFirst_(nullsBeforeValues(engine, descending)) {}

    QString after(const QString& column, const QVariant& value) const {
        if (value.isNull()) {
            return nullsFirst_ ? column + QStringLiteral(" IS NOT NULL") : QStringLiteral("1=0");
        }
        return orNullsAfter(column,
                            QStringLiteral("%1 %2 %3").arg(column, beyond(), literal(value)));
    }

    QString equal(const QString& column, const QVariant& value) const {
        return value.isNull() ? column + QStringLiteral(" IS NULL")
                              : QStringLiteral("%1 = %2").arg(column, literal(value));
    }

    QString afterOrEqual(const QString& column, const QVariant& value) const {
        if (value.isNull()) {
            return nullsFirst_ ? QStringLiteral("1=1") : column + QStringLiteral(" IS NULL");
        }
        return orNullsAfter(column,
                            QStringLiteral("%1 %2= %3").arg(column, beyond(), literal(value)));
    }

    // The leading column's bound within its run of values: the form an index range serves.
    QString valuesFrom(const QString& column, const QVariant& value) const {
        return QStringLiteral("%1 %2 %3")
            .arg(column, descending_ ? QStringLiteral("<=") : QStringLiteral(">="), literal(value));
    }

    // Rows at or after the values of columns `from` on, within the tie of the earlier ones.
    QString tail(const QStringList& columns, const QVariantList& values, qsizetype from) const {
        if (from == columns.size() - 1) {
            return afterOrEqual(columns[from], values[from]);
        }
        return QStringLiteral("(%1 OR (%2 AND %3))")
            .arg(after(columns[from], values[from]), equal(columns[from], values[from]),
                 tail(columns, values, from + 1));
    }

private:
    QString literal(const QVariant& value) const { return sqlLiteral(value, engine_); }
    QString beyond() const { return descending_ ? QStringLiteral("<") : QStringLiteral(">"); }
    QString orNullsAfter(const QString& column, const QString& condition) const {
        return nullsFirst_ ? condition
                           : QStringLiteral("(%1 OR %2 IS NULL)").arg(condition, column);
    }

    Engine engine_;
    bool descending_;
    bool nullsFirst_;
};

QString whereClause(const GridOrder& order, const KeysetRead& read, const Conditions& is) {
    const QString& leading = order.columns.front();
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
    const bool single = order.columns.size() == 1;
    if (values.front().isNull()) {
        const QString nulls = leading + QStringLiteral(" IS NULL");
        return single ? nulls : nulls + QStringLiteral(" AND ") + is.tail(order.columns, values, 1);
    }
    const QString bound = is.valuesFrom(leading, values.front());
    if (single) {
        return bound;
    }
    return QStringLiteral("%1 AND (%2 OR (%3 AND %4))")
        .arg(bound, is.after(leading, values.front()), is.equal(leading, values.front()),
             is.tail(order.columns, values, 1));
}

QString orderClause(const GridOrder& order, bool descending) {
    QStringList parts;
    for (const QString& column : order.columns) {
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

QString keysetSql(const QString& source, Engine engine, const GridOrder& order,
                  const KeysetRead& read) {
    const bool descending = effectivelyDescending(order, read.forward);
    const Conditions is(engine, descending);
    const QString top =
        engine == Engine::SqlServer ? QStringLiteral("TOP %1 ").arg(read.limit) : QString();
    const QString limit =
        engine == Engine::SqlServer ? QString() : QStringLiteral(" LIMIT %1").arg(read.limit);
    return QStringLiteral("SELECT %1* FROM %2 WHERE %3 ORDER BY %4%5")
        .arg(top, derivedTable(source), whereClause(order, read, is),
             orderClause(order, descending), limit);
}

QString matchingRowsSql(const QString& source, Engine engine, const QStringList& fields,
                        const QVariantList& values) {
    const Conditions is(engine, false);
    QStringList conditions;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        conditions.append(is.equal(fields[i], values.value(i)));
    }
    return QStringLiteral("SELECT * FROM %1 WHERE %2")
        .arg(derivedTable(source), conditions.join(QStringLiteral(" AND ")));
}

QString sqlLiteral(const QVariant& value, Engine engine) {
    if (value.isNull()) {
        return QStringLiteral("NULL");
    }
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return value.toString();
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case QMetaType::Double:
        case QMetaType::Float:
            return QString::number(value.toDouble(), 'g', 17);
        case QMetaType::QDateTime: {
            const QString format = engine == Engine::SqlServer
                                       ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                       : QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
            return sqlQuote(value.toDateTime().toString(format));
        }
        case QMetaType::QDate:
            return sqlQuote(value.toDate().toString(QStringLiteral("yyyy-MM-dd")));
        default:
            return sqlQuote(value.toString());
    }
}

}  // namespace tunnel::db
