// The state and alert histories driven as an operator drives them, on a real database.
#include "data/HistoryStatements.h"
#include "data/Timeline.h"
#include "devices/DeviceFixture.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmDeviceTimeline.h"
#include "history/TfmQueryStatus.h"
#include "platform/db/Database.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/text/Csv.h"
#include "support/GridExport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "platform/ui/ResultActions.h"

using namespace tunnel;
using namespace tunnel::test;

namespace {

const QDate kMay30(2004, 5, 30);
const QDate kMay31(2004, 5, 31);

class Histories : public DeviceWindows {
protected:
    void prepare() override {
        DeviceWindows::prepare();
        insertDevice(5, 4,
                     QStringLiteral("1, 10, 480, 1, 60, 2, 1, 'L4', '', '', 1, 1, '10.0.0.4', 2"));
        database().exec(QStringLiteral(
            "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, "
            "REMARK) VALUES "
            "(5, 3, '2004-05-30 00:00:00.000', 1, 2, 'a'), "
            "(5, 3, '2004-05-31 23:59:59.999', 2, 3, 'b'), "
            "(5, 4, '2004-05-31 12:00:00.000', 0, 5, 'c'), "
            "(77, 1, '2004-05-31 08:00:00.000', 4, 1, 'd'), "
            "(5, 3, '2004-06-01 00:00:00.000', 3, 1, 'e')"));
        QStringList alerts;
        for (int i = 0; i < 150; ++i) {
            alerts.append(QStringLiteral("(5, 3, '2004-05-31 %1:%2:00.000', %3, 'x%4')")
                              .arg(i / 60 + 10, 2, 10, QLatin1Char('0'))
                              .arg(i % 60, 2, 10, QLatin1Char('0'))
                              .arg(i % 3 - 1)
                              .arg(i));
        }
        alerts.append(QStringLiteral("(77, 1, '2004-05-30 00:00:00.000', NULL, 'first')"));
        alerts.append(QStringLiteral("(5, 4, '2004-05-31 23:59:59.400', 2, 'last')"));
        database().exec(
            QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                           "ALERTTYPE, ALERTDESC) VALUES ") +
            alerts.join(u','));
    }

    template <typename Window>
    std::unique_ptr<Window> open() {
        auto window = std::make_unique<Window>(nullptr, context());
        window->show();
        return window;
    }

    static QTableView& grid(QWidget& window) { return *child<QTableView>(window, "DBGrid"); }
    static QString cell(QWidget& window, int row, int column) {
        QAbstractItemModel& model = *grid(window).model();
        return model.data(model.index(row, column)).toString();
    }
    static int rows(QWidget& window) {
        QAbstractItemModel& model = *grid(window).model();
        while (model.canFetchMore({}))
            model.fetchMore({});
        return model.rowCount();
    }
    static void pickType(QWidget& window, const QString& item) {
        auto* list = child<QComboBox>(window, "cbType");
        const int index = list->findText(item);
        ASSERT_GE(index, 0) << item.toStdString();
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    static void days(QWidget& window, const QDate& begin, const QDate& end) {
        child<QDateEdit>(window, "dtpBegin")->setDate(begin);
        child<QDateEdit>(window, "dtpEnd")->setDate(end);
    }
};

}  // namespace

TEST(HistoryStatements, AreComposedToTheCharacter) {
    EXPECT_EQ(data::stateHistoryStatement(kMay30, kMay31, 5, QStringLiteral("3")),
              QStringLiteral("select * from DEVICESTATUS  where STATUSTIME>='2004-05-30 "
                             "00:00:00.000' and STATUSTIME <='2004-05-31 23:59:59.999' and "
                             "DEVICETYPE= 5 and DEVICECODE=3"));
    EXPECT_EQ(data::stateHistoryStatement(kMay30, kMay30, 0, QStringLiteral("所有设备")),
              QStringLiteral("select * from DEVICESTATUS  where STATUSTIME>='2004-05-30 "
                             "00:00:00.000' and STATUSTIME <='2004-05-30 23:59:59.999'"));
    EXPECT_EQ(data::alertHistoryStatement(kMay30, kMay31, 12, 5),
              QStringLiteral("select * from DEVICEALERT where ALERTTIME>='2004-05-30 00:00:00' "
                             "and ALERTTIME<='2004-05-31 23:59:59.999' and DEVICETYPE=12 and "
                             "DEVICECODE=5"));
    EXPECT_EQ(data::alertHistoryStatement(kMay30, kMay31, 0, 0),
              QStringLiteral("select * from DEVICEALERT where ALERTTIME>='2004-05-30 00:00:00' "
                             "and ALERTTIME<='2004-05-31 23:59:59.999'"));
}

