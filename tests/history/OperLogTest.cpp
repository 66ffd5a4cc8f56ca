#include "history/TfmOperLog.h"

#include "Commands.h"
#include "data/LogSearchIndex.h"
#include "data/OperLogStatements.h"
#include "data/OperationLog.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Transaction.h"
#include "support/Printers.h"
#include "support/TestDatabase.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

using namespace tunnel;

namespace {

class OperLog : public test::EngineTest {
protected:
    void log(const char* action, const char* table, const char* key, const char* after) {
        data::logChange(database().db(), {data::funcCode::kDeviceList,
                                          QString::fromUtf8(action),
                                          QString::fromUtf8(table),
                                          QString::fromUtf8(key),
                                          {},
                                          QString::fromUtf8(after)});
    }

    // The window's rows as "ACTION|ROWKEY", top to bottom.
    static QStringList shown(history::TfmOperLog& window) {
        const QAbstractItemModel& model =
            *window.findChild<QTableView*>(QStringLiteral("DBGrid"))->model();
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            rows.append(model.data(model.index(row, 1)).toString() + u'|' +
                        model.data(model.index(row, 3)).toString());
        }
        return rows;
    }
};

}  // namespace

// Newest first; the text is found in any of the texts, in any case; the table narrows; a key
// handed over opens on that row's story.
TEST_P(OperLog, TheWindowFiltersByTextAndTableNewestFirst) {
    log("增加", "DEVICE", "DEVICETYPE=5,DEVICECODE=3", "PHYSICS=Fan-A");
    log("接线", "NGCONFIG", "NGTYPE=24,NGCODE=1,PORTTYPE=2,PORTCODE=3", "DEVICETYPE=5; x");
    log("修改", "AREA", "AREACODE=2", "AREANAME=北洞口");
    const data::ModuleContext context{database().connectionString(), {}};
    history::TfmOperLog window(nullptr, context);
    window.show();
    EXPECT_EQ(shown(window),
              (QStringList{"修改|AREACODE=2", "接线|NGTYPE=24,NGCODE=1,PORTTYPE=2,PORTCODE=3",
                           "增加|DEVICETYPE=5,DEVICECODE=3"}));
    window.findChild<QLineEdit*>(QStringLiteral("edText"))->setText(QStringLiteral("fan-a"));
    window.Button1Click();
    EXPECT_EQ(shown(window), QStringList{"增加|DEVICETYPE=5,DEVICECODE=3"});
    window.findChild<QLineEdit*>(QStringLiteral("edText"))->setText(QStringLiteral("DEVICETYPE=5"));
    auto* tables = window.findChild<QComboBox*>(QStringLiteral("cbTable"));
    tables->setCurrentIndex(tables->findText(QStringLiteral("接线")));
    window.Button1Click();
    EXPECT_EQ(shown(window), QStringList{"接线|NGTYPE=24,NGCODE=1,PORTTYPE=2,PORTCODE=3"});

    history::TfmOperLog keyed(nullptr, context,
                              {QStringLiteral("AREA"), QStringLiteral("AREACODE=2")});
    keyed.show();
    EXPECT_EQ(shown(keyed), QStringList{"修改|AREACODE=2"});
}

// A row's story is that row's: camera 1's holds none of camera 10's, whose key begins alike;
// a text typed instead is looked for anywhere again.
TEST_P(OperLog, ARowsStoryMatchesItsKeyExactly) {
    log("修改", "DEVICE", "DEVICETYPE=1,DEVICECODE=1", "{}");
    log("修改", "DEVICE", "DEVICETYPE=1,DEVICECODE=10", "{}");
    log("修改", "DEVICE", "DEVICETYPE=11,DEVICECODE=1", "{}");
    const data::ModuleContext context{database().connectionString(), {}};
    history::TfmOperLog keyed(
        nullptr, context, {QStringLiteral("DEVICE"), QStringLiteral("DEVICETYPE=1,DEVICECODE=1")});
    keyed.show();
    EXPECT_EQ(shown(keyed), QStringList{"修改|DEVICETYPE=1,DEVICECODE=1"});
    keyed.findChild<QLineEdit*>(QStringLiteral("edText"))->setText(QStringLiteral("DEVICECODE=1"));
    keyed.Button1Click();
    EXPECT_EQ(shown(keyed).size(), 3);
}

