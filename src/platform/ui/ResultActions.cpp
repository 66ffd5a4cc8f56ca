#include "platform/ui/ResultActions.h"

#include "platform/db/DbError.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/text/Csv.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MessageBox.h"

#include <QAction>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTableView>
#include <QTimer>

#include <memory>

namespace tunnel::ui {
namespace {

SaveFileChooser& chooser() {
    static SaveFileChooser current;
    return current;
}

OpenFileChooser& openChooser() {
    static OpenFileChooser current;
    return current;
}

QString chooseCsvFile(QWidget* owner, const QString& caption) {
    return chooseCsvToSave(
        owner, text::suggestedCsvName(caption.isEmpty() ? owner->windowTitle() : caption));
}

}  // namespace

namespace {

QString chooseToSave(QWidget* owner, const QString& caption, const QString& suggested,
                     const QString& filter,
                     const std::function<QString(const QString&)>& finalPath) {
    if (chooser()) {
        const QString path = finalPath(chooser()(owner, caption, suggested));
        return refuseDatabaseFile(path, FileChoice::Save, owner) ? QString() : path;
    }
    return askForFile(owner, caption, suggested, filter, FileChoice::Save, finalPath);
}

}  // namespace

// The name the user gives, with ".csv" added when it has no suffix.
QString chooseCsvToSave(QWidget* owner, const QString& suggested) {
    return chooseToSave(owner, QStringLiteral("导出CSV"), suggested,
                        QStringLiteral("CSV 文件 (*.csv)"),
                        [](const QString& path) { return text::withCsvSuffix(path); });
}

QString chooseFileToSave(QWidget* owner, const QString& caption, const QString& suggested,
                         const QString& filter, const QString& suffix) {
    return chooseToSave(owner, caption, suggested, filter, [suffix](const QString& path) {
        return path.isEmpty() || !QFileInfo(path).suffix().isEmpty() ? path : path + suffix;
    });
}

QString chooseCsvToOpen(QWidget* owner, const QString& caption) {
    if (openChooser()) {
        const QString path = openChooser()(owner, caption);
        return refuseDatabaseFile(path, FileChoice::Open, owner) ? QString() : path;
    }
    return askForFile(owner, caption, QString(), QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)"),
                      FileChoice::Open, [](const QString& path) { return path; });
}

OpenFileChooser setOpenFileChooser(OpenFileChooser replacement) {
    OpenFileChooser previous = std::move(openChooser());
    openChooser() = std::move(replacement);
    return previous;
}

namespace {

// Walks a result a batch per turn of the event loop, so that the window stays usable and
// Cancel is heard; the progress dialog shows once the walk takes more than half a second. The
// walk follows the statement and order the grid had when it began, whatever the grid does
// meanwhile.
class ResultWalk : public QObject {
public:
    using Position = db::KeysetQueryModel::WalkPosition;
    // One step of the walk: moves the position on (to its end, when `ended` is set).
    using Step = std::function<void(Position&)>;
    // Called once: whether the walk reached the end, and how many rows it took.
    using Finish = std::function<void(bool completed, qint64 rows)>;

    ResultWalk(QTableView& grid, Position start, const QString& label, Step advance, Finish finish)
        : QObject(&grid),
          step_(std::move(advance)),
          finish_(std::move(finish)),
          label_(label),
          progress_(new QProgressDialog(label.section(u'…', 0, 0) + u'…', QStringLiteral("取消"), 0,
                                        0, grid.window())),
          position_(std::move(start)) {
        progress_->setObjectName(QStringLiteral("ResultProgress"));
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(500);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        QTimer::singleShot(0, this, [this] { step(); });
    }
    ~ResultWalk() override { delete progress_; }  // gone already when its window went first
    ResultWalk(const ResultWalk&) = delete;
    ResultWalk& operator=(const ResultWalk&) = delete;

private:
    void step() {
        if (progress_ == nullptr || progress_->wasCanceled()) {
            end(false);
            return;
        }
        if (!guarded([this] { step_(position_); })) {
            end(false);
            return;
        }
        if (position_.rows > 0) {
            progress_->setLabelText(QStringLiteral("%1 %2 条").arg(label_).arg(position_.rows));
        }
        progress_->setValue(0);
        if (position_.ended) {
            end(true);
            return;
        }
        // While the engine works on a thread of its own, the window's thread only looks in.
        QTimer::singleShot(position_.waiting ? 20 : 0, this, [this] { step(); });
    }

