#pragma once

#include "platform/db/GridModel.h"

#include <memory>

namespace tunnel::db {

class StreamingCursor;

// A grid model that reads its result in sequence, a batch at a time, as the view scrolls: the
// first rows of a result of millions show without reading the rest (on the client or, through
// a server-side cursor, on the server), nothing is counted, and memory grows with the rows
// scrolled through.
class LazyQueryModel : public GridModel {
    Q_OBJECT
public:
    explicit LazyQueryModel(QObject* parent = nullptr);
    ~LazyQueryModel() override;

    void setBatchSize(int rows) { batchSize_ = rows > 0 ? rows : 1; }

    void reload() override;
    void close() override;
    bool isEmpty() const override { return cache_.size() == 0; }
    QVariant fieldValue(int row, const QString& field) const override;
    // Fetches further batches until the row is found or the result ends.
    int findRow(const QStringList& fields, const QVariantList& values) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;

private:
    void fetchBatch();

    std::unique_ptr<StreamingCursor> cursor_;
    RowCache cache_;
    bool atEnd_ = true;
    bool fetching_ = false;  // views ask for more while rows are being inserted
    int batchSize_ = 256;
};

}  // namespace tunnel::db
