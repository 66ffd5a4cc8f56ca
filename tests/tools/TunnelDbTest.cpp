#include "Commands.h"
#include "data/EarlierHooks.h"
#include "data/HistoryStatements.h"
#include "data/IndexedGrams.h"
#include "data/Partitions.h"
#include "data/SearchIndex.h"
#include "platform/db/DbError.h"
#include "platform/db/KeysetSql.h"
#include "platform/text/Gbk.h"

#include "support/Printers.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <tuple>

using namespace tunnel;

namespace {

struct ToolRun {
    int code;
    QString out;
    QString err;
};

ToolRun tunneldb(const QStringList& arguments) {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code = tools::runTunnelDb(arguments, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return {code, out, err};
}

class TunnelDbOnEngine : public test::EngineTest {
protected:
    // The test database has the schema already; tunneldb starts from an empty one.
    void prepare() override {
        ASSERT_EQ(tunneldb({QStringLiteral("init"), database().connectionString(),
                            QStringLiteral("--force")})
                      .code,
                  0);
    }
};

// Alert rows that break the pairs: a device's first row not a raise, two raises or two cancels
// running, a cancel of another description than its raise.
QString alertsOutOfPairs() {
    return QStringLiteral(
        "select count(*) from (select ALERTTYPE, ALERTDESC, lag(ALERTTYPE) over w AS PREVTYPE, "
        "lag(ALERTDESC) over w AS PREVDESC from DEVICEALERT window w as (partition by "
        "DEVICETYPE, DEVICECODE order by ALERTTIME)) t where (PREVTYPE is null and ALERTTYPE <> "
        "1) or PREVTYPE = ALERTTYPE or (ALERTTYPE = 0 and PREVDESC <> ALERTDESC)");
}

}  // namespace

TEST(TunnelDb, WrongCallsAreUsageErrors) {
    EXPECT_EQ(tunneldb({}).code, 2);
    EXPECT_EQ(
        tunneldb({QStringLiteral("drop"), QStringLiteral("Provider=SQLite;Data Source=x")}).code,
        2);
    const ToolRun badNumber =
        tunneldb({QStringLiteral("generate"), QStringLiteral("Provider=SQLite;Data Source=x"),
                  QStringLiteral("--devices"), QStringLiteral("many")});
    EXPECT_EQ(badNumber.code, 2);
    EXPECT_TRUE(badNumber.err.contains(QStringLiteral("\"many\"")));
    EXPECT_EQ(tunneldb({QStringLiteral("--help")}).code, 0);
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("init"), QStringLiteral("Provider=SQLite;Data Source=x"),
                      QStringLiteral("--partitioned")},
          QStringList{QStringLiteral("partitions"), QStringLiteral("Provider=SQLite;Data Source=x"),
                      QStringLiteral("--detach-before"), QStringLiteral("2026-13")},
          QStringList{QStringLiteral("demo"), QStringLiteral("Provider=SQLite;Data Source=x"),
                      QStringLiteral("--from"), QStringLiteral("2026-01")},
          QStringList{QStringLiteral("report"), QStringLiteral("Provider=SQLite;Data Source=x"),
                      QStringLiteral("--csv"), QStringLiteral("r.csv")},
          QStringList{QStringLiteral("report"), QStringLiteral("Provider=SQLite;Data Source=x"),
                      QStringLiteral("--month"), QStringLiteral("2026-13"), QStringLiteral("--csv"),
                      QStringLiteral("r.csv")},
          QStringList{QStringLiteral("report"), QStringLiteral("Provider=SQLite;Data Source=x"),
                      QStringLiteral("--month"), QStringLiteral("2026-11")}}) {
        EXPECT_EQ(tunneldb(wrong).code, 2) << wrong.join(u' ').toStdString();
        EXPECT_FALSE(QFile::exists(QStringLiteral("x"))) << "nothing is created";
    }
}

// Numbers past the sensible bounds are refused before anything is written: the database file is
// not even created.
TEST(TunnelDb, GenerateRefusesVolumesBeyondItsBoundsBeforeWriting) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("g.db"));
    const QString text = QStringLiteral("Provider=SQLite;Data Source=") + file;
    const QStringList wrong[] = {
        {QStringLiteral("--devices"), QStringLiteral("100000000000")},
        {QStringLiteral("--years"), QStringLiteral("99999")},
        {QStringLiteral("--years"), QStringLiteral("0")},
        {QStringLiteral("--alerts"), QStringLiteral("-1")},
        {QStringLiteral("--states"), QStringLiteral("99999999999")},
    };
    for (const QStringList& option : wrong) {
        const ToolRun run = tunneldb(QStringList{QStringLiteral("generate"), text} + option);
        EXPECT_EQ(run.code, 2) << option.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("from"))) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(file)) << option.join(u' ').toStdString();
    }
}