    void end(bool completed) {
        if (progress_ != nullptr) {
            progress_->close();
        }
        finish_(completed, position_.rows);
        deleteLater();
    }

    Step step_;
    Finish finish_;
    QString label_;
    QPointer<QProgressDialog> progress_;
    Position position_;
};

// The engine counts, a chunk of the result a step.
void countResult(QTableView& grid, db::KeysetQueryModel& model) {
    QPointer<QTableView> owner(&grid);
    new ResultWalk(
        grid, model.startWalk(), QStringLiteral("正在统计…已统计"),
        [&model](ResultWalk::Position& position) { model.countOn(position); },
        [owner](bool completed, qint64 rows) {
            if (completed) {
                showMessage(QStringLiteral("共 %1 条").arg(rows), owner);
            }
        });
}

// Asks where to export and opens that file with the title row written; null when cancelled or
// when the file cannot be written (that is reported).
std::shared_ptr<QSaveFile> startCsv(QTableView& grid, const QStringList& titles,
                                    const QString& caption, QString& path) {
    path = chooseCsvFile(grid.window(), caption);
    if (path.isEmpty()) {
        return nullptr;
    }
    auto file = std::make_shared<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        reportError(QStringLiteral("无法写入文件 %1：%2").arg(path, file->errorString()));
        return nullptr;
    }
    file->write(text::kUtf8Bom);
    file->write(text::csvLine(titles));
    return file;
}

void finishCsv(QSaveFile& file, const QString& path, qint64 rows, QWidget* owner) {
    if (!file.commit()) {
        reportError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
        return;
    }
    showMessage(QStringLiteral("已导出 %1 条到 %2").arg(rows).arg(path), owner);
}

void exportResult(QTableView& grid, db::KeysetQueryModel& model, const QString& caption) {
    ResultWalk::Position start = model.startWalk();
    QStringList titles;
    for (const db::GridColumn& column : start.plan.columns) {
        titles.append(column.title);
    }
    QString path;
    const std::shared_ptr<QSaveFile> file = startCsv(grid, titles, caption, path);
    if (!file) {
        return;
    }
    const auto write = [file, &model](ResultWalk::Position& position) {
        writeCsvRows(model, position, *file);
    };
    QPointer<QTableView> owner(&grid);
    new ResultWalk(grid, std::move(start), QStringLiteral("正在导出…已写入"), write,
                   [file, path, owner](bool completed, qint64 rows) {
                       if (!completed) {
                           file->cancelWriting();  // no partial file is left behind
                           return;
                       }
                       finishCsv(*file, path, rows, owner);
                   });
}

}  // namespace

void writeCsvRows(db::KeysetQueryModel& model, db::KeysetQueryModel::WalkPosition& position,
                  QIODevice& out) {
    QString lines;  // a batch's lines in one conversion and one write
    QStringList cells;
    model.walkOn(position, [&](const db::RowCache::Row& row) {
        cells.clear();
        for (int column = 0; column < position.plan.columns.size(); ++column) {
            cells.append(db::KeysetQueryModel::displayText(position, row, column));
        }
        text::appendCsvLine(lines, cells);
    });
    out.write(lines.toUtf8());
}

SaveFileChooser setSaveFileChooser(SaveFileChooser replacement) {
    SaveFileChooser previous = std::move(chooser());
    chooser() = std::move(replacement);
    return previous;
}

void addResultActions(QTableView& grid, db::KeysetQueryModel& model, const QString& csvCaption) {
    auto* count = new QAction(QStringLiteral("统计条数(&N)"), &grid);
    QObject::connect(count, &QAction::triggered, &grid, [&grid, &model] {
        if (!model.statement().isEmpty()) {
            guarded([&] { countResult(grid, model); });
        }
    });
    auto* exportCsv = new QAction(QStringLiteral("导出CSV(&E)..."), &grid);
    QObject::connect(exportCsv, &QAction::triggered, &grid, [&grid, &model, csvCaption] {
        if (!model.statement().isEmpty()) {
            guarded([&] { exportResult(grid, model, csvCaption); });
        }
    });
    grid.addAction(count);
    grid.addAction(exportCsv);
    grid.setContextMenuPolicy(Qt::ActionsContextMenu);
}

}  // namespace tunnel::ui