TEST_P(Histories, StateHistoryFiltersByDaysTypeAndNumberInTimeOrder) {
    auto w = open<history::TfmQueryStatus>();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("设备状态查询"));
    EXPECT_EQ(grid(*w).model()->rowCount(), 0) << "empty before the first query";
    EXPECT_EQ(child<QDateEdit>(*w, "dtpBegin")->date(), QDate::currentDate());
    EXPECT_EQ(child<QComboBox>(*w, "cbCode")->count(), 0) << "no numbers until a type is chosen";

    days(*w, kMay30, kMay31);
    pickType(*w, QStringLiteral("照明回路"));
    EXPECT_EQ(child<QComboBox>(*w, "cbCode")->itemText(0), QStringLiteral("所有设备"));
    EXPECT_EQ(child<QComboBox>(*w, "cbCode")->itemText(1), QStringLiteral("3"));
    choose(*w, "cbCode", QStringLiteral("3"));
    click(*w, "btQuery");
    ASSERT_EQ(rows(*w), 2) << "the last millisecond of the day is in, the next day is not";
    EXPECT_EQ(cell(*w, 0, 0), QStringLiteral("照明回路"));
    EXPECT_EQ(cell(*w, 0, 2), QStringLiteral("2004-05-30 00:00:00"));
    EXPECT_EQ(cell(*w, 1, 4), QStringLiteral("通讯故障"));

    pickType(*w, QStringLiteral("所有设备"));
    click(*w, "btQuery");
    ASSERT_EQ(rows(*w), 4);
    EXPECT_EQ(cell(*w, 1, 0), QStringLiteral("未定义")) << "type 77 is in no catalogue";
    EXPECT_EQ(cell(*w, 2, 3), QStringLiteral("未知"));
    EXPECT_EQ(cell(*w, 2, 4), QStringLiteral("未知"));
    EXPECT_EQ(cell(*w, 3, 2), QStringLiteral("2004-05-31 23:59:59")) << "oldest first";
    emit grid(*w).horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(cell(*w, 0, 2), QStringLiteral("2004-05-31 23:59:59")) << "the time title reverses";

    days(*w, kMay31, kMay30);
    click(*w, "btQuery");
    EXPECT_EQ(rows(*w), 0);
    EXPECT_TRUE(messages.messages().isEmpty());

    database().exec(QStringLiteral("DROP TABLE DEVICESTATUS"));
    click(*w, "btQuery");
    EXPECT_EQ(rows(*w), 0) << "a failed query leaves the grid empty";
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].flags, ui::mb::IconStop);
    EXPECT_TRUE(w->isVisible());
}