TEST(TunnelDb, InitRefusesAnExistingSchemaUnlessForced) {
    QTemporaryDir folder;
    const QString text =
        QStringLiteral("Provider=SQLite;Data Source=") + folder.filePath(QStringLiteral("t.db"));
    EXPECT_EQ(tunneldb({QStringLiteral("init"), text}).code, 0);
    const ToolRun again = tunneldb({QStringLiteral("init"), text});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("--force")));
    EXPECT_EQ(tunneldb({QStringLiteral("init"), text, QStringLiteral("--force")}).code, 0);
    const ToolRun badFolder = tunneldb(
        {QStringLiteral("init"), QStringLiteral("Provider=SQLite;Data Source=/no/such/x.db")});
    EXPECT_EQ(badFolder.code, 1);
    EXPECT_TRUE(badFolder.err.contains(QStringLiteral("所在的文件夹不存在")));
}

// A file command never writes over, nor reads and closes, the database's own files: the first
// destroys it, the second drops SQLite's locks under every other connection of the process.
// However the database is reached (through a link to it, a link to its folder, a hard link),
// its own files under every name SQLite or another program may give them are refused as a
// target: written over, the write-ahead log of another program's committed rows was lost.
TEST(TunnelDb, FileCommandsRefuseTheDatabasesFilesThroughLinks) {
    const struct {
        const char* way;
        std::function<QString(const QString& folder, const QString& file)> reach;
    } ways[] = {
        {"a link to the file",
         [](const QString& folder, const QString& file) {
             const QString link = folder + QStringLiteral("/sl.db");
             EXPECT_TRUE(QFile::link(file, link));
             return link;
         }},
        {"a link to the folder",
         [](const QString& folder, const QString&) {
             const QString link = folder + QStringLiteral("/linked");
             EXPECT_TRUE(QFile::link(folder, link));
             return link + QStringLiteral("/t.db");
         }},
        {"a hard link",
         [](const QString& folder, const QString& file) {
             QFile empty(file);  // an empty file is an empty SQLite database
             EXPECT_TRUE(empty.open(QIODevice::WriteOnly));
             empty.close();
             const QString link = folder + QStringLiteral("/h.db");
             EXPECT_EQ(
                 ::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()),
                 0);
             return link;
         }},
    };
    for (const auto& w : ways) {
        QTemporaryDir folder;
        // Made through the way it is reached: this process knows the database by that name
        // alone.
        const QString file = folder.filePath(QStringLiteral("t.db"));
        const QString reached = w.reach(folder.path(), file);
        const QString text = QStringLiteral("Provider=SQLite;Data Source=") + reached;
        ASSERT_EQ(tunneldb({QStringLiteral("demo"), text}).code, 0) << w.way;
        for (const QString& target :
             {file, file + QStringLiteral("-wal"), file + QStringLiteral("-shm"),
              file + QStringLiteral("-journal"), reached + QStringLiteral("-wal")}) {
            const ToolRun run = tunneldb({QStringLiteral("export-devices"), text, target});
            EXPECT_EQ(run.code, 2) << w.way << ": " << target.toStdString();
        }
        EXPECT_EQ(tunneldb({QStringLiteral("export-devices"), text,
                            folder.filePath(QStringLiteral("t.db-wal.csv"))})
                      .code,
                  0)
            << w.way << ": a name that only begins like one";
    }
}

TEST(TunnelDb, FileCommandsRefuseTheDatabasesOwnFiles) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("t.db"));
    const QString text = QStringLiteral("Provider=SQLite;Data Source=") + file;
    ASSERT_EQ(tunneldb({QStringLiteral("demo"), text}).code, 0);
    const QString beside = folder.filePath(QStringLiteral("t.db.csv"));
    ASSERT_TRUE(QFile::link(file, beside));
    for (const QString& command :
         {QStringLiteral("export-devices"), QStringLiteral("import-devices")}) {
        for (const QString& target : {file, file + QStringLiteral("-wal"), beside}) {
            const ToolRun run = tunneldb({command, text, target});
            EXPECT_EQ(run.code, 2) << command.toStdString() << " " << target.toStdString();
            EXPECT_TRUE(run.err.contains(QStringLiteral("a file of the database itself")));
        }
    }
    const ToolRun reported = tunneldb({QStringLiteral("report"), text, QStringLiteral("--month"),
                                       QStringLiteral("2026-11"), QStringLiteral("--pdf"), file});
    EXPECT_EQ(reported.code, 2) << "a report written over the database";
    const ToolRun logged = tunneldb({QStringLiteral("log-export"), text, file,
                                     QStringLiteral("--before"), QStringLiteral("2030-01-01")});
    EXPECT_EQ(logged.code, 2);
    EXPECT_EQ(
        tunneldb({QStringLiteral("export-devices"), text, folder.filePath(QStringLiteral("t.csv"))})
            .code,
        0)
        << "a file beside the database is fine";
    EXPECT_GT(tunneldb({QStringLiteral("import-devices"), text,
                        folder.filePath(QStringLiteral("t.csv")), QStringLiteral("--check")})
                  .out.size(),
              0);
}

