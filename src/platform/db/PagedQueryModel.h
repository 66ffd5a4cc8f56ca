#pragma once

#include "platform/db/GridModel.h"

#include <QHash>

#include <deque>

namespace tunnel::db {

// A grid model for results of a bounded size (the device register): it counts the rows, then
// reads a page of them wherever the view looks, keeping a few pages. A row deep in the result
// is found and shown without reading the rows before it into memory, so a reload that returns
// to the selected row costs about the same on a hundred rows as on a hundred thousand. The
// statement must fix the order of its rows.
class PagedQueryModel : public GridModel {
    Q_OBJECT
public:
    explicit PagedQueryModel(QObject* parent = nullptr);
    ~PagedQueryModel() override;

    void reload() override;
    void close() override;
    bool isEmpty() const override { return rowCount_ == 0; }
    QVariant fieldValue(int row, const QString& field) const override;
    // Scans the key fields alone, in the statement's order.
    int findRow(const QStringList& fields, const QVariantList& values) override;

    int rowCount(const QModelIndex& parent = {}) const override;

    static constexpr int kPageRows = 256;
    static constexpr int kPagesKept = 32;

private:
    const RowCache& page(int number) const;
    RowCache loadPage(int number);

    int rowCount_ = 0;
    mutable QHash<int, RowCache> pages_;
    mutable std::deque<int> loadOrder_;
};

}  // namespace tunnel::db