TEST_P(Histories, AlertHistoryOpensOnTheNewestHundredAndFilters) {
    auto w = open<history::TfmDeviceAlert>();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("设备报警查询"));
    ASSERT_EQ(rows(*w), 100);
    EXPECT_EQ(cell(*w, 0, 4), QStringLiteral("last")) << "newest first";
    EXPECT_EQ(cell(*w, 1, 4), QStringLiteral("x149"));
    EXPECT_EQ(grid(*w).columnWidth(0), 112);
    EXPECT_EQ(grid(*w).model()->data(grid(*w).model()->index(0, 1), Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignCenter));

    days(*w, kMay30, kMay30);
    click(*w, "Button1");
    ASSERT_EQ(rows(*w), 1) << "the first second of the day is in";
    EXPECT_EQ(cell(*w, 0, 0), QString()) << "type 77 is in no catalogue";
    EXPECT_EQ(cell(*w, 0, 3), QStringLiteral("取消")) << "no flag reads as cancelled";

    days(*w, kMay30, kMay31);
    pickType(*w, QStringLiteral("照明回路  "));
    choose(*w, "cbCode", QStringLiteral("4"));
    click(*w, "Button1");
    ASSERT_EQ(rows(*w), 1) << "the whole last second, 23:59:59.400 too";
    EXPECT_EQ(cell(*w, 0, 3), QStringLiteral("报警"));

    choose(*w, "cbCode", QStringLiteral("3"));
    click(*w, "Button1");
    ASSERT_EQ(rows(*w), 150);
    EXPECT_EQ(cell(*w, 0, 3), QStringLiteral("取消")) << "-1";
    EXPECT_EQ(cell(*w, 1, 3), QStringLiteral("取消")) << "0";
    EXPECT_EQ(cell(*w, 2, 3), QStringLiteral("报警"));
    EXPECT_EQ(cell(*w, 0, 4), QStringLiteral("x0")) << "oldest first";

    // Ctrl+C and the grid's context menu copy the chosen row as the grid shows it.
    grid(*w).setCurrentIndex(grid(*w).model()->index(2, 0));
    QApplication::setActiveWindow(w.get());
    grid(*w).setFocus();
    QTest::keySequence(&grid(*w), QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("照明回路  \t3\t2004-05-31 10:02:00\t报警\tx2"));
    ASSERT_EQ(grid(*w).actions().size(), 4) << "copy, count, export and the device's timeline";
    EXPECT_EQ(grid(*w).actions()[0]->text(), QStringLiteral("复制(&C)"));
    EXPECT_EQ(grid(*w).contextMenuPolicy(), Qt::ActionsContextMenu);

    pickType(*w, QStringLiteral("全部"));
    EXPECT_EQ(child<QComboBox>(*w, "cbCode")->count(), 1);
    database().exec(QStringLiteral("DROP TABLE DEVICEALERT"));
    click(*w, "Button1");
    EXPECT_EQ(rows(*w), 0);
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("条件输入有误，请重新输入")});
    EXPECT_EQ(messages.messages()[0].caption, QStringLiteral("错误"));
    click(*w, "Button2");
    EXPECT_FALSE(w->isVisible());
}

// The grid's context menu counts the whole result and exports it as the grid shows it; a
// cancelled export leaves no file.
TEST_P(Histories, TheResultIsCountedAndExportedWhole) {
    auto w = open<history::TfmDeviceAlert>();
    days(*w, kMay30, kMay31);
    click(*w, "Button1");
    QTableView& view = grid(*w);
    ASSERT_EQ(view.actions().size(), 4);
    QAction* count = view.actions()[1];
    QAction* exportCsv = view.actions()[2];
    EXPECT_EQ(count->text(), QStringLiteral("统计条数(&N)"));
    EXPECT_EQ(exportCsv->text(), QStringLiteral("导出CSV(&E)..."));
    EXPECT_EQ(view.model()->rowCount(), 152) << "all in the first batch";

    count->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.messages().isEmpty(); }, 5000));
    EXPECT_EQ(messages.texts(), QStringList{QStringLiteral("共 152 条")});

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("报警.csv"));
    const ui::SaveFileChooser previous =
        ui::setSaveFileChooser([&](QWidget*, const QString&, const QString&) { return file; });
    exportCsv->trigger();
    const QPointer<QProgressDialog> progress =
        w->findChild<QProgressDialog*>(QStringLiteral("ResultProgress"));
    ASSERT_NE(progress, nullptr);
    progress->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress.isNull() || !progress->isVisible(); }, 5000));
    EXPECT_FALSE(QFile::exists(file)) << "a cancelled export leaves no file";

    messages.clear();
    exportCsv->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.messages().isEmpty(); }, 5000));
    ui::setSaveFileChooser(previous);
    EXPECT_TRUE(messages.messages()[0].text.startsWith(QStringLiteral("已导出 152 条")));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(written.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 153);
    EXPECT_EQ(lines[0], QStringLiteral("设备类型,编号,发生时间,标识,报警说明"));
    for (int row = 0; row < 152; ++row) {
        QStringList cells;
        for (int column = 0; column < 5; ++column)
            cells.append(cell(*w, row, column));
        ASSERT_EQ(lines[row + 1], cells.join(u',')) << "row " << row;
    }
}