TEST_P(TunnelDbOnEngine, DemoIsASmallBelievableInstallation) {
    const QString text = database().connectionString();
    ASSERT_EQ(tunneldb({QStringLiteral("demo"), text, QStringLiteral("--force")}).code, 0);
    auto& d = database();
    EXPECT_EQ(data::triggersOnSharedTables(d.db()), QStringList{})
        << "nothing of the module's runs inside other programs' writes";
    for (int type : {12, 24, 27}) {
        EXPECT_EQ(
            d.scalarInt(
                QStringLiteral("select count(*) from DEVICETYPE where TYPECODE=%1").arg(type)),
            1);
        EXPECT_GT(d.scalarInt(
                      QStringLiteral("select count(*) from DEVICE where DEVICETYPE=%1").arg(type)),
                  0);
    }
    EXPECT_GE(d.scalarInt(QStringLiteral("select count(*) from DEVICE")), 24);
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from AREA")), 1);
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from NGDEVICEPARAM")), 0);
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from PLCCONFIG")), 0);
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from DEVICESTATUS")), 0);
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from DEVICEALERT")), 0);
    // Every history ends in the state the register gives, and the log tells how it came to be.
    EXPECT_EQ(d.scalarInt(QStringLiteral(
                  "select count(*) from DEVICE d join DEVICESTATUS s on s.DEVICETYPE = "
                  "d.DEVICETYPE and s.DEVICECODE = d.DEVICECODE where s.STATUSTIME = (select "
                  "max(STATUSTIME) from DEVICESTATUS m where m.DEVICETYPE = d.DEVICETYPE and "
                  "m.DEVICECODE = d.DEVICECODE) and s.CURSTATUS <> d.STATUS")),
              0);
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from DEVICE where STATUS = 2")), 1)
        << "a few devices in fault";
    // One alert is still raised, a device's in fault; every other is cancelled as it was raised.
    EXPECT_EQ(d.rows(QStringLiteral(
                  "select d.STATUS from DEVICEALERT a join DEVICE d on d.DEVICETYPE = "
                  "a.DEVICETYPE and d.DEVICECODE = a.DEVICECODE where a.ALERTTYPE = 1 and not "
                  "exists (select 1 from DEVICEALERT b where b.DEVICETYPE = a.DEVICETYPE and "
                  "b.DEVICECODE = a.DEVICECODE and b.ALERTTIME > a.ALERTTIME)")),
              QStringList{QStringLiteral("2")});
    EXPECT_EQ(d.scalarInt(alertsOutOfPairs()), 0);
    EXPECT_EQ(
        d.scalarInt(QStringLiteral("select count(*) from OPERLOG where TABLENAME = 'DEVICE'")),
        d.scalarInt(QStringLiteral("select count(*) from DEVICE where STATUS <> 1")));
    EXPECT_GT(d.scalarInt(QStringLiteral("select count(*) from OPERLOG where TABLENAME = 'AREA'")),
              0);
    // Every wired gateway device is marked as wired.
    EXPECT_EQ(
        d.scalarInt(QStringLiteral(
            "select count(*) from NGCONFIG n where not exists (select 1 from DEVICE d where "
            "d.DEVICETYPE = n.DEVICETYPE and d.DEVICECODE = n.DEVICECODE and d.COMMDATA = '1')")),
        0);
}

