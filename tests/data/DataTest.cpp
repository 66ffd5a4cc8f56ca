#include "data/CodeName.h"
#include "data/DeviceStatements.h"
#include "data/DisplayTexts.h"
#include "data/TdmPublicData.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/SessionPool.h"
#include "support/TestDatabase.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace tunnel;
using namespace tunnel::data;

TEST(CodeNameList, FirstMatchWinsAndAMissingCodeHasNoName) {
    CodeNameList list;
    list.append({3, QStringLiteral("上行隧道段")});
    list.append({0, QStringLiteral("零号")});
    list.append({3, QStringLiteral("重复的三")});
    EXPECT_EQ(list.nameOf(3), QStringLiteral("上行隧道段"));
    EXPECT_EQ(list.nameOf(0), QStringLiteral("零号")) << "code 0 is looked up like any other";
    EXPECT_EQ(list.nameOf(-7), QString());
    EXPECT_EQ(list.count(), 3);
}

TEST(DisplayTexts, EveryCodeHasItsWordAndAnyOtherCodeTheLast) {
    EXPECT_EQ(StatusText(3), QStringLiteral("通讯断"));
    for (int code : {0, 5, -1})
        EXPECT_EQ(StatusText(code), QStringLiteral("未知"));
    EXPECT_EQ(CommTypeText(0), QStringLiteral("未使用"));
    EXPECT_EQ(CommTypeText(4), QStringLiteral("PLC"));
    EXPECT_EQ(CommTypeText(3), QStringLiteral("网关"));
    EXPECT_EQ(PositionText(0), QStringLiteral("未定义"));
    EXPECT_EQ(PositionText(2), QStringLiteral("下行"));
    EXPECT_EQ(SideText(0), QStringLiteral("无"));
    EXPECT_EQ(SideText(1), QStringLiteral("内"));
    EXPECT_EQ(ProtocolText(0), QStringLiteral("无"));
    EXPECT_EQ(ProtocolText(2), QStringLiteral("2.0"));
}

TEST(DisplayTexts, StakeIsKilometresPlusMetresCutToTenCharacters) {
    EXPECT_EQ(StakeText(12, 345), QStringLiteral("K12+345"));
    EXPECT_EQ(StakeText(0, 0), QStringLiteral("K0+0"));
    EXPECT_EQ(StakeText(5, 60), QStringLiteral("K5+60"));
    EXPECT_EQ(StakeText(QVariant(), QVariant()), QStringLiteral("K+"));
    EXPECT_EQ(StakeText(65535, 65535), QStringLiteral("K65535+655"));
    EXPECT_EQ(StakeText(-3, QStringLiteral("7")), QStringLiteral("K-3+7"));
}

