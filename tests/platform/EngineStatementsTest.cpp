// Every statement the windows send, run on each engine after translation, must give the rows
// its SQL Server meaning gives. The expected rows below are that meaning for the data here.
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/ValueText.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tunnel;

namespace {

const char* const kFixture[] = {
    "INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (5, '照明回路'), (6, '射流风机'), "
    "(12, '可变情报板'), (24, '网络IO网关'), (27, 'PLC控制器'), (99, '备用')",
    "INSERT INTO AREA (AREACODE, AREANAME, FROMMETER, FROMMILI, TOMETER, TOMILI) VALUES "
    "(1, '北洞口', 10, 0, 10, 300), (2, '隧道段', 10, 300, 12, 800)",
    "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, POSITION, MILIMETER, METER, STATUS, CYCLE, "
    "AREACODE, VIDEO, PHYSICS, BEGINPOS, ENDPOS, SIDE, COMMTYPE, COMMDATA, PROTOCOL) VALUES "
    "(5, 1, 1, 10, 470, 1, 60, 2, 1, 'L1', '', '', 1, 3, '1', 0), "
    "(5, 2, 2, 10, 640, 1, 60, 2, 1, 'L2', '', '', 1, 3, '0', 0), "
    "(5, 4, 2, 10, 900, 1, 60, 2, 1, 'L4', '', '', 1, 3, NULL, 0), "
    "(6, 1, 1, 11, 0, 1, 60, 2, 1, 'F1', '', '', 1, 4, '', 0), "
    "(6, 2, 2, 11, 0, 1, 60, 2, 1, 'F2', '', '', 1, 4, '', 0), "
    "(6, 3, 2, 11, 50, 1, 60, 2, 1, 'F3', '', '', 1, 1, '10.0.0.3', 1), "
    "(12, 5, 1, 10, 100, 1, 60, 1, 1, 'S5', '', '', 2, 1, '10.0.0.5', 2), "
    "(24, 1, 1, 10, 50, 1, 60, 1, 1, 'G1', '', '', 2, 1, '10.0.0.201', 1), "
    "(24, 2, 2, 12, 700, 1, 60, 2, 1, 'G2', '', '', 2, 1, '10.0.0.202', 1), "
    "(27, 1, 1, 10, 60, 1, 60, 1, 1, 'P1', '', '', 2, 1, '10.0.0.221', 1)",
    "INSERT INTO NGDEVICEPARAM (DEVICETYPE, PARAM, PORTTYPE, DESCRIPT) VALUES "
    "(6, 4, 2, '运行反馈'), (5, 2, 1, '关灯控制'), (5, 1, 1, '开灯控制'), (6, 1, 1, '正转控制'), "
    "(5, 3, 2, '回路状态')",
    "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
    "DEVICEPARAM, DESCRIPT) VALUES (24, 1, 1, 1, 5, 1, 1, '开灯控制(数字输出)'), "
    "(24, 1, 1, 2, 5, 1, 2, '关灯控制(数字输出)'), (24, 1, 2, 1, 5, 1, 3, '回路状态(数字输入)'), "
    "(24, 2, 1, 1, 5, 9, 1, 'other gateway')",
    "INSERT INTO PLCCONFIG (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, "
    "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES "
    "(27, 1, 1, 0, 0, 6, 1, 1, '1-正转控制'), (27, 1, 2, 0, 1, 6, 1, 4, '4-运行反馈'), "
    "(27, 1, 4, 0, 0, 6, 2, 1, '1-正转控制'), (27, 1, 3, 0, 3, 99, 1, 1, 'kind 3'), "
    "(27, 1, 1, 0, 2, 77, 1, 1, 'type 77 is not catalogued')",
    "INSERT INTO DEVICESTATUS (DEVICETYPE, DEVICECODE, STATUSTIME, PRESTATUS, CURSTATUS, REMARK) "
    "VALUES (5, 3, '2004-05-29 23:59:59.999', 1, 2, 'before'), "
    "(5, 3, '2004-05-30 00:00:00.000', 2, 1, 'first'), "
    "(5, 3, '2004-05-31 12:00:00.000', 1, 3, 'noon'), "
    "(5, 3, '2004-05-31 23:59:59.999', 3, 1, 'last'), "
    "(5, 3, '2004-06-01 00:00:00.000', 1, 4, 'after'), "
    "(5, 2, '2004-05-30 08:00:00.000', 1, 2, 'other device'), "
    "(6, 3, '2004-05-30 09:00:00.000', 1, 2, 'other type')",
    "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, ALERTTYPE, ALERTDESC) VALUES "
    "(5, 3, '2004-05-29 23:59:59.000', 1, 'before'), (5, 3, '2004-05-30 00:00:00.000', 1, "
    "'first'), "
    "(5, 3, '2004-05-31 23:59:59.000', 0, 'last'), (5, 3, '2004-05-31 23:59:59.500', 1, 'after "
    "last'), "
    "(5, 2, '2004-05-30 10:00:00.000', 1, 'other device')",
};

struct Case {
    const char* sql;
    const char* columns;  // the columns compared, joined by "|"
    QStringList expected;
    bool ordered = false;  // the statement fixes the order
};

QStringList project(test::TestDatabase& database, const QString& sql, const QString& columns) {
    db::Query query(QString{});
    query.setConnectionString(database.connectionString());
    query.setSql(sql);
    query.open();
    QStringList rows;
    const QStringList names = columns.split(u'|');
    for (; !query.eof(); query.next()) {
        QStringList values;
        for (const QString& name : names) {
            const QVariant value = query.value(name);
            QString text = value.isNull() ? QStringLiteral("NULL") : db::textOf(value);
            while (text.endsWith(u' '))
                text.chop(1);
            values.append(text);
        }
        rows.append(values.join(u'|'));
    }
    return rows;
}

const Case kSelects[] = {
    {"select * from Device",
     "DEVICETYPE|DEVICECODE",
     {"5|1", "5|2", "5|4", "6|1", "6|2", "6|3", "12|5", "24|1", "24|2", "27|1"}},
    {"SELECT * FROM AREA", "AREACODE|AREANAME|TOMILI", {"1|北洞口|300", "2|隧道段|800"}},
    {"SELECT * FROM DEVICETYPE ",
     "TYPECODE|TYPENAME",
     {"5|照明回路", "6|射流风机", "12|可变情报板", "24|网络IO网关", "27|PLC控制器", "99|备用"}},
    {"SELECT * FROM DEVICE  where DEVICETYPE=24 and DEVICECODE=2",
     "PHYSICS|AREACODE|COMMDATA",
     {"G2|2|10.0.0.202"}},
    {"SELECT COMMTYPE,COMMDATA,PROTOCOL FROM DEVICE  where DEVICETYPE=6 and DEVICECODE=3",
     "commtype|CommData|PROTOCOL",
     {"1|10.0.0.3|1"}},
    {"Select * From Device Where DeviceType = 12 And DeviceCode = 5",
     "int1|char1|PHYSICS",
     {"NULL|NULL|S5"}},
    {"select * from DEVICE  where DEVICETYPE=24", "DEVICECODE|AREACODE", {"1|1", "2|2"}},
    {"SELECT * FROM NGDEVICEPARAM order by DEVICETYPE, PARAM",
     "DEVICETYPE|PARAM|PORTTYPE|DESCRIPT",
     {"5|1|1|开灯控制", "5|2|1|关灯控制", "5|3|2|回路状态", "6|1|1|正转控制", "6|4|2|运行反馈"},
     true},
    {"select * from NGCONFIG where NGCODE=1",
     "PORTTYPE|PORTCODE|DEVICEPARAM",
     {"1|1|1", "1|2|2", "2|1|3"}},
    // A NULL COMMDATA is not free: the comparison with '1' is not true.
    {"select * from DEVICE where COMMTYPE=3 and COMMDATA<>'1'", "DEVICETYPE|DEVICECODE", {"5|2"}},
    {"SELECT PLCCONFIG.PLCCODE, RegisterTYPE= case \n"
     "registerType when 1 then 'v' when 2 then 'i' end , \n"
     "PLCCONFIG.RegisterCODE, \n"
     "      PLCCONFIG.RegisterBIT, DEVICETYPE.TYPENAME, \n"
     "PLCCONFIG.DEVICECODE, \n"
     "      PLCCONFIG.DESCRIPT\n"
     "FROM PLCCONFIG INNER JOIN\n"
     "      DEVICETYPE ON PLCCONFIG.DEVICETYPE = \n"
     "DEVICETYPE.TYPECODE",
     "PLCCODE|RegisterTYPE|RegisterCODE|RegisterBIT|TYPENAME|DEVICECODE|DESCRIPT",
     {"1|v|0|0|射流风机|1|1-正转控制", "1|i|0|1|射流风机|1|4-运行反馈",
      "1|NULL|0|0|射流风机|2|1-正转控制", "1|NULL|0|3|备用|1|kind 3"}},
    {"SELECT PLCCONFIG.PLCCODE, RegisterTYPE= case \n"
     "registerType when 1 then 'IO输出' when 2 then 'IO输入' when 4 then '串行接入'  end , \n"
     "PLCCONFIG.RegisterCODE, \n"
     "      PLCCONFIG.RegisterBIT, DEVICETYPE.TYPENAME, \n"
     "PLCCONFIG.DEVICECODE, \n"
     "      PLCCONFIG.DESCRIPT\n"
     "FROM PLCCONFIG INNER JOIN\n"
     "      DEVICETYPE ON PLCCONFIG.DEVICETYPE = \n"
     "DEVICETYPE.TYPECODE",
     "RegisterTYPE|RegisterBIT|DEVICECODE",
     {"IO输出|0|1", "IO输入|1|1", "串行接入|0|2", "NULL|3|1"}},
    {"select deviceCode from Device where deviceType=27", "DEVICECODE", {"1"}},
    {"select TYPENAME,TypeCode from DEviceType where Typecode in (select distinct devicetype "
     "from device where commtype=4)",
     "TYPECODE|TYPENAME",
     {"6|射流风机"}},
    {"select devicecode from DEvice where devicetype=6", "DEVICECODE", {"1", "2", "3"}},
    {"select param,descript from ngdeviceparam where devicetype=6 and Porttype=2",
     "PARAM|DESCRIPT",
     {"4|运行反馈"}},
    {"select registerbit from plcconfig where Plccode=1 and registertype=1 and registercode=0",
     "RegisterBIT",
     {"0", "2"}},
    {"select devicecode from DEvice where devicetype=6 and commtype=4", "devicecode", {"1", "2"}},
    {"select DEVICECODE from DEVICE where DEVICETYPE=5", "DEVICECODE", {"1", "2", "4"}},
    {"SELECT * FROM DEVICE where DEVICETYPE=6", "DEVICECODE", {"1", "2", "3"}},
    {"select * from DEVICESTATUS  where STATUSTIME>='2004-05-30 00:00:00.000' and STATUSTIME "
     "<='2004-05-31 23:59:59.999' and DEVICETYPE= 5 and DEVICECODE=3",
     "STATUSTIME|REMARK",
     {"2004-05-30 00:00:00.000|first", "2004-05-31 12:00:00.000|noon",
      "2004-05-31 23:59:59.999|last"}},
    {"select * from DEVICESTATUS  where STATUSTIME>='2004-05-30 00:00:00.000' and STATUSTIME "
     "<='2004-05-30 23:59:59.999'",
     "DEVICETYPE|DEVICECODE|REMARK",
     {"5|3|first", "5|2|other device", "6|3|other type"}},
    {"select * from DEVICEALERT where ALERTTIME>='2004-05-30 00:00:00' and "
     "ALERTTIME<='2004-05-31 23:59:59' and DEVICETYPE=5 and DEVICECODE=3",
     "ALERTTYPE|ALERTDESC",
     {"1|first", "0|last"}},
    {"select top 100 * from DEVICEALERT order by ALERTTIME desc",
     "ALERTDESC",
     {"after last", "last", "other device", "first", "before"},
     true},
};

QStringList sorted(QStringList rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

struct Change {
    const char* sql;
    const char* check;  // a select that shows the change
    const char* columns;
    QStringList expected;
};

const Change kChanges[] = {
    {"INSERT INTO [DEVICE]([DEVICETYPE], [DEVICECODE], [POSITION],[MILIMETER], [METER], "
     "[STATUS], [CYCLE], [AREACODE],[VIDEO], [PHYSICS], [BEGINPOS], [ENDPOS], [SIDE],"
     "[COMMTYPE],[COMMDATA],[PROTOCOL])  VALUES(5,3,1,25,300,1,60,2,1,'A01','','',0,0,'',0)",
     "select * from DEVICE where DEVICETYPE=5 and DEVICECODE=3",
     "MILIMETER|METER|PHYSICS|COMMTYPE|COMMDATA",
     {"25|300|A01|0|"}},
    {"update DEVICE set [DEVICETYPE]=5,[DEVICECODE]=7,[POSITION]=2,[MILIMETER]=1,[METER]=2,"
     "[STATUS]=2,[CYCLE]=30,[AREACODE]=1,[VIDEO]=3,[PHYSICS]='X',[BEGINPOS]='a',[ENDPOS]='b',"
     "[SIDE]=2,[COMMTYPE]=3,[COMMDATA]='0',[PROTOCOL]=0 where DEVICETYPE=5 and DEVICECODE=2",
     "select * from DEVICE where DEVICETYPE=5",
     "DEVICECODE|PHYSICS",
     {"1|L1", "3|A01", "4|L4", "7|X"}},
    {"DELETE FROM DEVICE WHERE DEVICETYPE = 6 AND DEVICECODE = 3",
     "select * from DEVICE where DEVICETYPE=6",
     "DEVICECODE",
     {"1", "2"}},
    {"UPDATE DEVICE SET  COMMTYPE=2, COMMDATA='1;9600,8,N,1', PROTOCOL=1 where DEVICETYPE=24 and "
     "DEVICECODE=2",
     "select * from DEVICE where DEVICETYPE=24 and DEVICECODE=2",
     "COMMTYPE|COMMDATA|PROTOCOL",
     {"2|1;9600,8,N,1|1"}},
    {"UPDATE DEVICE SET  COMMTYPE=3, PROTOCOL=0 where DEVICETYPE=5 and DEVICECODE=1",
     "select * from DEVICE where DEVICETYPE=5 and DEVICECODE=1",
     "COMMTYPE|COMMDATA|PROTOCOL",
     {"3|1|0"}},
    {"Update Device Set int1 = 1, int2 = 128, int3 = 64, int4 = 32,char1 = '1,3,8',"
     "char2 = '3,5', char3 = '16,32' where DeviceType = 12 and devicecode = 5",
     "Select * From Device Where DeviceType = 12 And DeviceCode = 5",
     "int1|int2|int3|int4|char1|char2|char3",
     {"1|128|64|32|1,3,8|3,5|16,32"}},
    {"delete from NGCONFIG where NGCODE=1 and DEVICETYPE=5 and DEVICECODE=1",
     "select * from NGCONFIG",
     "NGCODE|DEVICECODE",
     {"2|9"}},
    {"update DEVICE set COMMDATA='0' where DEVICETYPE=5 and DEVICECODE=1",
     "select * from DEVICE where COMMTYPE=3 and COMMDATA<>'1'",
     "DEVICECODE",
     {"1", "7"}},
    {"insert into NGCONFIG(NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
     "DEVICEPARAM, DESCRIPT) values(24,1,1,3,5,2,1,'开灯控制(数字输出)')",
     "select * from NGCONFIG where NGCODE=1 and DEVICECODE=2",
     "PORTCODE|DESCRIPT",
     {"3|开灯控制(数字输出)"}},
    {"update DEVICE set COMMDATA='1' where DEVICETYPE=5 and DEVICECODE=7",
     "select * from DEVICE where COMMTYPE=3 and COMMDATA<>'1'",
     "DEVICECODE",
     {"1"}},
    {"INSERT INTO PLCCONFIG  (PLCTYPE, PLCCODE, RegisterTYPE, RegisterCODE, RegisterBIT, "
     "DEVICETYPE, DEVICECODE, DEVICEPARAM, DESCRIPT) VALUES ( 27,1,1,0,5,6,2,1,'1-正转控制')",
     "select registerbit from plcconfig where Plccode=1 and registertype=1 and registercode=0",
     "registerbit",
     {"0", "2", "5"}},
    {"DELETE FROM PLCCONFIG   WHERE (PLCCODE = 1) AND (RegisterTYPE = 1) AND (RegisterCODE = 0) "
     "AND      (RegisterBIT = 2)",
     "select registerbit from plcconfig where Plccode=1 and registertype=1 and registercode=0",
     "registerbit",
     {"0", "5"}},
    // The Omron window writes a number into the fixed-text column.
    {"update device set commdata=1 where devicetype=6 and devicecode=1",
     "select * from DEVICE where DEVICETYPE=6 and DEVICECODE=1",
     "COMMDATA",
     {"1"}},
};

class EngineStatements : public test::EngineTest {
protected:
    void prepare() override {
        for (const char* sql : kFixture) {
            database().exec(QString::fromUtf8(sql));
        }
    }
};

}  // namespace

TEST_P(EngineStatements, SelectsGiveTheRowsOfTheirSqlServerMeaning) {
    for (const Case& c : kSelects) {
        const QString sql = QString::fromUtf8(c.sql);
        QStringList rows;
        try {
            rows = project(database(), sql, QString::fromUtf8(c.columns));
        } catch (const db::DbError& error) {
            ADD_FAILURE() << c.sql << "\n  failed: " << error.report().toStdString();
            continue;
        }
        if (c.ordered) {
            EXPECT_EQ(rows, c.expected) << c.sql;
        } else {
            EXPECT_EQ(sorted(rows), sorted(c.expected)) << c.sql;
        }
    }
}

TEST_P(EngineStatements, ChangesHaveTheirSqlServerEffect) {
    for (const Change& c : kChanges) {
        try {
            database().exec(QString::fromUtf8(c.sql));
            EXPECT_EQ(sorted(project(database(), QString::fromUtf8(c.check),
                                     QString::fromUtf8(c.columns))),
                      sorted(c.expected))
                << c.sql;
        } catch (const db::DbError& error) {
            ADD_FAILURE() << c.sql << "\n  failed: " << error.report().toStdString();
        }
    }
}

TEST_P(EngineStatements, TopKeepsOnlyTheNewestHundred) {
    for (int i = 0; i < 120; ++i) {
        database().exec(
            QStringLiteral(
                "INSERT INTO DEVICEALERT (DEVICETYPE, DEVICECODE, ALERTTIME, "
                "ALERTTYPE, ALERTDESC) VALUES (5, 1, '2010-01-01 00:%1:%2.000', 1, 'n%3')")
                .arg(i / 60, 2, 10, QChar(u'0'))
                .arg(i % 60, 2, 10, QChar(u'0'))
                .arg(i));
    }
    const QStringList rows = project(
        database(), QStringLiteral("select top 100 * from DEVICEALERT order by ALERTTIME desc"),
        QStringLiteral("ALERTDESC"));
    ASSERT_EQ(rows.size(), 100);
    EXPECT_EQ(rows.front(), QStringLiteral("n119"));
    EXPECT_EQ(rows.back(), QStringLiteral("n20"));
}

TUNNEL_ON_EVERY_ENGINE(EngineStatements);