TEST_P(TunnelDbOnEngine, GenerateAddsTheAskedVolumesAndReportsProgress) {
    const QString text = database().connectionString();
    ASSERT_EQ(tunneldb({QStringLiteral("demo"), text, QStringLiteral("--force")}).code, 0);
    const int before = database().scalarInt(QStringLiteral("select count(*) from DEVICE"));
    const int alertsBefore =
        database().scalarInt(QStringLiteral("select count(*) from DEVICEALERT"));
    const int statesBefore =
        database().scalarInt(QStringLiteral("select count(*) from DEVICESTATUS"));
    const ToolRun run =
        tunneldb({QStringLiteral("generate"), text, QStringLiteral("--devices"),
                  QStringLiteral("1234"), QStringLiteral("--alerts"), QStringLiteral("2500"),
                  QStringLiteral("--states"), QStringLiteral("700")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("DEVICEALERT: 2500 of 2500 rows (100%)")));
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), before + 1234);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICEALERT")),
              alertsBefore + 2500);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICESTATUS")),
              statesBefore + 700);
    // A second run numbers on instead of colliding with the devices already there.
    EXPECT_EQ(tunneldb({QStringLiteral("generate"), text, QStringLiteral("--devices"),
                        QStringLiteral("50")})
                  .code,
              0);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), before + 1284);

    // Gateways past the editor's 999, wiring spread over every gateway's terminals, and a
    // catalogue only where there was none (the demo has one).
    const int catalogue =
        database().scalarInt(QStringLiteral("select count(*) from NGDEVICEPARAM"));
    const QString highestGateway =
        QStringLiteral("select max(DEVICECODE) from DEVICE where DEVICETYPE=24");
    const int gateways = database().scalarInt(highestGateway);
    ASSERT_EQ(tunneldb({QStringLiteral("generate"), text, QStringLiteral("--gateways"),
                        QStringLiteral("1200"), QStringLiteral("--wiring"), QStringLiteral("3000")})
                  .code,
              0);
    EXPECT_EQ(database().scalarInt(highestGateway), gateways + 1200);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(distinct NGCODE) from NGCONFIG")),
              gateways + 1200);
    EXPECT_EQ(database().scalarInt(QStringLiteral(
                  "select count(*) from NGCONFIG where PORTTYPE not between 1 and 4 or "
                  "PORTCODE not between 1 and 8")),
              0);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from NGDEVICEPARAM")),
              catalogue);

    // Mappings fill each PLC's places in turn, numbered after the stored PLCs.
    const int plcs = database().scalarInt(QStringLiteral("select max(PLCCODE) from PLCCONFIG"));
    ASSERT_EQ(tunneldb({QStringLiteral("generate"), text, QStringLiteral("--mappings"),
                        QStringLiteral("300")})
                  .code,
              0);
    EXPECT_EQ(
        database().scalarInt(
            QStringLiteral(
                "select count(*) from PLCCONFIG where PLCCODE=%1 and RegisterBIT between 0 and 15")
                .arg(plcs + 1)),
        256);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select max(PLCCODE) from PLCCONFIG")), plcs + 2);
}

TEST_P(TunnelDbOnEngine, GeneratedHistoriesAreBelievable) {
    ASSERT_EQ(
        tunneldb({QStringLiteral("generate"), database().connectionString(),
                  QStringLiteral("--devices"), QStringLiteral("300"), QStringLiteral("--alerts"),
                  QStringLiteral("2000"), QStringLiteral("--states"), QStringLiteral("700")})
            .code,
        0);
    // Believable histories: a device's state changes follow each other, and its alerts are
    // raised and then cancelled with the same description.
    EXPECT_EQ(database().scalarInt(QStringLiteral(
                  "select count(*) from (select PRESTATUS, CURSTATUS, lag(CURSTATUS) over "
                  "(partition by DEVICETYPE, DEVICECODE order by STATUSTIME) AS PREV from "
                  "DEVICESTATUS) t "
                  "where PRESTATUS = CURSTATUS or (PREV is not null and PREV <> PRESTATUS)")),
              0);
    EXPECT_EQ(database().scalarInt(alertsOutOfPairs()), 0);
}

TUNNEL_ON_EVERY_ENGINE(TunnelDbOnEngine);

// import-devices: refused rows give status 1 and the error file, --check writes nothing, a
// sound file is written; export-devices writes what import reads.
TEST_P(TunnelDbOnEngine, TheRegisterCommandsSayWhatTheyDid) {
    ASSERT_EQ(
        tunneldb({QStringLiteral("demo"), database().connectionString(), QStringLiteral("--force")})
            .code,
        0);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("devices.csv"));
    const auto write = [&](const char* text) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    };
    const auto devices = [&] {
        return database().scalarInt(QStringLiteral("select count(*) from DEVICE"));
    };
    const int before = devices();
    write("DEVICETYPE,DEVICECODE\n1,900\n999,1\n");
    const ToolRun refused =
        tunneldb({QStringLiteral("import-devices"), database().connectionString(), file});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(
        refused.err.startsWith(QStringLiteral("有 1 行有错误，没有导入任何设备。错误说明见 ")));
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("devices.错误.csv"))));
    write("DEVICETYPE,DEVICECODE\n1,900\n");
    const ToolRun checked =
        tunneldb({QStringLiteral("import-devices"), database().connectionString(), file,
                  QStringLiteral("--check")});
    EXPECT_EQ(checked.code, 0);
    EXPECT_EQ(devices(), before);
    EXPECT_EQ(
        tunneldb({QStringLiteral("import-devices"), database().connectionString(), file}).code, 0);
    EXPECT_EQ(devices(), before + 1);
    ASSERT_EQ(
        tunneldb({QStringLiteral("export-devices"), database().connectionString(), file}).code, 0);
    const int logged = database().operLog().size();
    const ToolRun again =
        tunneldb({QStringLiteral("import-devices"), database().connectionString(), file});
    EXPECT_EQ(again.out,
              QStringLiteral("共 %1 行：新增 0 台，修改 0 台，不变 %1 台。已全部导入。\n")
                  .arg(before + 1));
    EXPECT_EQ(database().operLog().size(), logged) << "a device left as it is gets no row";
}

