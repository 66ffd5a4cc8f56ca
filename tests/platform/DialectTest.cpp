#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/SqlLiteral.h"
#include "platform/db/SqlTokens.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

using namespace tunnel::db;

namespace {

QString sqlite(const QString& sql) {
    return translateSql(sql, Engine::SQLite);
}
QString pg(const QString& sql) {
    return translateSql(sql, Engine::PostgreSQL);
}

}  // namespace

TEST(Dialect, TopBecomesALimitAtTheEndOfItsStatement) {
    const QString sql = QStringLiteral("select top 100 * from DEVICEALERT order by ALERTTIME desc");
    const QString expected =
        QStringLiteral("select * from DEVICEALERT order by ALERTTIME desc limit 100");
    EXPECT_EQ(sqlite(sql), expected);
    EXPECT_EQ(pg(sql), expected);
    EXPECT_EQ(pg(QStringLiteral("SELECT TOP (5) a FROM t;  -- newest\n")),
              QStringLiteral("SELECT a FROM t limit 5;  -- newest\n"));
    EXPECT_EQ(pg(QStringLiteral("select distinct top 3 a from t")),
              QStringLiteral("select distinct a from t limit 3"));
}

TEST(Dialect, TopInsideASubqueryLimitsTheSubqueryOnly) {
    EXPECT_EQ(pg(QStringLiteral(
                  "select * from t where a in (select top 2 b from u order by b) order by a")),
              QStringLiteral(
                  "select * from t where a in (select b from u order by b limit 2) order by a"));
}

TEST(Dialect, BracketedNamesBecomePlainNamesOnPostgreSql) {
    const QString sql =
        QStringLiteral("INSERT INTO [DEVICE]([DEVICETYPE], [DEVICECODE]) VALUES(1,2)");
    EXPECT_EQ(pg(sql), QStringLiteral("INSERT INTO DEVICE(DEVICETYPE, DEVICECODE) VALUES(1,2)"));
    EXPECT_EQ(sqlite(sql), sql);  // SQLite reads brackets itself
    EXPECT_EQ(pg(QStringLiteral("select [order], [my col] from t")),
              QStringLiteral("select \"order\", \"my col\" from t"));
}

TEST(Dialect, AliasEqualsExpressionBecomesExpressionAsAlias) {
    const QString sql = QStringLiteral(
        "SELECT PLCCONFIG.PLCCODE, RegisterTYPE= case \n"
        "registerType when 1 then 'v' when 2 then 'i' end , \n"
        "PLCCONFIG.RegisterCODE FROM PLCCONFIG");
    const QString expected = QStringLiteral(
        "SELECT PLCCONFIG.PLCCODE, case \n"
        "registerType when 1 then 'v' when 2 then 'i' end AS RegisterTYPE , \n"
        "PLCCONFIG.RegisterCODE FROM PLCCONFIG");
    EXPECT_EQ(sqlite(sql), expected);
    EXPECT_EQ(pg(sql), expected);
    EXPECT_EQ(pg(QStringLiteral("select n = count(*), [k]=(select max(a) from u) from t")),
              QStringLiteral("select count(*) AS n, (select max(a) from u) AS k from t"));
}

TEST(Dialect, NestedCaseAndCommentsInsideAnAliasedItem) {
    EXPECT_EQ(pg(QStringLiteral(
                  "select k= case when a=1 then case b when 2 then 'x' end end -- k\n from t")),
              QStringLiteral(
                  "select case when a=1 then case b when 2 then 'x' end end AS k -- k\n from t"));
}

TEST(Dialect, ComparisonsOutsideTheSelectListAreLeftAlone) {
    const QString sql =
        QStringLiteral("update DEVICE set COMMDATA='0' where DEVICETYPE=5 and DEVICECODE=3");
    EXPECT_EQ(pg(sql), sql);
    const QString where =
        QStringLiteral("select * from t where a = 1 and b=(select c from u where d = 2)");
    EXPECT_EQ(pg(where), where);
}

TEST(Dialect, LiteralsQuotedNamesAndCommentsAreNeverRewritten) {
    const QStringList untouched = {
        QStringLiteral("select 'top 5 [x] a= b' from t"),
        QStringLiteral("select a from t where b = 'it''s [DEVICE] top 3'"),
        QStringLiteral("select \"top 5\" from t"),
        QStringLiteral("select a from t -- select top 5 [x], k= 1\n"),
        QStringLiteral("select a /* top 5 [x] k= 1 */ from t"),
        QStringLiteral("select top from t"),  // a column named top
    };
    for (const QString& sql : untouched) {
        EXPECT_EQ(pg(sql), sql);
        EXPECT_EQ(sqlite(sql), sql);
    }
    // An unterminated literal, name or comment cannot be translated faithfully: refused.
    for (const char* cut : {"select 'top 5 from t", "select * from [DEVICE", "select \"a from t",
                            "select a /* from t"}) {
        EXPECT_THROW(pg(QString::fromUtf8(cut)), DbError) << cut;
        EXPECT_THROW(sqlite(QString::fromUtf8(cut)), DbError) << cut;
    }
}