TEST(DeviceStatements, InsertAndUpdateAreComposedAsTheEditorSendsThem) {
    DeviceRecord d;
    d.deviceType = QStringLiteral("5");
    d.deviceCode = 3;
    d.position = 1;
    d.kilometres = 25;
    d.metres = 300;
    d.status = 1;
    d.cycle = 60;
    d.areaCode = QStringLiteral("2");
    d.video = 1;
    d.physics = QStringLiteral("A01");
    EXPECT_EQ(
        insertDeviceStatement(d),
        QStringLiteral(
            "INSERT INTO [DEVICE]([DEVICETYPE], [DEVICECODE], [POSITION],[MILIMETER], [METER], "
            "[STATUS], [CYCLE], [AREACODE],[VIDEO], [PHYSICS], [BEGINPOS], [ENDPOS], [SIDE],"
            "[COMMTYPE],[COMMDATA],[PROTOCOL])  "
            "VALUES(5,3,1,25,300,1,60,2,1,'A01','','',0,0,'',0)"));
    d.physics = QStringLiteral("O'Neil");
    d.commData = QStringLiteral("1;9600,8,N,1");
    d.commType = 2;
    EXPECT_EQ(updateDeviceStatement(d, 5, 2),
              QStringLiteral(
                  "update DEVICE set [DEVICETYPE]=5,[DEVICECODE]=3,[POSITION]=1,[MILIMETER]=25,"
                  "[METER]=300,[STATUS]=1,[CYCLE]=60,[AREACODE]=2,[VIDEO]=1,[PHYSICS]='O''Neil',"
                  "[BEGINPOS]='',[ENDPOS]='',[SIDE]=0,[COMMTYPE]=2,[COMMDATA]='1;9600,8,N,1',"
                  "[PROTOCOL]=0 where DEVICETYPE=5 and DEVICECODE=2"));
    EXPECT_EQ(selectDeviceStatement(5, 3),
              QStringLiteral("SELECT * FROM DEVICE  where DEVICETYPE=5 and DEVICECODE=3"));
    EXPECT_EQ(deleteDeviceStatement(12, 3),
              QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE = 12 AND DEVICECODE = 3"));
}

TEST(DeviceStatements, ConnectionStatements) {
    EXPECT_EQ(
        selectConnectionStatement(5, 3),
        QStringLiteral(
            "SELECT COMMTYPE,COMMDATA,PROTOCOL FROM DEVICE  where DEVICETYPE=5 and DEVICECODE=3"));
    EXPECT_EQ(
        updateConnectionStatement({2, QStringLiteral("1;9600,8,N,1"), 1}, 5, 3),
        QStringLiteral("UPDATE DEVICE SET  COMMTYPE=2, COMMDATA='1;9600,8,N,1', PROTOCOL=1 where "
                       "DEVICETYPE=5 and DEVICECODE=3"));
    EXPECT_EQ(updateConnectionStatement({3, QStringLiteral("ignored"), 0}, 5, 3),
              QStringLiteral(
                  "UPDATE DEVICE SET  COMMTYPE=3, PROTOCOL=0 where DEVICETYPE=5 and DEVICECODE=3"));
}

TEST(DeviceStatements, SerialSettingsRoundTrip) {
    EXPECT_EQ(
        serialSettingsText({QStringLiteral(" 3 "), QStringLiteral("9600"), QStringLiteral("8"),
                            QStringLiteral("偶校验"), QStringLiteral("1")}),
        QStringLiteral("3;9600,8,E,1"));
    EXPECT_EQ(serialSettingsText({QStringLiteral("1"), {}, {}, QStringLiteral("even"), {}}),
              QStringLiteral("1;,,N,"));
    const SerialSettings s = parseSerialSettings(QStringLiteral("3;9600,8,O,1.5,extra"));
    EXPECT_EQ(s.port, QStringLiteral("3"));
    EXPECT_EQ(s.baud, QStringLiteral("9600"));
    EXPECT_EQ(s.dataBits, QStringLiteral("8"));
    EXPECT_EQ(s.parity, QStringLiteral("奇校验"));
    EXPECT_EQ(s.stopBits, QStringLiteral("1.5"));
    const SerialSettings noPort = parseSerialSettings(QStringLiteral(";9600,8,N,1"));
    EXPECT_TRUE(noPort.port.isEmpty());
    EXPECT_TRUE(noPort.baud.isEmpty()) << "an empty port ends the reading";
    EXPECT_EQ(parseSerialSettings(QStringLiteral("2;4800,,N,1")).parity, QString())
        << "an empty piece ends it too";
}

TEST(DeviceStatements, SignStatementIsTheHostsFormat) {
    SignProperties sign;
    sign.mounting = 1;
    sign.width = 128;
    sign.height = 64;
    sign.pictureSize = 32;
    sign.colours = {1, 3, 8};
    sign.fonts = {3, 5};
    sign.sizes = {QStringLiteral("16"), QStringLiteral("32")};
    EXPECT_EQ(updateSignStatement(sign, 5),
              QStringLiteral(
                  "Update Device Set int1 = 1, int2 = 128, int3 = 64, int4 = 32,char1 = '1,3,8',"
                  "char2 = '3,5', char3 = '16,32' where DeviceType = 12 and devicecode = 5"));
    EXPECT_EQ(selectSignStatement(5),
              QStringLiteral("Select * From Device Where DeviceType = 12 And DeviceCode = 5"));
}

namespace {

class PublicData : public test::EngineTest {};

}  // namespace

TEST_P(PublicData, ReadsBothCataloguesOnceAsStored) {
    database().exec(QStringLiteral(
        "INSERT INTO AREA (AREACODE, AREANAME) VALUES (2, '南洞口'), (1, '北洞口')"));
    database().exec(QStringLiteral(
        "INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (24, '网关  '), (0, '零')"));
    TdmPublicData data(database().connectionString());
    data.DataModuleCreate();
    ASSERT_EQ(data.GetAreaCount(), 2);
    EXPECT_EQ(data.GetAreaItem(0).Code, database().scalarInt(QStringLiteral("SELECT * FROM AREA")))
        << "kept in the order the query returned";
    EXPECT_EQ(data.GetAreaName(1), QStringLiteral("北洞口"));
    EXPECT_EQ(data.GetAreaName(9), QString());
    EXPECT_EQ(data.GetTypeName(24), QStringLiteral("网关  ")) << "names are not trimmed";
    EXPECT_EQ(data.GetTypeName(0), QStringLiteral("零"));
    database().exec(QStringLiteral("DELETE FROM AREA"));
    EXPECT_EQ(data.GetAreaCount(), 2) << "read once, never reloaded";
}

TEST_P(PublicData, AnEmptyAreaTableHasNoEntriesAndAFailedReadKeepsWhatWasRead) {
    database().exec(QStringLiteral("INSERT INTO AREA (AREACODE, AREANAME) VALUES (1, '北洞口')"));
    database().exec(QStringLiteral("DROP TABLE DEVICETYPE"));
    TdmPublicData data(database().connectionString());
    EXPECT_THROW(data.DataModuleCreate(), db::DbError);
    EXPECT_EQ(data.GetAreaCount(), 1);
    EXPECT_EQ(data.GetTypeName(1), QString());

    database().exec(QStringLiteral("DELETE FROM AREA"));
    TdmPublicData empty(database().connectionString());
    EXPECT_THROW(empty.DataModuleCreate(), db::DbError);
    EXPECT_EQ(empty.GetAreaCount(), 0);
}

TUNNEL_ON_EVERY_ENGINE(PublicData);

// The windows that use the catalogues reach the instance their opener owns, and only while it
// lives: after it is gone, a use is a clear error, never a dangling reference.
TEST(PublicDataOwner, IsReachableOnlyWhileItsOwnerLives) {
    EXPECT_THROW(data::publicData(), std::logic_error);
    {
        TdmPublicData owner(QStringLiteral("Provider=SQLite;Data Source=/nonexistent.db"));
        EXPECT_EQ(&data::publicData(), &owner);
        {
            TdmPublicData inner(QStringLiteral("Provider=SQLite;Data Source=/nonexistent.db"));
            EXPECT_EQ(&data::publicData(), &inner);
        }
        EXPECT_EQ(&data::publicData(), &owner);
    }
    EXPECT_THROW(data::publicData(), std::logic_error);
}

namespace {

// The catalogues every window reads as it opens, as another program or station leaves them.
class Catalogues : public test::EngineTest {
protected:
    void prepare() override {
        database().exec(QStringLiteral(
            "INSERT INTO AREA (AREACODE, AREANAME) VALUES (1, '北洞口'), (2, '隧道段')"));
        database().exec(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (5, '风机')"));
    }

    QString areasAndTypes() {
        db::Query query(database().connectionString());
        CodeNameList areas;
        CodeNameList types;
        readAreasAndTypes(query, areas, types);
        return areas.codedItems().join(u',') + u'|' + types.codedItems().join(u',');
    }
};

}  // namespace

// Each read is the database's as it stands: an area another program deleted is gone from the
// next window's list, a renamed one renamed, a new type there.
TEST_P(Catalogues, AreReadAsTheDatabaseHoldsThemAtEachOpen) {
    EXPECT_EQ(areasAndTypes(), QStringLiteral("1-北洞口,2-隧道段|5-风机"));
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral("DELETE FROM AREA WHERE AREACODE = 2"));
    EXPECT_EQ(areasAndTypes(), QStringLiteral("1-北洞口|5-风机"));
    other->execute(QStringLiteral("UPDATE AREA SET AREANAME = '甲'"));
    other->execute(
        QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (6, '照明')"));
    EXPECT_EQ(areasAndTypes(), QStringLiteral("1-甲|5-风机,6-照明"));
}

TUNNEL_ON_EVERY_ENGINE(Catalogues);