// A file both encodings read as text, differently, is imported only in the encoding named.
TEST_P(TunnelDbOnEngine, AFileBothEncodingsReadNeedsItsEncodingNamed) {
    const QString text = database().connectionString();
    database().exec(QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (1, 'c')"));
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("devices.csv"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("DEVICETYPE,DEVICECODE,PHYSICS\r\n1,1," + text::toGbk(QStringLiteral("陆路")) +
              "\r\n");
    out.close();
    const ToolRun unnamed = tunneldb({QStringLiteral("import-devices"), text, file});
    EXPECT_EQ(unnamed.code, 1);
    EXPECT_TRUE(unnamed.err.contains(QStringLiteral("按 GBK 读：1,1,陆路")))
        << unnamed.err.toStdString();
    EXPECT_TRUE(unnamed.err.contains(QStringLiteral("--encoding"))) << unnamed.err.toStdString();
    EXPECT_EQ(tunneldb({QStringLiteral("import-devices"), text, file, QStringLiteral("--encoding"),
                        QStringLiteral("latin1")})
                  .code,
              2);
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), 0);
    EXPECT_EQ(tunneldb({QStringLiteral("import-devices"), text, file, QStringLiteral("--encoding"),
                        QStringLiteral("gbk")})
                  .code,
              0);
    EXPECT_EQ(database().rows(QStringLiteral("select PHYSICS from DEVICE")),
              QStringList{QStringLiteral("陆路")});
}

// log-export takes a date and nothing else; an import into a database without OPERLOG says
// once that it is not logged; a file of titles only imports and logs nothing.
TEST_P(TunnelDbOnEngine, TheLogsCommandsSayWhatTheyDoNot) {
    const QString text = database().connectionString();
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("devices.csv"));
    for (const char* day : {"2021-01-01 junk", "2021-1-1", "2021-02-30"}) {
        const ToolRun run = tunneldb({QStringLiteral("log-export"), text, file,
                                      QStringLiteral("--before"), QString::fromLatin1(day)});
        EXPECT_EQ(run.code, 2) << day;
        EXPECT_FALSE(QFile::exists(file)) << day;
    }
    database().exec(QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (1, 'c')"));
    QFile titles(file);
    ASSERT_TRUE(titles.open(QIODevice::WriteOnly));
    titles.write("DEVICETYPE,DEVICECODE\r\n");
    titles.close();
    EXPECT_EQ(tunneldb({QStringLiteral("import-devices"), text, file}).code, 0);
    EXPECT_TRUE(database().operLog().isEmpty()) << "nothing imported, nothing logged";

    database().exec(QStringLiteral("DROP TABLE OPERLOG"));
    ASSERT_TRUE(titles.open(QIODevice::WriteOnly));
    titles.write("DEVICETYPE,DEVICECODE\r\n1,1\r\n");
    titles.close();
    const ToolRun unlogged = tunneldb({QStringLiteral("import-devices"), text, file});
    EXPECT_EQ(unlogged.code, 0) << unlogged.err.toStdString();
    EXPECT_EQ(unlogged.err.count(QStringLiteral("tunneldb upgrade")), 1)
        << unlogged.err.toStdString();
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from DEVICE")), 1);
}

// The station's and operator's names were 64 characters wide: upgrade widens them to 128 and
// keeps the rows logged before.
TEST_P(TunnelDbOnEngine, UpgradeWidensTheLogsNames) {
    const QString narrow =
        GetParam() == db::Engine::SQLite
            ? QStringLiteral(
                  "CREATE TABLE OPERLOG (LOGID INTEGER PRIMARY KEY, LOGTIME TEXT NOT "
                  "NULL, STATION VARCHAR(64) CHECK (length(STATION) <= 64), OPERATOR "
                  "VARCHAR(64) CHECK (length(OPERATOR) <= 64), FUNCCODE INT, ACTION "
                  "VARCHAR(20), TABLENAME VARCHAR(32), ROWKEY VARCHAR(100), BEFORETEXT "
                  "TEXT, AFTERTEXT TEXT)")
            : QStringLiteral("ALTER TABLE OPERLOG ALTER COLUMN OPERATOR TYPE VARCHAR(64)");
    if (GetParam() == db::Engine::SQLite) {
        database().exec(QStringLiteral("DROP TABLE OPERLOG"));
    }
    database().exec(narrow);
    const QString insert = QStringLiteral(
        "INSERT INTO OPERLOG (LOGTIME, STATION, OPERATOR, FUNCCODE, ACTION, TABLENAME, ROWKEY, "
        "BEFORETEXT, AFTERTEXT) VALUES ('2026-01-01 00:00:00.000', 's', '%1', 1, 'a', 't', 'k', "
        "'', '')");
    database().exec(insert.arg(QStringLiteral("old")));
    const ToolRun run = tunneldb({QStringLiteral("upgrade"), database().connectionString()});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("OPERLOG.STATION/OPERATOR(128)")))
        << run.out.toStdString();
    database().exec(insert.arg(QString(128, u'名')));
    EXPECT_EQ(database()
                  .rows(QStringLiteral("select LOGID, OPERATOR from OPERLOG order by LOGID"))
                  .value(0),
              QStringLiteral("1|old"));
    EXPECT_EQ(database().scalarInt(QStringLiteral("select max(length(OPERATOR)) from OPERLOG")),
              128);
    EXPECT_THROW(database().exec(insert.arg(QString(129, u'名'))), std::exception)
        << "one past the width";
    EXPECT_EQ(tunneldb({QStringLiteral("upgrade"), database().connectionString()}).out,
              QStringLiteral("Nothing to add: the schema is up to date.\n"));
}

