#include "platform/db/ConnectionString.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

using namespace tunnel::db;

namespace {

// The error text of parsing `text`, or the empty text when it parses.
QString errorOf(const QString& text) {
    try {
        ConnectionSettings::parse(text);
    } catch (const DbError& error) {
        return error.report();
    }
    return {};
}

}  // namespace

TEST(ConnectionString, ChoosesTheEngineByProvider) {
    const auto sqlite =
        ConnectionSettings::parse(QStringLiteral("Provider=SQLite;Data Source=/var/lib/tunnel.db"));
    EXPECT_EQ(sqlite.engine, Engine::SQLite);
    EXPECT_EQ(sqlite.file, QStringLiteral("/var/lib/tunnel.db"));

    const auto pg = ConnectionSettings::parse(QStringLiteral(
        "provider=PostgreSQL; host=db1 ;PORT=5433;Database=tunnel;User ID=op;Password=pw"));
    EXPECT_EQ(pg.engine, Engine::PostgreSQL);
    EXPECT_EQ(pg.host, QStringLiteral("db1"));
    EXPECT_EQ(pg.port, 5433);
    EXPECT_EQ(pg.database, QStringLiteral("tunnel"));
    EXPECT_EQ(pg.user, QStringLiteral("op"));
    EXPECT_EQ(pg.password, QStringLiteral("pw"));

    for (const char* provider : {"SQLOLEDB.1", "SQLNCLI11", "MSOLEDBSQL", "SQLServer"}) {
        const auto ms = ConnectionSettings::parse(
            QStringLiteral("Provider=%1;Persist Security Info=False;Data Source=srv,1444;"
                           "Initial Catalog=Tunnel;User ID=sa")
                .arg(QString::fromUtf8(provider)));
        EXPECT_EQ(ms.engine, Engine::SqlServer) << provider;
        EXPECT_EQ(ms.server, QStringLiteral("srv"));
        EXPECT_EQ(ms.port, 1444);
        EXPECT_EQ(ms.database, QStringLiteral("Tunnel"));
    }
}

TEST(ConnectionString, QuotedValuesMayHoldSeparatorsAndQuotes) {
    const auto s = ConnectionSettings::parse(
        QStringLiteral("Provider=PostgreSQL;Database=t;Password=\"a;b=\"\"c\"\"\";User ID='o''k'"));
    EXPECT_EQ(s.password, QStringLiteral("a;b=\"c\""));
    EXPECT_EQ(s.user, QStringLiteral("o'k"));
    EXPECT_EQ(s.host, QStringLiteral("localhost"));
    EXPECT_EQ(s.port, 5432);
    // Empty parts between separators are harmless.
    EXPECT_EQ(
        ConnectionSettings::parse(QStringLiteral(";;Provider=SQLite;;Data Source=x.db;")).file,
        QStringLiteral("x.db"));
}