// Who: the account the process runs as, whatever USER says. What: the changed columns only,
// each value read back exactly (a text shaped like a log entry, the text "NULL", a null, a
// leading blank); a confirmation that changes nothing writes no row.
TEST_P(OperLog, ARowNamesTheAccountAndReadsBackExactly) {
    database().exec(
        QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, PHYSICS, COMMDATA, "
                       "CYCLE) VALUES (1, 1, 'old', 'NULL', 60)"));
    const QString device = data::deviceWhere(1, 1);
    const auto edit = [&](const QString& set) {
        return data::writeLogged(
            database().db(),
            data::deviceChange(data::funcCode::kDeviceList, QStringLiteral("修改"), device, device),
            [&] {
                database().db().execute(
                    QStringLiteral("update DEVICE set %1 where %2").arg(set, device));
                return true;
            });
    };
    const passwd* account = ::getpwuid(::geteuid());
    ASSERT_NE(account, nullptr);
    for (const char* user :
         {static_cast<const char*>("mallory"), static_cast<const char*>(nullptr)}) {
        if (user != nullptr) {
            qputenv("USER", user);
        } else {
            qunsetenv("USER");
        }
        ASSERT_TRUE(edit(QStringLiteral("CYCLE=CYCLE+1")));
    }
    qputenv("USER", account->pw_name);
    EXPECT_EQ(database().rows(QStringLiteral("select OPERATOR from OPERLOG")),
              QStringList(2, QString::fromLocal8Bit(account->pw_name)));

    ASSERT_TRUE(
        edit(QStringLiteral("PHYSICS=' x; COMMDATA=1.2.3.4', COMMDATA=NULL, "
                            "BEGINPOS='NULL'")));
    ASSERT_TRUE(edit(QStringLiteral("CYCLE=CYCLE")));
    const QStringList texts =
        database().rows(QStringLiteral("select BEFORETEXT, AFTERTEXT from OPERLOG order by LOGID"));
    ASSERT_EQ(texts.size(), 3) << "no row for a change of nothing";
    const QStringList parts = texts[2].split(u'|');
    ASSERT_EQ(parts.size(), 2);
    const QJsonObject before = QJsonDocument::fromJson(parts[0].toUtf8()).object();
    const QJsonObject after = QJsonDocument::fromJson(parts[1].toUtf8()).object();
    EXPECT_EQ(after.keys(), (QStringList{"BEGINPOS", "COMMDATA", "PHYSICS"}))
        << "the changed columns only";
    EXPECT_EQ(after.value(QStringLiteral("PHYSICS")).toString(),
              QStringLiteral(" x; COMMDATA=1.2.3.4"));
    EXPECT_TRUE(after.value(QStringLiteral("COMMDATA")).isNull());
    EXPECT_EQ(after.value(QStringLiteral("BEGINPOS")).toString(), QStringLiteral("NULL"));
    EXPECT_EQ(before.value(QStringLiteral("COMMDATA")).toString(), QStringLiteral("NULL"));
    EXPECT_TRUE(before.value(QStringLiteral("BEGINPOS")).isNull());
    EXPECT_EQ(before.value(QStringLiteral("PHYSICS")).toString(), QStringLiteral("old"));
}

// A database not yet upgraded: changes go through unlogged and the notice comes once; the
// archive export writes the rows before a day.
TEST_P(OperLog, WithoutTheTableChangesGoOnAndTheNoticeComesOnce) {
    log("增加", "DEVICE", "DEVICETYPE=5,DEVICECODE=3", "a");
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("log.csv"));
    QString text;
    QTextStream out(&text);
    ASSERT_EQ(tools::runTunnelDb({QStringLiteral("log-export"), database().connectionString(), file,
                                  QStringLiteral("--before"),
                                  QDate::currentDate().addDays(1).toString(Qt::ISODate)},
                                 out, out),
              0)
        << text.toStdString();
    QFile exported(file);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().count("\r\n"), 2) << "the titles and the one row";

    database().exec(QStringLiteral("DROP TABLE OPERLOG"));
    int notices = 0;
    data::setMissingLogNotice([&] { ++notices; });
    auto session = db::Database::open(database().connectionString());  // the module's, afresh
    for (int change = 0; change < 2; ++change) {
        EXPECT_TRUE(data::writeLogged(
            *session,
            data::deviceChange(data::funcCode::kDeviceList, QStringLiteral("增加"), {},
                               data::deviceWhere(1, change)),
            [&] {
                session->execute(
                    QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE) VALUES (1, %1)")
                        .arg(change));
                return true;
            }));
    }
    data::setMissingLogNotice({});
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), 2);
    EXPECT_EQ(notices, 1);
}