// An installation made by an older version gets the indexes this one has, and loses what that
// version put inside the shared tables (here SQLite's search index kept by triggers on DEVICE,
// and a server's notice trigger); a trigger the installation's own administrator made stays.
// Nothing else changes; a second run has nothing to do. The PLC windows' type list then reads
// the new index.
TEST_P(TunnelDbOnEngine, UpgradeAddsTheMissingIndexesAndRemovesTheOldHooks) {
    const bool sqlite = GetParam() == db::Engine::SQLite;
    database().exec(QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (1, 'a')"));
    database().exec(QStringLiteral("DROP INDEX IX_DEVICE_COMMTYPE"));
    if (sqlite) {
        database().exec(QStringLiteral(
            "CREATE VIRTUAL TABLE DEVICE_SEARCH USING fts5(DEVICETYPE UNINDEXED, DEVICECODE "
            "UNINDEXED, CODETEXT, tokenize='trigram')"));
        database().exec(QStringLiteral(
            "CREATE TRIGGER DEVICE_SEARCH_INSERT AFTER INSERT ON DEVICE BEGIN INSERT INTO "
            "DEVICE_SEARCH (DEVICETYPE, DEVICECODE, CODETEXT) VALUES (NEW.DEVICETYPE, "
            "NEW.DEVICECODE, NEW.DEVICECODE); END"));
        database().exec(
            QStringLiteral("CREATE TRIGGER AUDIT_AREA AFTER DELETE ON AREA BEGIN "
                           "SELECT 1; END"));
    } else {
        data::dropSearchIndex(database().db());
        database().exec(QStringLiteral(
            "CREATE FUNCTION TUNNEL_CHANGE_NOTICE() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN "
            "PERFORM pg_notify(''tunnel_changes'', TG_TABLE_NAME); RETURN NULL; END'"));
        database().exec(QStringLiteral(
            "CREATE TRIGGER DEVICE_CHANGE_NOTICE AFTER INSERT OR UPDATE OR DELETE ON DEVICE FOR "
            "EACH STATEMENT EXECUTE FUNCTION TUNNEL_CHANGE_NOTICE()"));
        database().exec(QStringLiteral(
            "CREATE FUNCTION AUDIT_AREA() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RETURN "
            "NULL; END'"));
        database().exec(
            QStringLiteral("CREATE TRIGGER AUDIT_AREA AFTER DELETE ON AREA FOR EACH "
                           "STATEMENT EXECUTE FUNCTION AUDIT_AREA()"));
    }
    const ToolRun first = tunneldb({QStringLiteral("upgrade"), database().connectionString()});
    EXPECT_EQ(first.code, 0) << first.err.toStdString();
    EXPECT_EQ(first.out,
              sqlite ? QStringLiteral("Removed trigger DEVICE_SEARCH_INSERT on DEVICE, table "
                                      "DEVICE_SEARCH.\nAdded IX_DEVICE_COMMTYPE.\n")
                     : QStringLiteral("Removed trigger DEVICE_CHANGE_NOTICE on DEVICE, function "
                                      "TUNNEL_CHANGE_NOTICE.\nAdded IX_DEVICE_COMMTYPE, "
                                      "DEVICE_SEARCH.\n"));
    EXPECT_EQ(data::triggersOnSharedTables(database().db()),
              QStringList{QStringLiteral("AREA.AUDIT_AREA")});
    database().exec(QStringLiteral(
        "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, PHYSICS) VALUES (1, 7, 'FAN-07')"));
    if (!sqlite) {
        EXPECT_EQ(
            database().scalarInt(QStringLiteral("select DEVICECODE from DEVICE where %1")
                                     .arg(data::gramsHolding(QStringLiteral("AN-0"))->condition)),
            7)
            << "the server's index holds the register's pieces";
        EXPECT_EQ(data::textSearchOf(database().db()), data::TextSearch::ServerIndex);
    }
    EXPECT_EQ(database().rows(QStringLiteral("select AREACODE, AREANAME from AREA")),
              QStringList{QStringLiteral("1|a")});
    EXPECT_EQ(tunneldb({QStringLiteral("upgrade"), database().connectionString()}).out,
              QStringLiteral("Nothing to add: the schema is up to date.\n"));
    if (GetParam() == db::Engine::SQLite) {
        const QStringList plan = database().rows(QStringLiteral(
            "EXPLAIN QUERY PLAN select TYPENAME,TypeCode from DEviceType where "
            "Typecode in (select distinct devicetype from device where commtype=4)"));
        EXPECT_TRUE(plan.join(u'\n').contains(QStringLiteral("IX_DEVICE_COMMTYPE")))
            << plan.join(u'\n').toStdString();
    }
}

// An installation made by an older version has the histories' device indexes without the
// state and the alert's kind: upgrade makes the ones that carry them, in place of the old
// ones (a writer keeps one index, not two), and keeps the rows; a second run has nothing to do.
TEST_P(TunnelDbOnEngine, UpgradePutsTheIndexesCarryingStatesInPlaceOfTheOldOnes) {
    database().exec(QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS) "
        "VALUES (1, 7, '2026-01-01 00:00:00.000', 1, 2)"));
    database().exec(QStringLiteral("DROP INDEX IX_DEVICESTATUS_DEVICE_STATE"));
    database().exec(QStringLiteral("DROP INDEX IX_DEVICEALERT_DEVICE_ALERT"));
    database().exec(QStringLiteral(
        "CREATE INDEX IX_DEVICESTATUS_DEVICE ON DEVICESTATUS (DEVICETYPE, DEVICECODE, "
        "STATUSTIME)"));
    database().exec(QStringLiteral(
        "CREATE INDEX IX_DEVICEALERT_DEVICE ON DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME)"));
    const ToolRun run = tunneldb({QStringLiteral("upgrade"), database().connectionString()});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Added IX_DEVICESTATUS_DEVICE_STATE (in place of "
                                      "IX_DEVICESTATUS_DEVICE), IX_DEVICEALERT_DEVICE_ALERT (in "
                                      "place of IX_DEVICEALERT_DEVICE).\n"));
    const QString indexes =
        GetParam() == db::Engine::SQLite
            ? QStringLiteral(
                  "select name from sqlite_master where type = 'index' and tbl_name "
                  "in ('DEVICESTATUS', 'DEVICEALERT') order by name")
            : QStringLiteral(
                  "select upper(indexname) from pg_indexes where tablename in "
                  "('devicestatus', 'devicealert') order by 1");
    EXPECT_EQ(database().rows(indexes),
              QStringLiteral("IX_DEVICEALERT_DEVICE_ALERT IX_DEVICEALERT_TIME IX_DEVICEALERT_TYPE "
                             "IX_DEVICESTATUS_DEVICE_STATE IX_DEVICESTATUS_TIME "
                             "IX_DEVICESTATUS_TYPE")
                  .split(u' '));
    EXPECT_EQ(database().rows(QStringLiteral("select DEVICECODE, CURSTATUS from DEVICESTATUS")),
              QStringList{QStringLiteral("7|2")});
    EXPECT_EQ(tunneldb({QStringLiteral("upgrade"), database().connectionString()}).out,
              QStringLiteral("Nothing to add: the schema is up to date.\n"));
}

