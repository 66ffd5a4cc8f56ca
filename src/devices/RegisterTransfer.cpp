#include "devices/RegisterTransfer.h"

#include "data/DeviceRegister.h"
#include "data/OperationLog.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/text/Csv.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/ResultActions.h"
#include "platform/ui/WindowEntry.h"

#include <QFile>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTableView>

namespace tunnel::devices {
namespace {

const QString kCaption = QStringLiteral("设备表");

// A progress dialog over work that reports as it goes; 取消 ends it.
class Progress {
public:
    Progress(QWidget& owner, const QString& label)
        : dialog_(label, QStringLiteral("取消"), 0, 1, &owner) {
        dialog_.setObjectName(QStringLiteral("RegisterProgress"));
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(500);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
    }

    data::RegisterProgress step() {
        return [this](qint64 done, qint64 total) {
            dialog_.setMaximum(static_cast<int>(std::max<qint64>(1, total)));
            dialog_.setValue(static_cast<int>(std::min(done, total)));
            return !dialog_.wasCanceled();
        };
    }

private:
    QProgressDialog dialog_;
};

void stopMessage(const QString& text, QWidget& owner) {
    ui::messageBox(text, kCaption, ui::mb::IconStop, &owner);
}

void exportDevices(QWidget& window, const data::ModuleContext& context,
                   std::optional<int> onlyType) {
    const QString path = ui::chooseCsvToSave(&window, text::suggestedCsvName(kCaption));
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        stopMessage(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()), window);
        return;
    }
    Progress progress(window, QStringLiteral("正在导出设备表…"));
    auto db = db::Database::shared(context.connectionString);
    const std::optional<qint64> rows = data::exportRegister(*db, onlyType, file, progress.step());
    if (!rows) {
        file.cancelWriting();
        return;
    }
    if (!file.commit()) {
        stopMessage(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()), window);
        return;
    }
    ui::showMessage(QStringLiteral("已导出 %1 台设备到 %2").arg(*rows).arg(path), &window);
}

// The refused rows go beside the file; nothing is written to the register.
void reportRefusals(QWidget& window, const QString& path, const data::RegisterFile& file,
                    const data::ImportPlan& plan) {
    stopMessage(data::saveRefusals(path, file, plan.refusals), window);
}

// The encoding the file is read in: the one its bytes show, or, where both read it as text,
// the operator's choice, the guess first; none when the operator goes no further.
std::optional<QString> chosenEncoding(QWidget& window, const QByteArray& bytes) {
    const std::optional<text::TwoReadings> readings = text::twoReadingsOf(bytes);
    if (!readings) {
        return QString();
    }
    const QString other =
        readings->guess == u"GBK" ? QStringLiteral("UTF-8") : QStringLiteral("GBK");
    const int answer =
        ui::messageBox(data::twoReadingsText(*readings) +
                           QStringLiteral("\n按 %1 读选“是”，按 %2 读选“否”，不导入选“取消”。")
                               .arg(readings->guess, other),
                       kCaption, ui::mb::YesNoCancel | ui::mb::IconQuestion, &window);
    if (answer == ui::IdYes) {
        return readings->guess;
    }
    return answer == ui::IdNo ? std::optional<QString>(other) : std::nullopt;
}

void importDevices(QWidget& window, const data::ModuleContext& context,
                   const std::function<void()>& reload) {
    const QString path = ui::chooseCsvToOpen(&window, QStringLiteral("导入设备表"));
    if (path.isEmpty()) {
        return;
    }
    const QByteArray bytes = data::readRegisterFileAt(path);
    const std::optional<QString> encoding = chosenEncoding(window, bytes);
    if (!encoding) {
        return;
    }
    const data::RegisterFile file = data::readRegisterFile(bytes, *encoding);
    auto db = db::Database::shared(context.connectionString);
    std::optional<data::ImportPlan> plan;
    {
        Progress progress(window, QStringLiteral("正在检查设备表…"));
        plan = data::checkRegisterFile(*db, file, progress.step());
    }
    if (!plan) {
        return;
    }
    if (!plan->refusals.isEmpty()) {
        reportRefusals(window, path, file, *plan);
        return;
    }
    QString question = plan->counts.text() + QStringLiteral("。确定导入吗？");
    if (const std::optional<int> wait = data::secondsOthersWait(*plan, db->engine())) {
        question += QStringLiteral(
                        "\n写入时其他程序（设备驱动、报警服务器等）对数据库的写入要等待约 %1 秒。")
                        .arg(*wait);
    }
    if (ui::messageBox(question, kCaption, ui::mb::OkCancel | ui::mb::IconQuestion, &window) !=
        ui::IdOk) {
        return;
    }
    std::optional<data::ImportCounts> written;
    {
        Progress progress(window, QStringLiteral("正在导入设备表…"));
        written = data::writeRegister(*db, *plan, data::funcCode::kDeviceList, progress.step());
    }
    reload();
    if (written) {
        // As the register stood when it was written: another station may have changed it since
        // the question.
        ui::showMessage(QStringLiteral("已导入。") + written->text() + u'。', &window);
    }
}

}  // namespace

void addRegisterEntries(QWidget& window, QTableView& grid, const data::ModuleContext& context,
                        std::function<std::optional<int>()> filteredType,
                        std::function<void()> reload) {
    ui::addWindowEntry(
        window, &grid, QStringLiteral("导出设备表(&X)..."),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
        [&window, context, filteredType] { exportDevices(window, context, filteredType()); });
    ui::addWindowEntry(window, &grid, QStringLiteral("导入设备表(&I)..."),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I),
                       [&window, context, reload] { importDevices(window, context, reload); });
}

}  // namespace tunnel::devices
