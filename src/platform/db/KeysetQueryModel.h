#pragma once

#include "platform/db/EngineCount.h"
#include "platform/db/GridModel.h"
#include "platform/db/KeysetSql.h"
#include "platform/db/RowStream.h"

#include <QVector>

#include <functional>
#include <optional>

namespace tunnel::db {

// A grid model that reads its rows a batch at a time, in a total order, each batch from the
// order values of the last row read (a key set), never by position: what other programs write
// meanwhile can neither shift rows already shown nor show one twice, every batch costs what the
// first one costs however deep the view has scrolled, and nothing is counted. Between batches
// it holds no transaction and no cursor, so that a grid left open for hours pins no snapshot.
//
// The rows read form a window of the result that moves downward as the view scrolls
// (canFetchMore/fetchMore) and upward (canFetchAbove/fetchAbove); it holds at most the cache
// limit, letting go of the rows at the far end, which are read again by their order values when
// the view comes back to them. So memory stays flat however deep a grid of fifty million rows
// is scrolled. A reload at a row in the middle costs two batches wherever the row stands.
class KeysetQueryModel : public GridModel {
    Q_OBJECT
public:
    explicit KeysetQueryModel(QObject* parent = nullptr);
    ~KeysetQueryModel() override;

    // The columns the rows are read in order of; they should end with a key.
    void setOrder(GridOrder order);
    const GridOrder& order() const { return order_; }
    void setBatchSize(int rows) { batchSize_ = rows > 0 ? rows : 1; }
    // How many rows a step of a count has the engine count.
    void setCountChunk(int rows) { countChunk_ = rows > 0 ? rows : 1; }
    // How many rows the model holds at most (never fewer than two batches).
    void setCacheLimit(int rows) { cacheLimit_ = rows; }

    // Reads the first batch. Throws DbError and leaves the model empty.
    void reload() override;
    // Reads the last batch of the result (read backwards from its end), however long the result:
    // the model then holds its last rows. Throws DbError and leaves the model empty.
    void reloadAtEnd();
    // Reads a batch from the row whose order values are `anchor` (or the first after it) and
    // one before it; returns the row that stands at the anchor, -1 when none does (the model
    // then ends with the rows before it). Throws DbError.
    int reloadAt(const QVariantList& anchor);
    struct Place {
        int row;     // -1 when the model is empty
        bool found;  // whether the row is the one asked for
    };
    // Reloads on the row whose `fields` hold `values`, wherever it now stands in the order;
    // when no row does, at `otherwise` (order values): the row that now stands where it stood,
    // or the last. Throws DbError.
    Place reloadOnRow(const QStringList& fields, const QVariantList& values,
                      const QVariantList& otherwise);
    void close() override;

    bool isEmpty() const override { return cache_.size() == 0; }
    QVariant fieldValue(int row, const QString& field) const override;
    // The values of the order's columns in `row`.
    QVariantList orderValues(int row) const;
    // Among the rows read and, reading further, the rows below them.
    int findRow(const QStringList& fields, const QVariantList& values) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;
    bool canFetchAbove() const;
    // Reads the batch before the first row read; returns how many rows it put above.
    int fetchAbove();