// PostgreSQL histories partitioned by month: a day of the alert window reads one partition;
// `partitions` adds the coming months (rows of them that waited in the default partition move
// in) and detaches old months, keeping them as tables.
TEST_P(TunnelDbOnEngine, PartitionedHistoriesReadADayFromOnePartition) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "a PostgreSQL feature";
    }
    const QString cs = database().connectionString();
    const ToolRun init =
        tunneldb({QStringLiteral("init"), cs, QStringLiteral("--force"),
                  QStringLiteral("--partitioned"), QStringLiteral("--from"),
                  QStringLiteral("2026-01"), QStringLiteral("--ahead"), QStringLiteral("1")});
    ASSERT_EQ(init.code, 0) << init.err.toStdString();
    const QDate later = QDate::currentDate().addMonths(3);
    const QString laterPartition = later.toString(QStringLiteral("'devicealert_p'yyyyMM"));
    database().exec(
        QStringLiteral("INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, "
                       "ALERTDESC) VALUES (1, 1, '2026-02-03 10:00:00', 1, 'a'), "
                       "(1, 1, '%1 10:00:00', 1, 'b')")
            .arg(later.toString(Qt::ISODate)));

    const db::GridSelect select{
        db::gridSource(data::alertHistoryStatement(QDate(2026, 2, 3), QDate(2026, 2, 3), 0, 0),
                       db::Engine::PostgreSQL),
        db::Engine::PostgreSQL,
        {}};
    const QString batch = db::keysetSql(select, data::alertHistoryOrder(true),
                                        {true, std::nullopt, db::NullRun::Both, 256})
                              .sql;
    const QString plan = database().rows(QStringLiteral("EXPLAIN ") + batch).join(u'\n');
    QSet<QString> read;
    for (const auto& match :
         QRegularExpression(QStringLiteral(" on (devicealert_\\w+)")).globalMatch(plan)) {
        read.insert(match.captured(1));
    }
    EXPECT_EQ(read, QSet<QString>{QStringLiteral("devicealert_p202602")}) << plan.toStdString();
    EXPECT_EQ(database().scalarText(QStringLiteral(
                  "select tableoid::regclass::text from DEVICEALERT where ALERTDESC = 'b'")),
              QStringLiteral("devicealert_default"));

    const ToolRun kept =
        tunneldb({QStringLiteral("partitions"), cs, QStringLiteral("--ahead"), QStringLiteral("3"),
                  QStringLiteral("--detach-before"), QStringLiteral("2026-02")});
    ASSERT_EQ(kept.code, 0) << kept.err.toStdString();
    EXPECT_TRUE(kept.out.contains(laterPartition)) << kept.out.toStdString();
    EXPECT_TRUE(
        kept.out.contains(QStringLiteral("Detached 2 partition(s): devicealert_p202601, "
                                         "devicestatus_p202601")))
        << kept.out.toStdString();
    EXPECT_EQ(database().scalarText(QStringLiteral(
                  "select tableoid::regclass::text from DEVICEALERT where ALERTDESC = 'b'")),
              laterPartition)
        << "the row moved out of the default partition";
    EXPECT_EQ(database().scalarInt(QStringLiteral("select count(*) from devicealert_p202601")), 0)
        << "a detached month is kept as a table";
    EXPECT_EQ(tunneldb({QStringLiteral("partitions"), cs}).out,
              QStringLiteral("Created 0 partition(s).\nDetached 0 partition(s).\n"));
}