// A session the server ends between the change and its log row: the transaction goes with it,
// so neither stays.
TEST_P(OperLog, AnEndedSessionTakesTheChangeAndItsRowTogether) {
    if (GetParam() != db::Engine::PostgreSQL)
        GTEST_SKIP() << "ending another session needs a server";
    database().exec(
        QStringLiteral("INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, CYCLE) VALUES (1, 1, 60)"));
    auto module = db::Database::open(database().connectionString());
    const QString device = data::deviceWhere(1, 1);
    EXPECT_THROW(
        data::writeLogged(
            *module,
            data::deviceChange(data::funcCode::kDeviceList, QStringLiteral("修改"), device, device),
            [&] {
                module->execute(QStringLiteral("update DEVICE set CYCLE=30 where ") + device);
                database().exec(
                    QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where "
                                   "datname = current_database() and pid <> pg_backend_pid()"));
                return true;
            }),
        db::DbError);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select CYCLE from DEVICE")), 60);
    EXPECT_TRUE(database().operLog().isEmpty());
}

// A change's text is logged whole at any size (an import names a hundred thousand devices),
// with escapes and Chinese as they are; the rows of one transaction carry its time.
TEST_P(OperLog, TextsOfAnySizeAreLoggedWholeAtTheTransactionsTime) {
    QString large = QStringLiteral("北口\\a\tb\r\n");
    while (large.size() < 200000) {
        large += QStringLiteral("DEVICETYPE=1,DEVICECODE=%1; ").arg(large.size());
    }
    {
        db::Transaction transaction(database().db());
        log("导入", "DEVICE", "small", "短");
        data::logChange(database().db(), {data::funcCode::kTool,
                                          QStringLiteral("导入"),
                                          QStringLiteral("DEVICE"),
                                          QStringLiteral("large"),
                                          {},
                                          large});
        transaction.commit();
    }
    int whole = 0;
    database().db().forEachRow(QStringLiteral("select count(*) from OPERLOG where AFTERTEXT=?"),
                               {large}, [&](const QVariantList& row) { whole = row[0].toInt(); });
    EXPECT_EQ(whole, 1);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from OPERLOG")), 2);
    if (GetParam() == db::Engine::PostgreSQL) {
        EXPECT_EQ(
            database().scalarInt(QStringLiteral("select count(distinct LOGTIME) from OPERLOG")), 1);
    }
}