// An export writes exactly what the grid shows, for the values other programs store that a
// window rarely meets: fractions of a second below a millisecond (rounded as the grid rounds
// them, never to the next second), texts with the characters a stream's format escapes, an
// empty text beside a missing one.
TEST_P(Histories, AnExportWritesStoredTimesAndTextsAsTheGridShowsThem) {
    const bool exact = GetParam() == db::Engine::SQLite;  // a stored time's form is checked
    database().exec(
        QStringLiteral(
            "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) "
            "VALUES (5, 4, '2004-05-30 01:00:00.%1', 1, 'a\tb\\N c'), "
            "(5, 4, '2004-05-30 02:00:59.%2', 1, '\u8bbe\u5907 \"q\", x\r\ny'), "
            "(5, 4, '2004-05-30 03:00:00.%3', NULL, ''), "
            "(5, 4, '2004-05-30 04:00:00.000', 1, NULL)")
            .arg(exact ? QStringLiteral("123") : QStringLiteral("1236"),
                 exact ? QStringLiteral("999") : QStringLiteral("9996"),
                 exact ? QStringLiteral("000") : QStringLiteral("0004")));
    auto w = open<history::TfmDeviceAlert>();
    days(*w, kMay30, kMay30);
    click(*w, "Button1");
    const text::CsvTable table =
        test::exportedCsv(*qobject_cast<db::KeysetQueryModel*>(grid(*w).model()));
    ASSERT_EQ(table.records(), rows(*w));
    ASSERT_EQ(table.records(), 5);
    for (int row = 0; row < 5; ++row) {
        QStringList cells;
        for (int column = 0; column < 5; ++column)
            cells.append(text::spreadsheetSafe(cell(*w, row, column)));
        EXPECT_EQ(table.cellList(row), cells) << "row " << row;
    }
}

// An export follows the result the grid had when it began, whatever the grid does meanwhile,
// and writes a file a spreadsheet shows as the grid does: descriptions other programs wrote
// never run as formulas, numbers stay numbers.
TEST_P(Histories, AnExportKeepsItsResultAndWritesWhatASpreadsheetShows) {
    database().exec(
        QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, "
                       "ALERTDESC) VALUES (5, 4, '2004-05-31 01:00:00.000', 1, '=1+2'), "
                       "(5, 4, '2004-05-31 02:00:00.000', 1, '-5'), "
                       "(5, 4, '2004-05-31 03:00:00.000', 1, '@x')"));
    auto w = open<history::TfmDeviceAlert>();
    days(*w, kMay30, kMay31);
    click(*w, "Button1");
    QTableView& view = grid(*w);
    QTemporaryDir folder;
    QString suggested;
    const ui::SaveFileChooser previous =
        ui::setSaveFileChooser([&](QWidget*, const QString&, const QString& name) {
            suggested = name;
            return folder.filePath(QStringLiteral("报警"));
        });
    view.actions()[2]->trigger();
    days(*w, kMay30, kMay30);
    click(*w, "Button1");
    view.horizontalHeader()->sectionClicked(2);
    view.actions()[1]->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages.messages().size() == 2; }, 5000));
    ui::setSaveFileChooser(previous);
    EXPECT_EQ(suggested, w->windowTitle() + u'-' +
                             QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                             QStringLiteral(".csv"));
    EXPECT_TRUE(messages.texts()
                    .filter(QStringLiteral("已导出"))
                    .value(0)
                    .startsWith(QStringLiteral("已导出 155 条")));
    EXPECT_TRUE(messages.texts().contains(QStringLiteral("共 1 条"))) << "the count's own result";
    QFile written(folder.filePath(QStringLiteral("报警.csv")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines =
        QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 156);
    for (const char* ending : {",'=1+2", ",-5", ",'@x"}) {
        EXPECT_EQ(lines
                      .filter(QRegularExpression(
                          QRegularExpression::escape(QString::fromUtf8(ending)) + u'$'))
                      .size(),
                  1)
            << ending;
    }
}

