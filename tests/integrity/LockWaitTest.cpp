// Every kind of write the windows and the host make, tried while another session holds a lock
// on its table: refused within the bound with the cause named and nothing written, and written
// on the next try once the other session has let go.
#include "../../host/HostServices.h"
#include "data/TdmPublicData.h"
#include "devices/TfmAddDevice.h"
#include "devices/TfmConnectConfig.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmArea.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/ui/EditGrid.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ResultActions.h"

#include <QTest>
#include "wiring/GatewayFixture.h"
#include "wiring/TfmNetGateConfig.h"
#include "wiring/TfmNgConnect.h"
#include "wiring/TfmPlcConfig.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <thread>

using namespace tunnel;
using namespace tunnel::test;

namespace {

const QString kBusy = QStringLiteral("数据库忙：另一个程序锁定了要修改的数据，请稍后再试。");

class LockWait : public GatewayWindows {
public:
    // The windows wait one second at most here.
    data::ModuleContext windowContext() {
        return {database().connectionString() + ";Lock Timeout=1", {}};
    }
    QString stored(int type, int code, const char* column) {
        return device(type, code, QString::fromLatin1(column));
    }
    TestDatabase& db() { return database(); }
    QTemporaryDir folder;
    template <typename Window>
    Window* show(std::unique_ptr<Window> window) {
        window->show();
        windows.push_back(std::move(window));
        return static_cast<Window*>(windows.back().get());
    }

protected:
    void prepare() override {
        GatewayWindows::prepare();
        database().exec(QStringLiteral(
            "INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (6, '风机'), (27, 'PLC控制器')"));
        insertDevice(27, 1, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'P1', '', '', 1, 1, '', 0"));
        insertDevice(6, 1, QStringLiteral("1, 1, 0, 1, 60, 1, 1, 'F1', '', '', 1, 4, '0', 0"));
        database().exec(
            QStringLiteral("INSERT INTO NGDEVICEPARAM (DEVICETYPE, PARAM, PORTTYPE, "
                           "DESCRIPT) VALUES (6, 1, 1, '正转')"));
        lookup = std::make_unique<data::TdmPublicData>(database().connectionString());
        lookup->DataModuleCreate();
    }
    void TearDown() override {
        ui::setOpenFileChooser({});
        windows.clear();
        host::HostServices::instance().setConnectionString({});
        holder.reset();
        lookup.reset();
        GatewayWindows::TearDown();
    }

    // Another session holds `table` against writers (readers pass) until it lets go.
    void holdTable(const QString& table) {
        holder = db::Database::open(database().connectionString());
        holder->begin();
        holder->execute(GetParam() == db::Engine::SQLite
                            ? QStringLiteral("DELETE FROM %1 WHERE 1 = 0").arg(table)
                            : QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(table));
    }
    QStringList reports() {
        QStringList texts;
        for (const auto& message : messages.messages()) {
            if ((message.flags & 0xF0U) == ui::mb::IconStop) {  // the icon bits
                texts.append(message.text);
            }
        }
        return texts;
    }

    std::vector<std::unique_ptr<QWidget>> windows;
    std::unique_ptr<data::TdmPublicData> lookup;
    std::shared_ptr<db::Database> holder;
};

// One kind of write: the table it needs, the window opened and filled in (it stays open
// between the two tries), the confirm, and what is stored once it went through.
struct Write {
    const char* name;
    const char* table;
    std::function<std::function<void()>(LockWait&)> open;
    std::function<QString(LockWait&)> stored;
    QString written;
    bool logged = true;  // the module logs it (the host's statements are the host's)
};

void pickItems(QWidget& window, const std::vector<std::pair<const char*, QString>>& picks) {
    for (const auto& [list, item] : picks) {
        auto* box = child<QComboBox>(window, list);
        const int index = box->findText(item);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
}

const Write kWrites[] = {
    {"device add", "DEVICE",
     [](LockWait& t) {
         auto* w = t.show(std::make_unique<devices::TfmAddDevice>(nullptr, t.windowContext()));
         choose(*w, "cbType", QStringLiteral("1-摄像机"));
         child<QSpinBox>(*w, "seCode")->setValue(7);
         return [w] { click(*w, "Button1"); };
     },
     [](LockWait& t) { return t.stored(1, 7, "CYCLE"); }, QStringLiteral("60")},
    {"device edit", "DEVICE",
     [](LockWait& t) {
         auto window = std::make_unique<devices::TfmAddDevice>(nullptr, t.windowContext());
         window->SetDevice(5, 3);
         auto* w = t.show(std::move(window));
         child<QSpinBox>(*w, "seCycle")->setValue(99);
         return [w] { click(*w, "Button1"); };
     },
     [](LockWait& t) { return t.stored(5, 3, "CYCLE"); }, QStringLiteral("99")},
    {"device delete", "DEVICE",
     [](LockWait& t) {
         auto* w = t.show(std::make_unique<devices::TfmDeviceMainage>(nullptr, t.windowContext()));
         auto* grid = child<QTableView>(*w, "DBGrid1");
         grid->setCurrentIndex(grid->model()->index(0, 0));
         return [w] { click(*w, "btDelete"); };
     },
     [](LockWait& t) { return t.stored(1, 1, "CYCLE"); }, QStringLiteral("<none>")},
    {"connection settings", "DEVICE",
     [](LockWait& t) {
         auto window = std::make_unique<devices::TfmConnectConfig>(nullptr, t.windowContext());
         window->SetDevice(5, 3);
         auto* w = t.show(std::move(window));
         child<QRadioButton>(*w, "rbNone")->setChecked(true);
         return [w] { click(*w, "Button1"); };
     },
     [](LockWait& t) { return t.stored(5, 3, "COMMTYPE"); }, QStringLiteral("0")},
    {"port assignment", "NGCONFIG",
     [](LockWait& t) {
         auto window = std::make_unique<wiring::TfmNgConnect>(nullptr, t.windowContext());
         window->SetGateway(3);
         auto* w = t.show(std::move(window));
         choose(*w, "cbType", QStringLiteral("风机(7)"));
         choose(*w, "cbCode", QStringLiteral("2"));
         child<QListWidget>(*w, "lbPort")->setCurrentRow(0);
         click(*w, "btConnect");
         return [w] { click(*w, "btOK"); };
     },
     [](LockWait& t) { return t.stored(7, 2, "COMMDATA"); }, QStringLiteral("1")},
    {"PLC mapping", "PLCCONFIG",
     [](LockWait& t) {
         auto* w = t.show(std::make_unique<wiring::TfmPlcConfig>(nullptr, t.windowContext()));
         pickItems(*w, {{"cbCode", QStringLiteral("1")},
                        {"cbRType", QStringLiteral("v")},
                        {"cbRCode", QStringLiteral("3")},
                        {"cbRBit", QStringLiteral("7")},
                        {"cbDeviceType", QStringLiteral("6-风机")},
                        {"cbDeviceCode", QStringLiteral("1")},
                        {"cbDeviceParam", QStringLiteral("1-正转")}});
         return [w] { click(*w, "btConnect"); };
     },
     [](LockWait& t) {
         return QString::number(t.db().scalarInt(QStringLiteral("select count(*) from PLCCONFIG")));
     },
     QStringLiteral("1")},
    {"area row", "AREA",
     [](LockWait& t) {
         auto* w = t.show(std::make_unique<history::TfmArea>(nullptr, t.windowContext()));
         auto* grid = w->findChild<ui::EditGrid*>(QStringLiteral("DBGrid1"));
         click(*w, "btEdit");
         grid->model()->setData(grid->model()->index(grid->currentIndex().row(), 1),
                                QStringLiteral("北口"));
         return [grid] { QTest::keyClick(grid, Qt::Key_Return); };
     },
     [](LockWait& t) {
         return QString::number(
             t.db().scalarInt(QStringLiteral("select count(*) from AREA where AREANAME = '北口'")));
     },
     QStringLiteral("1")},
    {"host statement", "DEVICE",
     [](LockWait& t) {
         host::HostServices::instance().setConnectionString(t.windowContext().connectionString);
         t.show(std::make_unique<QWidget>());
         return [] {
             host::HostServices::instance().executeStatement(
                 QStringLiteral("update DEVICE set CYCLE=5 where DEVICETYPE=12 and DEVICECODE=5"));
         };
     },
     [](LockWait& t) { return t.stored(12, 5, "CYCLE"); }, QStringLiteral("5"), false},
    {"disconnect", "NGCONFIG",
     [](LockWait& t) {
         auto* w = t.show(std::make_unique<wiring::TfmNetGateConfig>(nullptr, t.windowContext()));
         auto* wiring = child<QTableView>(*w, "DBGrid2");
         wiring->setCurrentIndex(wiring->model()->index(0, 0));
         return [w] { click(*w, "btDisConnect"); };
     },
     [](LockWait& t) {
         return QString::number(t.db().scalarInt(
             QStringLiteral("select count(*) from NGCONFIG where DEVICETYPE=7 and DEVICECODE=1")));
     },
     QStringLiteral("0")},
    {"register import", "DEVICE",
     [](LockWait& t) {
         auto* w = t.show(std::make_unique<devices::TfmDeviceMainage>(nullptr, t.windowContext()));
         const QString path = t.folder.filePath(QStringLiteral("in.csv"));
         QFile file(path);
         file.open(QIODevice::WriteOnly);
         file.write("DEVICETYPE,DEVICECODE,PHYSICS\r\n5,3,imported\r\n1,8,new\r\n");
         file.close();
         ui::setOpenFileChooser([path](QWidget*, const QString&) { return path; });
         auto* grid = child<QTableView>(*w, "DBGrid1");
         return [grid] {
             for (QAction* action : grid->actions()) {
                 if (action->text() == QStringLiteral("导入设备表(&I)...")) {
                     action->trigger();
                 }
             }
         };
     },
     [](LockWait& t) { return t.stored(5, 3, "PHYSICS") + u'/' + t.stored(1, 8, "PHYSICS"); },
     QStringLiteral("imported/new")},
};

}  // namespace

TEST_P(LockWait, EveryWriteIsBoundedReportedAndRepeatable) {
    for (const Write& write : kWrites) {
        SCOPED_TRACE(write.name);
        const std::function<void()> confirm = write.open(*this);
        const QString before = write.stored(*this);
        holdTable(QString::fromLatin1(write.table));
        messages.clear();
        QElapsedTimer waited;
        waited.start();
        confirm();
        const QStringList refused = reports();
        ASSERT_EQ(refused.size(), 1) << messages.texts().join(u'\n').toStdString();
        EXPECT_TRUE(refused[0].startsWith(kBusy)) << refused[0].toStdString();
        EXPECT_LT(waited.elapsed(), 8000) << "bounded by the connection's Lock Timeout";
        EXPECT_TRUE(windows.back()->isVisible()) << "the window stays with what was entered";
        holder.reset();
        EXPECT_EQ(write.stored(*this), before) << "nothing half-written";
        messages.clear();
        confirm();
        EXPECT_TRUE(reports().isEmpty()) << reports().join(u'\n').toStdString();
        EXPECT_EQ(write.stored(*this), write.written);
        windows.clear();
    }
}

// Every logged write with its log row refused by the database (a trigger, as a full disk or a
// constraint would): the change does not stay either, the window says why and stays; once the
// log takes rows again the same confirm writes both.
TEST_P(LockWait, NoLoggedChangeLandsWithoutItsRow) {
    const bool sqlite = GetParam() == db::Engine::SQLite;
    if (!sqlite) {
        database().exec(
            QStringLiteral("CREATE FUNCTION refuse_log() RETURNS trigger AS $$ BEGIN "
                           "RAISE EXCEPTION 'log refused'; END $$ LANGUAGE plpgsql"));
    }
    for (const Write& write : kWrites) {
        if (!write.logged) {
            continue;
        }
        SCOPED_TRACE(write.name);
        const std::function<void()> confirm = write.open(*this);
        const QString before = write.stored(*this);
        database().exec(sqlite ? QStringLiteral("CREATE TRIGGER refuse_log BEFORE INSERT ON "
                                                "OPERLOG BEGIN SELECT RAISE(ABORT, 'log "
                                                "refused'); END")
                               : QStringLiteral("CREATE TRIGGER refuse_log BEFORE INSERT ON "
                                                "OPERLOG FOR EACH ROW EXECUTE FUNCTION "
                                                "refuse_log()"));
        const int logged = database().operLog().size();
        messages.clear();
        confirm();
        const QStringList refused = reports();
        ASSERT_EQ(refused.size(), 1) << messages.texts().join(u'\n').toStdString();
        EXPECT_EQ(write.stored(*this), before) << "the change went without its row";
        EXPECT_TRUE(windows.back()->isVisible());
        database().exec(sqlite ? QStringLiteral("DROP TRIGGER refuse_log")
                               : QStringLiteral("DROP TRIGGER refuse_log ON OPERLOG"));
        messages.clear();
        confirm();
        EXPECT_TRUE(reports().isEmpty()) << reports().join(u'\n').toStdString();
        EXPECT_EQ(write.stored(*this), write.written);
        EXPECT_GT(database().operLog().size(), logged);
        windows.clear();
    }
    ui::setOpenFileChooser({});
}

// A lock let go within the bound is waited out, and the write goes through.
TEST_P(LockWait, AShortLockIsWaitedOut) {
    auto editor = std::make_unique<devices::TfmAddDevice>(
        nullptr, data::ModuleContext{database().connectionString() + ";Lock Timeout=20", {}});
    editor->SetDevice(5, 3);
    auto* window = show(std::move(editor));
    child<QSpinBox>(*window, "seCycle")->setValue(42);
    std::atomic<bool> held{false};
    // A connection lives in the thread that opened it.
    std::thread otherSession([&] {
        holdTable(QStringLiteral("DEVICE"));
        held = true;
        std::this_thread::sleep_for(std::chrono::seconds(2));
        holder.reset();
    });
    while (!held) {
        std::this_thread::yield();
    }
    click(*window, "Button1");
    otherSession.join();
    EXPECT_TRUE(reports().isEmpty()) << reports().join(u'\n').toStdString();
    EXPECT_EQ(stored(5, 3, "CYCLE"), QStringLiteral("42"));
}

// The bound reaches the engine's session.
TEST_P(LockWait, LockTimeoutIsAppliedToTheSession) {
    auto db = db::Database::open(database().connectionString() + ";Lock Timeout=7");
    const QString sql = GetParam() == db::Engine::SQLite ? QStringLiteral("PRAGMA busy_timeout")
                                                         : QStringLiteral("SHOW lock_timeout");
    QSqlQuery result = db->select(sql, db::Database::Written::ForEngine);
    ASSERT_TRUE(db->next(result, sql));
    EXPECT_EQ(result.value(0).toString(),
              GetParam() == db::Engine::SQLite ? QStringLiteral("7000") : QStringLiteral("7s"));
}

// The server compiles none of the module's statements (compiling a report's over a partitioned
// history took longer than running it) and keeps no cache of look-ups (the tunnel view's, one a
// device, never hit it and cost as much as they did).
TEST_P(LockWait, TheServerCompilesAndMemoizesNoStatementOfTheSession) {
    if (GetParam() != db::Engine::PostgreSQL)
        GTEST_SKIP() << "a server's setting";
    auto db = db::Database::open(database().connectionString());
    const QString sql =
        QStringLiteral("select current_setting('jit'), current_setting('enable_memoize')");
    QSqlQuery result = db->select(sql, db::Database::Written::ForEngine);
    ASSERT_TRUE(db->next(result, sql));
    EXPECT_EQ(result.value(0).toString(), QStringLiteral("off"));
    EXPECT_EQ(result.value(1).toString(), QStringLiteral("off"));
}

TUNNEL_ON_EVERY_ENGINE(LockWait);