// The log's search index finds what reading every row finds, for the rows of each writer: the
// editor's, an import's, rows logged before the index was made (entered by the upgrade) and a
// row another program wrote without entering it; texts the index cannot answer for (a column's
// name, JSON's punctuation around a value, a text of no trigram) are read.
TEST_P(OperLog, TheSearchIndexFindsWhatReadingFinds) {
    const bool sqlite = GetParam() == db::Engine::SQLite;
    db::Database& db = database().db();
    data::dropLogSearch(db);
    log("修改", "DEVICE", "DEVICETYPE=1,DEVICECODE=1", R"({"PHYSICS":"old-fan"})");
    EXPECT_TRUE(data::addLogSearch(db));
    auto session = db::Database::open(database().connectionString());  // one that knows the index
    data::logChange(*session,
                    {data::funcCode::kDeviceList, QStringLiteral("修改"), QStringLiteral("DEVICE"),
                     QStringLiteral("DEVICETYPE=5,DEVICECODE=7"),
                     QStringLiteral(R"({"COMMDATA":"8;9600,8,N,1"})"),
                     QStringLiteral(R"({"COMMDATA":"say \"hi\"","CYCLE":60})")});
    database().exec(
        QString::fromUtf8(
            "INSERT INTO OPERLOG (LOGTIME, STATION, OPERATOR, FUNCCODE, ACTION, TABLENAME, ROWKEY, "
            "BEFORETEXT, AFTERTEXT) VALUES (%1, 'OLDSTATION', 'someone', 1, '修改', 'DEVICE', "
            "'DEVICETYPE=9,DEVICECODE=9', '', 'PHYSICS=legacy-pump')")
            .arg(sqlite ? QStringLiteral("strftime('%Y-%m-%d %H:%M:%f', 'now', "
                                         "'localtime')")
                        : QStringLiteral("LOCALTIMESTAMP")));
    database().exec(QString::fromUtf8("INSERT INTO DEVICETYPE VALUES (3, '风机')"));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, POSITION, STATUS, SIDE, PHYSICS, COMMTYPE, "
        "COMMDATA, CYCLE) VALUES (3, 1, 1, 1, 1, 'imp-one', 1, '10.9.8.7', 61), (3, 2, 1, 1, 1, "
        "'imp-two', 0, NULL, 62)"));
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("r.csv"));
    QString output;
    QTextStream out(&output);
    ASSERT_EQ(
        tools::runTunnelDb({QStringLiteral("export-devices"), database().connectionString(), file},
                           out, out),
        0);
    database().exec(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE=3 AND DEVICECODE=2"));
    database().exec(QStringLiteral("UPDATE DEVICE SET PHYSICS='was-one' WHERE DEVICETYPE=3"));
    ASSERT_EQ(
        tools::runTunnelDb({QStringLiteral("import-devices"), database().connectionString(), file},
                           out, out),
        0)
        << output.toStdString();
    const struct {
        const char* text;
        int rows;
    } cases[] = {
        {"old-fan", 1},      {"9600,8", 1}, {"say", 1},     {"legacy-p", 1}, {"oldstation", 1},
        {"DEVICECODE=7", 1}, {"imp-t", 1},  {"was-one", 1}, {"imp-one", 1},  {"无此内容", 0},
        {"CYCLE", 2},        {"60}", 1},    {"\"hi", 1},    {"62,", 1},      {"5,D", 1},
        {"0,8,N", 1},        {"+-*", 0},
    };
    const QDate today = QDate::currentDate();
    for (const auto& c : cases) {
        const data::OperLogFilter filter{
            today.addDays(-1), today.addDays(1), QString::fromUtf8(c.text), {}};
        const auto ids = [&](const std::optional<QString>& candidates) {
            return database().rows(QStringLiteral("select LOGID from (%1) t order by LOGID")
                                       .arg(data::operLogStatement(filter, candidates)));
        };
        const QStringList read = ids(std::nullopt);
        EXPECT_EQ(read.size(), c.rows) << c.text;
        EXPECT_EQ(ids(data::logSearchCandidates(*session, filter.text)), read) << c.text;
    }
    if (sqlite) {
        EXPECT_EQ(database().rows(QStringLiteral("select ROWKEY from OPERLOG where LOGID in "
                                                 "(select LOGID from OPERLOG_UNINDEXED)")),
                  QStringList{QStringLiteral("DEVICETYPE=9,DEVICECODE=9")})
            << "only the other program's row waits to be entered";
        output.clear();
        ASSERT_EQ(tools::runTunnelDb({QStringLiteral("upgrade"), database().connectionString()},
                                     out, out),
                  0);
        EXPECT_TRUE(output.contains(QStringLiteral("Entered 1 log rows"))) << output.toStdString();
        EXPECT_TRUE(
            database().rows(QStringLiteral("select LOGID from OPERLOG_UNINDEXED")).isEmpty());
        EXPECT_TRUE(data::logSearchCandidates(*session, QStringLiteral("legacy-p")).has_value());
        const data::OperLogFilter legacy{
            today.addDays(-1), today.addDays(1), QStringLiteral("legacy-p"), {}};
        EXPECT_EQ(database()
                      .rows(data::operLogStatement(
                          legacy, data::logSearchCandidates(*session, legacy.text)))
                      .size(),
                  1)
            << "found through the index now";
    }
    EXPECT_TRUE(data::logSearchCandidates(*session, QStringLiteral("imp-one")).has_value())
        << "a value is looked up in the index";
}

TUNNEL_ON_EVERY_ENGINE(OperLog);
