#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <deque>
#include <vector>

namespace tunnel::db {

// A window of the rows of a result (fetched from either end, let go at either end), with their
// fields found by name case-insensitively.
class RowCache {
public:
    using Row = QVector<QVariant>;

    void reset(const QStringList& fields);
    void append(Row row);
    // Puts `rows` before the first row, in their order.
    void prepend(std::vector<Row> rows);
    // Lets the first or last `count` rows go.
    void dropFront(qsizetype count);
    void dropBack(qsizetype count);
    void clear();

    qsizetype size() const { return static_cast<qsizetype>(rows_.size()); }
    const QStringList& fields() const { return fields_; }
    int fieldIndex(const QString& field) const;  // -1 when there is no such field
    QVariant value(qsizetype row, int field) const;
    QVariant value(qsizetype row, const QString& field) const;

    // The first row, from `from` on, whose fields hold the given values (compared as text).
    qsizetype find(const QStringList& fields, const QVariantList& values, qsizetype from = 0) const;

private:
    QStringList fields_;
    QHash<QString, int> index_;
    std::deque<Row> rows_;
};

}  // namespace tunnel::db