    // What a read follows: the statement as the derived table's body, the order, and, once a
    // result came, its fields and where the order's columns are among them.
    struct Plan {
        GridSelect select;
        GridOrder order;
        QStringList fields;
        QVector<int> orderColumns;
        QVector<GridColumn> columns;  // what the grid showed when the plan was made
        int batch = 256;              // rows a read takes
    };
    // Where a walk through the whole result stands. It keeps its own plan from its start, so
    // that a new statement or order in the grid meanwhile cannot mix two results.
    struct WalkPosition {
        Plan plan;
        std::optional<QVariantList> last;  // the order values of the last row taken
        int ties = 0;                      // rows taken with exactly those values
        qint64 rows = 0;
        bool ended = false;
        bool nullsCounted = false;  // a count's rows whose leading value is NULL
        // On SQLite and PostgreSQL a walk reads its result as one stream (one snapshot) on a
        // connection of its own; `plan.fields` are then the stream's.
        std::shared_ptr<RowStream> stream;
        // Where each shown column's field stands in `plan.fields`, -1 where it has none.
        QVector<int> shownFields;
        // A count the engine makes in one statement on a thread of its own (SQLite and
        // PostgreSQL), and whether the last step found it still running.
        std::shared_ptr<EngineCount> count;
        bool waiting = false;
    };
    // A walk of the result the grid shows now. Throws DbError.
    WalkPosition startWalk();
    // The next batch of the walk's result, handed row by row to `take` and not kept (an export
    // of millions of rows holds one batch at a time); the rows shown are not touched. A
    // statement a batch, as the grid reads, except on SQLite and PostgreSQL (a stream). Throws
    // DbError.
    void walkOn(WalkPosition& position, const std::function<void(const RowCache::Row&)>& take);
    // The next step of counting the walk's result: on SQLite and PostgreSQL the engine counts
    // it in one statement on a thread of its own (a step starts it or sees whether it ended;
    // `waiting` while it runs), elsewhere a chunk a step. Throws DbError.
    void countOn(WalkPosition& position);
    // A step of a count where a running statement cannot be interrupted: the engine counts a
    // chunk of rows along the order's leading column (`last` holds where the chunk ended), so
    // that each step is short. Throws DbError.
    void countChunkOn(WalkPosition& position);
    // What the grid showed, when the walk began, in `column` for a row taken on the walk.
    static QString displayText(const WalkPosition& position, const RowCache::Row& row, int column);

private:
    using Rows = std::vector<RowCache::Row>;

    Plan preparedPlan();
    // The cache takes the fields of the plan's last result.
    void adoptFields();
    // The model holds these rows alone: `above` as read against the order (so the last read
    // comes first), then `below` as read along it.
    void show(Rows above, Rows below);
    // A batch to read in the plan's order (forward) or against it, from the rows whose order
    // values are `from` on; `slack` more rows than a batch are read, for the ties at `from`
    // that the batch leaves out.
    struct BatchAsk {
        bool forward = true;
        std::optional<QVariantList> from;
        int slack = 0;
    };
    // What was read for an ask: the rows of the run it began in (`first`, at most `firstLimit`)
    // and, where that run ended before a batch and another run follows, of that run (`next`,
    // at most a batch).
    struct RunRows {
        Rows first;
        int firstLimit = 0;
        std::optional<Rows> next;
    };
    // Reads the asks: in one statement on PostgreSQL (each ask's next run read whether or not
    // it is needed), one after the other elsewhere. Throws DbError.
    std::vector<RunRows> readAsks(Plan& plan, const std::vector<BatchAsk>& asks);
    RunRows readAsk(Plan& plan, const BatchAsk& ask);
    // The run an ask begins in, and the run after it in its direction where there is one.
    std::pair<NullRun, std::optional<NullRun>> runsOf(const Plan& plan, const BatchAsk& ask);
    std::vector<RunRows> readAsksTogether(Plan& plan, const std::vector<BatchAsk>& asks);
    // The batch an ask's rows make, leaving out the first `skip` rows that hold exactly the
    // order values `from`; `ends` tells whether the result ended in that direction.
    Rows batchOf(const Plan& plan, RunRows read, const std::optional<QVariantList>& from, int skip,
                 bool& ends) const;
    // One batch; see BatchAsk and batchOf.
    Rows readBatch(Plan& plan, bool forward, std::optional<QVariantList> from, int skip,
                   bool& ends);
    void streamOn(WalkPosition& position, const std::function<void(const RowCache::Row&)>& take);
    // How many rows at the edge of the rows read hold the edge row's order values.
    int tiesAtEdge(bool forward) const;
    // Order values compared as a grid shows them: as text, NULL apart.
    static bool sameValues(const QVariantList& one, const QVariantList& other);
    static QVariantList orderValuesOf(const Plan& plan, const RowCache::Row& row);
    // Takes the fields of a result, and finds the plan's order columns among them.
    void useFields(Plan& plan, const QStringList& fields) const;
    // Reads the next batch in that direction; returns how many rows it put in.
    int fetch(bool forward);
    // Lets go of the rows beyond the cache limit at the end away from `forward`.
    void trim(bool forward);

    GridOrder order_;
    Plan plan_;  // what the rows read follow
    RowCache cache_;
    bool endBelow_ = true;
    bool startAbove_ = true;
    bool fetching_ = false;  // views ask for more while rows are being inserted
    int batchSize_ = 256;
    int cacheLimit_ = 16 * 256;
    int countChunk_ = 500'000;  // a fraction of a second between two turns of the event loop
};

}  // namespace tunnel::db