// Left open on a shared database: rows another program writes show at the next query, and a
// session the server ended is replaced by a fresh one without a word (reads are safe to repeat).
TEST_P(Histories, OpenWindowsFollowOtherWritersAndSurviveAnEndedSession) {
    auto alerts = open<history::TfmDeviceAlert>();
    auto states = open<history::TfmQueryStatus>();
    days(*alerts, kMay30, kMay31);
    days(*states, kMay30, kMay31);
    click(*alerts, "Button1");
    ASSERT_EQ(rows(*alerts), 152);
    auto other = db::Database::open(database().connectionString());
    other->execute(
        QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                       "ALERTTYPE, ALERTDESC) VALUES (5, 3, '2004-05-31 23:00:00.000', "
                       "1, 'new')"));
    click(*alerts, "Button1");
    EXPECT_EQ(rows(*alerts), 153);
    click(*states, "btQuery");
    if (GetParam() != db::Engine::PostgreSQL)
        return;
    database().exec(
        QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                       "current_database() and pid <> pg_backend_pid()"));
    click(*alerts, "Button1");
    click(*states, "btQuery");
    EXPECT_TRUE(messages.messages().isEmpty()) << messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(rows(*alerts), 153);
    EXPECT_EQ(rows(*states), 4);
}

TUNNEL_ON_EVERY_ENGINE(Histories);

// The device list and both history grids open the timeline of the device their chosen row
// names, from their context menus.
TEST_P(Histories, TheTimelineOpensFromEachGridForTheChosenDevice) {
    QStringList opened;
    const auto expectTimeline = [&] {
        scripts.expect(QStringLiteral("fmDeviceTimeline"), [&](QDialog& timeline) {
            opened.append(child<QLabel>(timeline, "lDevice")->text());
            return ui::mrCancel;
        });
    };
    devices::TfmDeviceMainage list(nullptr, context());
    list.show();
    auto* devicesGrid = child<QTableView>(list, "DBGrid1");
    devicesGrid->setCurrentIndex(devicesGrid->model()->index(0, 0));
    expectTimeline();
    actionTitled(*devicesGrid, QStringLiteral("运行记录(&T)..."))->trigger();

    auto states = open<history::TfmQueryStatus>();
    days(*states, kMay30, kMay31);
    click(*states, "btQuery");
    grid(*states).setCurrentIndex(grid(*states).model()->index(2, 0));
    expectTimeline();
    actionTitled(grid(*states), QStringLiteral("运行记录(&T)..."))->trigger();

    auto alerts = open<history::TfmDeviceAlert>();
    days(*alerts, kMay30, kMay31);
    click(*alerts, "Button1");
    grid(*alerts).setCurrentIndex(grid(*alerts).model()->index(0, 0));
    expectTimeline();
    QApplication::setActiveWindow(alerts.get());
    grid(*alerts).setFocus();
    QTest::keyClick(&grid(*alerts), Qt::Key_T, Qt::ControlModifier);

    EXPECT_EQ(opened, QStringList({"照明回路(5) 3号", "照明回路(5) 4号", "(77) 1号"}));
}