TEST(ConnectionString, MalformedTextsAreClearErrorsThatNameTheProblem) {
    EXPECT_TRUE(errorOf(QString()).contains(QStringLiteral("没有指定数据库提供程序")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=Oracle;Data Source=x"))
                    .contains(QStringLiteral("数据库提供程序“Oracle”未知")));
    EXPECT_TRUE(
        errorOf(QStringLiteral("Provider=SQLite")).contains(QStringLiteral("缺少“Data Source”")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=PostgreSQL;Host=h"))
                    .contains(QStringLiteral("缺少“Database”")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=SQLite;garbage;Data Source=x"))
                    .contains(QStringLiteral("第 17 个字符处的内容不是“键=值”")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=SQLite;=x;Data Source=x"))
                    .contains(QStringLiteral("第 17 个字符处的值没有键")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=PostgreSQL;Database=d;Port=http"))
                    .contains(QStringLiteral("端口号无效")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=PostgreSQL;Database=d;Port=70000"))
                    .contains(QStringLiteral("端口号无效")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=SQLite;Data Source=\"x.db"))
                    .contains(QStringLiteral("第 29 个字符处的引号没有结束引号")));
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=SQLite;Data Source=\"x\"y"))
                    .contains(QStringLiteral("在引号括起的值之后还有文字")));
}

TEST(ConnectionString, PasswordsNeverAppearInErrorsOrDescriptions) {
    const QString secret = QStringLiteral("S3cr3tPw");
    const QStringList texts = {
        QStringLiteral("Provider=PostgreSQL;Password=S3cr3tPw;Port=x;Database=d"),
        QStringLiteral("Provider=PostgreSQL;Password=\"S3cr3tPw"),
        QStringLiteral("Provider=Nope;Password=S3cr3tPw"),
        QStringLiteral("Provider=PostgreSQL;Password=S3cr3tPw"),
        QStringLiteral("Provider=PostgreSQL Password=S3cr3tPw;Database=d"),
        QStringLiteral("Password=S3cr3tPw Provider=PostgreSQL;Database=d"),
        QStringLiteral("Provider=PostgreSQL;Password='S3cr3tPw;Database=d"),
        QStringLiteral("Provider=PostgreSQL;Password=\"S3cr3tPw\"x;Database=d"),
        QStringLiteral("Provider=S3cr3tPw;Password=S3cr3tPw"),
        QStringLiteral("Provider=PostgreSQL;Database=d;Port=S3cr3tPw;Password=S3cr3tPw"),
        QStringLiteral("S3cr3tPw"),
        QStringLiteral("Provider=PostgreSQL;S3cr3tPw;Password=S3cr3tPw"),
        QStringLiteral("Provider=SQLOLEDB;Data Source=srv,S3cr3tPw;Pwd=S3cr3tPw"),
    };
    for (const QString& text : texts) {
        const QString error = errorOf(text);
        EXPECT_FALSE(error.isEmpty()) << text.toStdString();
        EXPECT_FALSE(error.contains(secret)) << error.toStdString();
    }
    const auto s = ConnectionSettings::parse(
        QStringLiteral("Provider=PostgreSQL;Database=d;Password=S3cr3tPw;User ID=u"));
    EXPECT_FALSE(s.describe().contains(secret));
}

// How long a statement waits for another session's lock: 10 seconds unless the text says, and
// only whole seconds from 1 to 600.
TEST(ConnectionString, LockTimeoutIsReadInSecondsWithinItsRange) {
    const QString base = QStringLiteral("Provider=SQLite;Data Source=x.db");
    EXPECT_EQ(ConnectionSettings::parse(base).lockTimeoutSeconds, 10);
    for (const auto& [value, seconds] : {std::pair{"1", 1}, {" 600 ", 600}, {"'30'", 30}}) {
        EXPECT_EQ(ConnectionSettings::parse(base + ";lock timeout=" + QString::fromUtf8(value))
                      .lockTimeoutSeconds,
                  seconds)
            << value;
    }
    for (const char* value : {"0", "601", "-5", "ten", "1.5", ""}) {
        EXPECT_EQ(
            errorOf(base + ";Lock Timeout=" + QString::fromUtf8(value)),
            QStringLiteral("连接字符串格式错误：“Lock Timeout”的值无效（应为 1 至 600 秒）。"))
            << value;
    }
}

// The pooler's mode: a server's sessions handed round at each transaction's end or not.
TEST(ConnectionString, ThePoolerModeIsOneOfItsNames) {
    const QString base = QStringLiteral("Provider=PostgreSQL;Database=d");
    for (const auto& [value, pooled] : {std::pair{"", false},
                                        {"session", false},
                                        {"none", false},
                                        {"Transaction", true},
                                        {" statement ", true}}) {
        EXPECT_EQ(ConnectionSettings::parse(base + ";Pooler=" + QString::fromUtf8(value))
                      .pooledTransactions,
                  pooled)
            << value;
    }
    EXPECT_EQ(errorOf(base + ";Pooler=bouncer"),
              QStringLiteral("连接字符串格式错误：“Pooler”的值无效（应为 transaction、statement 或 "
                             "session）。"));
}

// A ";" missing before Password= puts the password inside a value that messages name: such a
// value is described by its key and position, and never shown.
TEST(ConnectionString, AValueHoldingAPasswordIsNeverEchoed) {
    const struct {
        const char* text;
        const char* key;
        int position;
    } cases[] = {
        {"Provider=PostgreSQL;Host=db1;Database=tunnel Password=hunter2", "Database", 39},
        {"Provider=PostgreSQL;Host=db1 pwd = hunter2;Database=tunnel", "Host", 26},
        {"Provider=SQLite;Data Source=/no/such/folder/t.db PASSWORD=hunter2", "Data Source", 29},
        {"Provider=SQLOLEDB;Data Source=srv;Initial Catalog=T Password=hunter2", "Initial Catalog",
         51},
    };
    for (const auto& c : cases) {
        const ConnectionSettings settings = ConnectionSettings::parse(QString::fromUtf8(c.text));
        const QString described = settings.describe();
        EXPECT_FALSE(described.contains(QStringLiteral("hunter2"))) << described.toStdString();
        EXPECT_TRUE(described.contains(QStringLiteral("“%1”的值从第 %2 个字符处起含有密码")
                                           .arg(QString::fromUtf8(c.key))
                                           .arg(c.position)))
            << described.toStdString();
        EXPECT_EQ(
            settings.scrub(
                QStringLiteral("database \"%1\" does not exist").arg(settings.secrets.value(0))),
            QStringLiteral("database \"***\" does not exist"));
    }
    try {
        Database::open(QString::fromUtf8(cases[2].text));
        ADD_FAILURE() << "opened a file in a folder that is not there";
    } catch (const DbError& error) {
        EXPECT_FALSE(error.report().contains(QStringLiteral("hunter2")))
            << error.report().toStdString();
    }
}

// Every value goes into the ODBC text quoted, so that a catalogue or password holding ";"
// cannot name another server or port, and a legal password with ";" or "}" works.
TEST(ConnectionString, OdbcTextQuotesEveryValue) {
    const ConnectionSettings s = ConnectionSettings::parse(QStringLiteral(
        "Provider=SQLOLEDB;Data Source=srv,1433;Initial Catalog=\"Tunnel;PORT=14331\";"
        "User ID=sa;Password=\"p;w}d\""));
    EXPECT_EQ(odbcConnectionText(s),
              QStringLiteral("DRIVER={FreeTDS};SERVER={srv};PORT=1433;"
                             "DATABASE={Tunnel;PORT=14331};UID={sa};PWD={p;w}}d};"
                             "TDS_Version=7.4;ClientCharset=UTF-8;"));
}

// Several PostgreSQL servers: one port for all or one each; standbys with or without a port;
// the reads of history marked only where a standby is named.
TEST(ConnectionString, SeveralServersAndStandbys) {
    const auto pair = ConnectionSettings::parse(QStringLiteral(
        "Provider=PostgreSQL;Host=db1,db2;Port=5432,5433;Database=t;Standby=db2:5433,db3;"
        "MaxLag=5"));
    EXPECT_EQ(pair.host, QStringLiteral("db1,db2"));
    EXPECT_EQ(pair.ports, QStringLiteral("5432,5433"));
    EXPECT_EQ(pair.port, 5432);
    EXPECT_EQ(pair.standbys, (QStringList{QStringLiteral("db2:5433"), QStringLiteral("db3")}));
    EXPECT_EQ(pair.maxLagSeconds, 5);
    EXPECT_FALSE(pair.readsFromStandby);
    EXPECT_EQ(
        ConnectionSettings::parse(QStringLiteral("Provider=PostgreSQL;Host=a,b;Database=t")).ports,
        QStringLiteral("5432"));
    EXPECT_EQ(ConnectionSettings::parse(
                  QStringLiteral("Provider=PostgreSQL;Host= 127.0.0.1 , 127.0.0.2 ;Database=t"))
                  .host,
              QStringLiteral("127.0.0.1,127.0.0.2"))
        << "blanks around a host, as around a port";

    const QString withStandby = QStringLiteral("Provider=PostgreSQL;Database=t;Standby=db2");
    EXPECT_TRUE(ConnectionSettings::parse(standbyReads(withStandby)).readsFromStandby);
    EXPECT_EQ(ConnectionSettings::parse(withStandby).maxLagSeconds, 30);
    for (const char* without :
         {"Provider=PostgreSQL;Database=t", "Provider=SQLite;Data Source=x"}) {
        EXPECT_EQ(standbyReads(QString::fromUtf8(without)), QString::fromUtf8(without));
    }

    const struct {
        const char* text;
        const char* error;
    } wrong[] = {
        {"Provider=PostgreSQL;Host=a,b,c;Port=1,2;Database=t", "每个“Host”一个端口"},
        {"Provider=PostgreSQL;Host=a,b;Port=1,x;Database=t", "“Port”的端口号无效"},
        {"Provider=PostgreSQL;Database=t;Standby=db2:99999", "“Standby”的端口号无效"},
        {"Provider=PostgreSQL;Database=t;Standby=:5432", "“Standby”的服务器名无效"},
        {"Provider=PostgreSQL;Database=t;MaxLag=-1", "“MaxLag”的值无效"},
        {"Provider=PostgreSQL;Host=a,,b;Database=t", "“Host”中有空的服务器名"},
        {"Provider=PostgreSQL;Host=;Database=t", "“Host”中有空的服务器名"},
        {"Provider=PostgreSQL;Host=a, ;Database=t", "“Host”中有空的服务器名"},
    };
    for (const auto& c : wrong) {
        EXPECT_TRUE(errorOf(QString::fromUtf8(c.text)).contains(QString::fromUtf8(c.error)))
            << c.text << ": " << errorOf(QString::fromUtf8(c.text)).toStdString();
    }
}