// Only past months are detached: the current month, or a typo years ahead, is refused with
// nothing changed; a coming month's table that an earlier run left detached is attached again,
// with its rows and those that waited in the default partition meanwhile.
TEST_P(TunnelDbOnEngine, PartitionsNeverDetachTheCurrentMonthAndFinishWhatARunLeft) {
    if (GetParam() != db::Engine::PostgreSQL) {
        GTEST_SKIP() << "a PostgreSQL feature";
    }
    const QString cs = database().connectionString();
    const QDate today = QDate::currentDate();
    const ToolRun init = tunneldb({QStringLiteral("init"), cs, QStringLiteral("--force"),
                                   QStringLiteral("--partitioned"), QStringLiteral("--from"),
                                   today.toString(QStringLiteral("yyyy-MM")),
                                   QStringLiteral("--ahead"), QStringLiteral("1")});
    ASSERT_EQ(init.code, 0) << init.err.toStdString();
    const QString attached = QStringLiteral(
        "select count(*) from pg_inherits where inhparent = 'devicestatus'::regclass");
    const int partitions = database().scalarInt(attached);
    for (const QDate month : {today, today.addYears(1)}) {
        const ToolRun refused =
            tunneldb({QStringLiteral("partitions"), cs, QStringLiteral("--detach-before"),
                      month.toString(QStringLiteral("yyyy-MM"))});
        EXPECT_EQ(refused.code, 2);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("is not a past month")))
            << refused.err.toStdString();
    }
    EXPECT_EQ(database().scalarInt(attached), partitions);
    EXPECT_THROW(data::maintainPartitions(database().db(), today, 1, today), db::DbError);

    const QString current = today.toString(QStringLiteral("'devicestatus_p'yyyyMM"));
    const QString day = QDate(today.year(), today.month(), 1).toString(Qt::ISODate);
    const QString row = QStringLiteral(
        "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, CURSTATUS) VALUES "
        "(1, %1, '%2 10:00:00', 1)");
    database().exec(row.arg(1).arg(day));
    database().exec(QStringLiteral("ALTER TABLE DEVICESTATUS DETACH PARTITION ") + current);
    database().exec(row.arg(2).arg(day));
    const ToolRun mended = tunneldb({QStringLiteral("partitions"), cs});
    ASSERT_EQ(mended.code, 0) << mended.err.toStdString();
    EXPECT_TRUE(mended.out.contains(
        QStringLiteral("Attached again 1 partition(s) an earlier run had detached: ") + current))
        << mended.out.toStdString();
    EXPECT_EQ(database().rows(QStringLiteral("select DEVICECODE, tableoid::regclass::text from "
                                             "DEVICESTATUS order by DEVICECODE")),
              (QStringList{QStringLiteral("1|") + current, QStringLiteral("2|") + current}));
    EXPECT_EQ(tunneldb({QStringLiteral("partitions"), cs}).code, 0) << "and again";
}