// One list newest first, the state shares and the alerts of the range, copy and export as the
// histories do; nothing is written.
TEST_P(Histories, TheTimelineMergesTheDevicesRowsAndWritesNothing) {
    const auto counts = [this] {
        return database().scalarInt(QStringLiteral("select count(*) from DEVICESTATUS")) * 1000 +
               database().scalarInt(QStringLiteral("select count(*) from DEVICEALERT"));
    };
    const int before = counts();
    history::TfmDeviceTimeline timeline(nullptr, context(), 5, 3);
    timeline.show();
    EXPECT_EQ(timeline.windowTitle(), QStringLiteral("设备运行记录"));
    EXPECT_EQ(child<QDateEdit>(timeline, "dtpBegin")->date(), QDate::currentDate().addDays(-29))
        << "the last 30 days, today among them";
    EXPECT_EQ(child<QDateEdit>(timeline, "dtpEnd")->date(), QDate::currentDate());
    days(timeline, kMay30, kMay31);
    click(timeline, "btQuery");
    auto* events = child<QTableView>(timeline, "gridEvents");
    QAbstractItemModel& model = *events->model();
    ASSERT_EQ(model.rowCount(), 152) << "two changes and 150 alerts of 5/3";
    const auto row = [&](int r) {
        QStringList cells;
        for (int column = 0; column < 4; ++column) {
            cells.append(model.data(model.index(r, column)).toString());
        }
        return cells.join(u'|');
    };
    EXPECT_EQ(row(0), QStringLiteral("2004-05-31 23:59:59|状态|故障 -> 通讯断|0秒"));
    EXPECT_EQ(row(1), QStringLiteral("2004-05-31 12:29:00|报警|x149|"));
    EXPECT_EQ(row(151), QStringLiteral("2004-05-30 00:00:00|状态|正常 -> 故障|1天23小时"));
    EXPECT_EQ(
        child<QLabel>(timeline, "lShares")->text(),
        QStringLiteral("可用性：正常 0.0%  故障 100.0%  通讯断 0.0%  停用 0.0%  未知 0.0%"));
    EXPECT_TRUE(child<QLabel>(timeline, "lAlerts")
                    ->text()
                    .startsWith(QStringLiteral("报警 50 次，最长一次 ")));

    events->setCurrentIndex(model.index(0, 0));
    QApplication::setActiveWindow(&timeline);
    events->setFocus();
    QTest::keySequence(events, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("2004-05-31 23:59:59\t状态\t故障 -> 通讯断\t0秒"));
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("timeline.csv"));
    QString suggested;
    const ui::SaveFileChooser previous =
        ui::setSaveFileChooser([&](QWidget*, const QString&, const QString& name) {
            suggested = name;
            return file;
        });
    messages.clear();
    actionTitled(*events, QStringLiteral("导出CSV(&E)..."))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.messages().isEmpty(); }, 5000));
    ui::setSaveFileChooser(previous);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(written.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 153);
    EXPECT_EQ(lines[0], QStringLiteral("时间,类别,内容,持续时间"));
    EXPECT_EQ(suggested, QStringLiteral("设备运行记录-5-3-") +
                             QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                             QStringLiteral(".csv"));
    EXPECT_EQ(counts(), before);
}

// Left open: another program's rows show at the next query, and a session the server ended is
// replaced at that query without a word.
TEST_P(Histories, TheTimelineFollowsOtherWritersAndSurvivesAnEndedSession) {
    history::TfmDeviceTimeline timeline(nullptr, context(), 5, 3);
    timeline.show();
    days(timeline, kMay30, kMay31);
    click(timeline, "btQuery");
    auto* events = child<QTableView>(timeline, "gridEvents");
    ASSERT_EQ(events->model()->rowCount(), 152);
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, "
        "REMARK) VALUES (5, 3, '2004-05-31 06:00:00.000', 2, 1, 'r')"));
    click(timeline, "btQuery");
    EXPECT_EQ(events->model()->rowCount(), 153);
    if (GetParam() != db::Engine::PostgreSQL)
        return;
    database().exec(
        QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = "
                       "current_database() and pid <> pg_backend_pid()"));
    messages.clear();
    click(timeline, "btQuery");
    EXPECT_TRUE(messages.messages().isEmpty()) << "a read is made again on a fresh session";
    EXPECT_EQ(events->model()->rowCount(), 153);
}