TEST(Dialect, SqlServerStatementsPassUnchanged) {
    const QString sql = QStringLiteral("select top 1 k= [a] from [t]");
    EXPECT_EQ(translateSql(sql, Engine::SqlServer), sql);
}

TEST(Dialect, TokensGiveTheTextBack) {
    const QString sql =
        QStringLiteral("select N'中文', [a]]b], \"q\"\"q\" -- c\n/* d */ x<>1 and y>=2");
    QString joined;
    for (const Token& token : tokenize(sql))
        joined += token.text;
    EXPECT_EQ(joined, sql);
    EXPECT_EQ(sqlite(QStringLiteral("select N'x'")), QStringLiteral("select 'x'"));
}

TEST(Dialect, ScriptsSplitAtSemicolonsOutsideLiterals) {
    EXPECT_EQ(splitStatements(QStringLiteral("create table a (x int);\n-- note; here\n"
                                             "insert into a values (';');  ;")),
              (QStringList{QStringLiteral("create table a (x int)"),
                           QStringLiteral("insert into a values (';')")}));
}

TEST(SqlLiteral, QuotesAreDoubledInsideTheLiteral) {
    EXPECT_EQ(sqlQuote(QStringLiteral("A01")), QStringLiteral("'A01'"));
    EXPECT_EQ(sqlQuote(QStringLiteral("'); delete from DEVICE; --")),
              QStringLiteral("'''); delete from DEVICE; --'"));
    EXPECT_EQ(sqlQuote(QString()), QStringLiteral("''"));
}

TEST(Dialect, DateLiteralsComparedOnSqliteAreWrittenOutToTheMillisecond) {
    EXPECT_EQ(
        sqlite(QStringLiteral(
            "select * from A where T>='2004-05-30 00:00:00' and T<='2004-05-31 23:59:59'")),
        QStringLiteral(
            "select * from A where T>='2004-05-30 00:00:00.000' and T<='2004-05-31 23:59:59.000'"));
    EXPECT_EQ(sqlite(QStringLiteral(
                  "select * from A where T < '2004-05-31' or T > '2004-05-31 10:00:00.5'")),
              QStringLiteral("select * from A where T < '2004-05-31 00:00:00.000' or T > "
                             "'2004-05-31 10:00:00.500'"));
    // Stored values and equality tests keep their text; so does every other engine.
    const QString kept =
        QStringLiteral("update A set R='2004-05-31 10:00:00' where R = '2004-05-31'");
    EXPECT_EQ(sqlite(kept), kept);
    EXPECT_EQ(pg(QStringLiteral("select * from A where T<='2004-05-31 23:59:59'")),
              QStringLiteral("select * from A where T<='2004-05-31 23:59:59'"));
    // The literal on the left of the comparison, and both bounds of a BETWEEN.
    EXPECT_EQ(sqlite(QStringLiteral("select * from A where '2004-05-31 23:59:59' >= T")),
              QStringLiteral("select * from A where '2004-05-31 23:59:59.000' >= T"));
    EXPECT_EQ(sqlite(QStringLiteral(
                  "select * from A where T between '2004-05-30' and '2004-05-31 23:59:59'")),
              QStringLiteral("select * from A where T between '2004-05-30 00:00:00.000' and "
                             "'2004-05-31 23:59:59.000'"));
}

// A TOP limits its own statement and its own branch: a second statement in the text gets no
// limit of the first, and TOP in a branch of a UNION, which no LIMIT can say, is refused.
TEST(Dialect, TopStaysWithItsStatementOrIsRefused) {
    EXPECT_EQ(pg(QStringLiteral("select top 2 a from t; select b from u")),
              QStringLiteral("select a from t limit 2; select b from u"));
    EXPECT_EQ(sqlite(QStringLiteral("select a from t; select top 3 b from u;")),
              QStringLiteral("select a from t; select b from u limit 3;"));
    for (const char* branches : {"select top 3 a from t union select top 5 a from u",
                                 "select a from t union all select top 5 a from u",
                                 "select top 3 a from t except select a from u"}) {
        EXPECT_THROW(pg(QString::fromUtf8(branches)), DbError) << branches;
        EXPECT_THROW(sqlite(QString::fromUtf8(branches)), DbError) << branches;
    }
    EXPECT_EQ(pg(QStringLiteral("select * from (select top 3 a from t) x union select a from u")),
              QStringLiteral("select * from (select a from t limit 3) x union select a from u"));
}
