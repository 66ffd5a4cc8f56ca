#include "data/DeviceSearch.h"
#include "data/IndexedText.h"
#include "data/SearchIndex.h"
#include "devices/DeviceFixture.h"
#include "devices/TfmDeviceMainage.h"
#include "devices/TfmFindDevice.h"
#include "platform/db/Database.h"
#include "platform/text/Gbk.h"
#include "platform/ui/Modal.h"

#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace tunnel;
using namespace tunnel::test;

namespace {

// Around kilometre 10: 1/1 at K9+999 outside the tunnel, 1/2 at K10+000 and 1/3 at K10+001
// inside; the fixture's 5/3 (K10+470 inside, "L3", 10.0.0.3, 隧道段), 12/5 (K10+100 outside,
// "S5", 10.0.0.5, 北洞口) and gateway 24/1 (K10+50 outside, 北洞口).
class FindDevice : public DeviceWindows {
protected:
    void prepare() override {
        DeviceWindows::prepare();
        insertDevice(1, 1, QStringLiteral("1, 9, 999, 1, 60, 0, 1, 'a_b%c', '', '', 2, 0, '', 0"));
        insertDevice(1, 2, QStringLiteral("1, 10, 0, 1, 60, 0, 1, 'CAM-2', '', '', 1, 0, '', 0"));
        insertDevice(1, 3, QStringLiteral("1, 10, 1, 1, 60, 0, 1, 'abc', '', '', 1, 0, '', 0"));
    }
    // The ways this database can be searched: with its index and by reading.
    QVector<data::TextSearch> ways() {
        switch (data::textSearchOf(database().db())) {
            case data::TextSearch::ServerIndex:
                return {data::TextSearch::Scan, data::TextSearch::ServerIndex};
            case data::TextSearch::Scan:
            case data::TextSearch::ScanStoredBytes:
                break;
        }
        return {data::textSearchOf(database().db())};
    }
    QStringList matches(const data::DeviceSearch& search, data::TextSearch how) {
        QStringList keys;
        for (const QString& row : database().rows(
                 QStringLiteral("select DEVICETYPE, DEVICECODE from (%1) t order by DEVICETYPE, "
                                "DEVICECODE")
                     .arg(database().db().translate(
                         data::deviceSearchStatement(database().db(), search, how))))) {
            keys.append(row.section(u'|', 0, 0) + u'/' + row.section(u'|', 1, 1));
        }
        return keys;
    }
};

data::DeviceSearch byText(const char* text) {
    data::DeviceSearch search;
    search.text = QString::fromUtf8(text);
    return search;
}

data::DeviceSearch byStakes(const char* from, const char* to) {
    data::DeviceSearch search;
    search.from = data::parseStake(QString::fromUtf8(from));
    search.to = data::parseStake(QString::fromUtf8(to));
    return search;
}

}  // namespace

// Every kind of text, the stake bounds at K9+999 and K10+000, inside and outside.
TEST_P(FindDevice, TheDatabaseMatchesEveryKindOfText) {
    data::DeviceSearch inside;
    inside.side = data::DeviceSearch::Side::Inside;
    data::DeviceSearch outside;
    outside.side = data::DeviceSearch::Side::Outside;
    const struct {
        data::DeviceSearch search;
        QStringList expected;
        const char* what;
    } cases[] = {
        {byText(""), {"1/1", "1/2", "1/3", "5/3", "12/5", "24/1"}, "empty: every device"},
        {byText("  cam-2 "), {"1/2"}, "physical number, any case"},
        {byText("10.0.0.5"), {"12/5"}, "connection parameters"},
        {byText("情报"), {"12/5"}, "type name"},
        {byText("北洞"), {"12/5", "24/1"}, "area name"},
        {byText("5"), {"12/5"}, "number"},
        {byText("c"), {"1/1", "1/2", "1/3"}, "one character, last of a text"},
        {byText("-2"), {"1/2"}, "two characters ending a text"},
        {byText("B%"), {"1/1"}, "two characters within a text, a wildcard among them"},
        {byText("3"), {"1/3", "5/3"}, "one character of a number, a text, an address"},
        {byText("_b%"), {"1/1"}, "wildcards taken literally"},
        {byText("K10+4"), {"5/3"}, "a stake being typed"},
        {byText("10+"), {"1/2", "1/3", "5/3", "12/5", "24/1"}, "a kilometre"},
        {byStakes("K9+999", "K10+000"), {"1/1", "1/2"}, "both ends included, as numbers"},
        {byStakes("K10+001", ""), {"1/3", "5/3", "12/5", "24/1"}, "from a stake on"},
        {byStakes("K10+000", "K9+999"), {"1/1", "1/2"}, "a reversed range is the same range"},
        {byStakes("K9", "K10"), {"1/1", "1/2"}, "a kilometre alone is its first metre"},
        {inside, {"1/2", "1/3", "5/3"}, "inside"},
        {outside, {"1/1", "12/5", "24/1"}, "outside"},
    };
    EXPECT_EQ(data::textSearchOf(database().db()), GetParam() == db::Engine::SQLite
                                                       ? data::TextSearch::ScanStoredBytes
                                                       : data::TextSearch::ServerIndex);
    for (const data::TextSearch how : ways()) {
        for (const auto& c : cases) {
            EXPECT_EQ(matches(c.search, how), c.expected) << c.what << " way " << int(how);
        }
    }
    // The index follows what any program writes to the register.
    auto other = db::Database::open(database().connectionString());
    other->execute(
        QString::fromUtf8("UPDATE DEVICE SET PHYSICS='x\\y\"z\U0002000012' WHERE DEVICETYPE=1 "
                          "AND DEVICECODE=3"));
    other->execute(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE=1 AND DEVICECODE=2"));
    for (const data::TextSearch how : ways()) {
        // Pieces counted in characters, one beyond the Basic Multilingual Plane among them.
        EXPECT_EQ(matches(byText("y\"z\U000200001"), how), QStringList{"1/3"});
        EXPECT_EQ(matches(byText("z\U000200001"), how), QStringList{"1/3"});
        EXPECT_EQ(matches(byText("\\y\""), how), QStringList{"1/3"});
        EXPECT_EQ(matches(byText("abc"), how), QStringList{});
        EXPECT_EQ(matches(byText("cam-2"), how), QStringList{});
    }
}

// Texts another program stored in GBK bytes are found as the grids show them, however short,
// in any case, by the index (which keeps up with that program's writes) and by reading; a
// phrase of the index's byte columns is no text of the register.
TEST_P(FindDevice, TextsStoredInGbkAreFoundAsShown) {
    if (GetParam() != db::Engine::SQLite) {
        GTEST_SKIP() << "PostgreSQL decodes what its clients write in GBK";
    }
    const auto gbk = [](const char* text) {
        return QStringLiteral("CAST(X'%1' AS TEXT)")
            .arg(QString::fromLatin1(text::toGbk(QString::fromUtf8(text)).toHex()));
    };
    auto other = db::Database::open(database().connectionString());
    other->execute(QStringLiteral("UPDATE DEVICE SET PHYSICS = %1, COMMDATA = %2 WHERE "
                                  "DEVICETYPE=1 AND DEVICECODE=1")
                       .arg(gbk("北口风机a乤"), gbk("南段")));
    other->execute(QStringLiteral(
        "UPDATE DEVICE SET PHYSICS = '北口CAM' WHERE DEVICETYPE=1 AND DEVICECODE=2"));
    other->execute(QStringLiteral("UPDATE DEVICETYPE SET TYPENAME = %1 WHERE TYPECODE=24")
                       .arg(gbk("网关设备")));
    const struct {
        const char* text;
        QStringList expected;
    } cases[] = {
        {"北", {"1/1", "1/2", "12/5", "24/1"}},
        {"北口", {"1/1", "1/2"}},
        {"北口风机", {"1/1"}},
        {"口风机A", {"1/1"}},
        {"机a乤", {"1/1"}},
        {"南段", {"1/1"}},
        {"关设", {"24/1"}},
        {"东", {}},
        {"B1B1", {}},
        {"北口cam", {"1/2"}},
    };
    for (const data::TextSearch how : ways()) {
        for (const auto& c : cases) {
            EXPECT_EQ(matches(byText(c.text), how), c.expected) << c.text << " way " << int(how);
        }
    }
}

// Held by as many devices as make the database read the register in order instead of asking
// the index, and by one fewer: the same devices are found either way, for a text of three
// characters, of two, and for the name of an area.
TEST_P(FindDevice, ATextHeldByManyDevicesFindsThemAll) {
    database().exec(QString::fromUtf8("INSERT INTO AREA (AREACODE, AREANAME) VALUES (7, '泵房')"));
    for (const int held : {data::kHeldByMany - 1, data::kHeldByMany}) {
        database().exec(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE=27"));
        database().exec(
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < %1) INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, AREACODE, "
                           "PHYSICS) SELECT 27, i, 7, 'pump-' || i FROM n")
                .arg(held));
        for (const char* text : {"mp-", "MP", "泵房"}) {
            for (const data::TextSearch how : ways()) {
                EXPECT_EQ(matches(byText(text), how).size(), held)
                    << text << " held " << held << " way " << int(how);
            }
        }
    }
}

TEST(Stake, ABoundReadsAsKilometreAndMetreUnderAThousand) {
    const struct {
        const char* text;
        std::optional<std::pair<int, int>> stake;
    } cases[] = {
        {" k12+345 ", std::pair(12, 345)}, {"12+999", std::pair(12, 999)},
        {"K12+1000", std::nullopt},        {"K11", std::pair(11, 0)},
        {"K11+", std::pair(11, 0)},        {"12-300", std::nullopt},
        {"K12+3a", std::nullopt},          {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<data::Stake> stake = data::parseStake(QString::fromUtf8(c.text));
        EXPECT_EQ(stake ? std::optional(std::pair(stake->kilometre, stake->metre)) : std::nullopt,
                  c.stake)
            << c.text;
    }
}

// Typed into the window: the matches follow after a pause, a stake that does not read shows the
// hint, Enter on a match closes with its key, Escape with nothing.
TEST_P(FindDevice, TheWindowSearchesAsTheUserTypesAndReturnsTheMatch) {
    devices::TfmFindDevice window(nullptr, context());
    window.show();
    auto* grid = child<QTableView>(window, "DBGrid1");
    EXPECT_EQ(grid->model()->rowCount(), 6);
    QTest::keyClicks(child<QLineEdit>(window, "edText"), QStringLiteral("10.0.0.3"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->model()->rowCount() == 1; }, 3000));
    QTest::keyClicks(child<QLineEdit>(window, "edStakeFrom"), QStringLiteral("K12+1000"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->model()->rowCount() == 0; }, 3000))
        << "no matches shown for bounds that do not read";
    EXPECT_TRUE(child<QLabel>(window, "lbStakeHint")->isVisibleTo(&window));
    EXPECT_FALSE(child<QLabel>(window, "lbNotFound")->isVisibleTo(&window));
    child<QLineEdit>(window, "edStakeFrom")->setText(QStringLiteral("K12"));
    window.searchNow();
    EXPECT_FALSE(child<QLabel>(window, "lbStakeHint")->isVisibleTo(&window));
    EXPECT_TRUE(child<QLabel>(window, "lbNotFound")->isVisibleTo(&window));
    child<QLineEdit>(window, "edStakeFrom")->clear();
    window.searchNow();
    EXPECT_FALSE(child<QLabel>(window, "lbNotFound")->isVisibleTo(&window));
    QApplication::setActiveWindow(&window);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(window.result(), ui::mrOK);
    EXPECT_EQ(window.chosenKey(), (QVariantList{5, 3}));

    devices::TfmFindDevice escaped(nullptr, context());
    escaped.show();
    QApplication::setActiveWindow(&escaped);
    QTest::keyClick(child<QLineEdit>(escaped, "edText"), Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), ui::mrCancel);
    EXPECT_TRUE(escaped.chosenKey().isEmpty());
}

// A match clicked while the search for what was typed waits for the typing to pause stays
// chosen when that search comes, where it is still a match; OK returns it, not the first match.
TEST_P(FindDevice, AMatchChosenBeforeTheSearchCameStaysChosen) {
    devices::TfmFindDevice window(nullptr, context());
    window.show();
    auto* grid = child<QTableView>(window, "DBGrid1");
    ASSERT_EQ(grid->model()->rowCount(), 6);
    const auto searched = [&] { return !child<QLabel>(window, "lbNotFound")->isHidden(); };
    const auto clickRow = [&](int row) {
        const QRect place = grid->visualRect(grid->model()->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, place.center());
    };
    for (const bool stillAMatch : {true, false}) {
        SCOPED_TRACE(stillAMatch);
        child<QLineEdit>(window, "edText")->clear();
        window.searchNow();
        clickRow(stillAMatch ? 4 : 0);  // 12/5, still matched by "1"; 1/1, no longer
        const QString chosen =
            grid->model()->index(grid->currentIndex().row(), 1).data().toString();
        QSignalSpy reads(grid->model(), &QAbstractItemModel::modelReset);
        QTest::keyClicks(child<QLineEdit>(window, "edText"), QStringLiteral("10.0"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reads.isEmpty(); }, 3000));
        ASSERT_FALSE(searched());
        const QString current =
            grid->model()->index(grid->currentIndex().row(), 1).data().toString();
        EXPECT_EQ(current, stillAMatch ? chosen : grid->model()->index(0, 1).data().toString());
    }
    clickRow(1);
    QSignalSpy reads(grid->model(), &QAbstractItemModel::modelReset);
    QTest::keyClicks(child<QLineEdit>(window, "edText"), QStringLiteral(".0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reads.isEmpty(); }, 3000));
    QApplication::setActiveWindow(&window);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(window.chosenKey(), (QVariantList{12, 5}));
}

// Opened from the device list filtered to another type, the match becomes the current row of
// the whole list; one deleted meanwhile is reported as the list reports it.
TEST_P(FindDevice, TheDeviceListReturnsToTheDeviceFound) {
    devices::TfmDeviceMainage list(nullptr, context());
    list.show();
    choose(list, "cbType", QStringLiteral("24-网络IO网关"));
    click(list, "Button1");
    QAction* find = nullptr;
    for (QAction* action : list.actions()) {
        if (action->text() == QStringLiteral("查找(&F)..."))
            find = action;
    }
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    const auto pick = [](const char* text) {
        return [text](QDialog& dialog) {
            child<QLineEdit>(dialog, "edText")->setText(QString::fromUtf8(text));
            static_cast<devices::TfmFindDevice&>(dialog).searchNow();
            click(dialog, "btOK");
            return dialog.result();
        };
    };
    scripts.expect(QStringLiteral("fmFindDevice"), pick("10.0.0.3"));
    find->trigger();
    auto* grid = child<QTableView>(list, "DBGrid1");
    const int row = grid->currentIndex().row();
    EXPECT_EQ(grid->model()->data(grid->model()->index(row, 1)).toString(), QStringLiteral("3"));
    EXPECT_EQ(child<QComboBox>(list, "cbType")->currentText(), QStringLiteral("0-所有设备"));

    auto other = db::Database::open(database().connectionString());
    scripts.expect(QStringLiteral("fmFindDevice"), [&other](QDialog& dialog) {
        child<QLineEdit>(dialog, "edText")->setText(QStringLiteral("CAM-2"));
        static_cast<devices::TfmFindDevice&>(dialog).searchNow();
        other->execute(QStringLiteral("DELETE FROM DEVICE WHERE DEVICETYPE=1 AND DEVICECODE=2"));
        click(dialog, "btOK");
        return dialog.result();
    });
    messages.clear();
    find->trigger();
    EXPECT_TRUE(messages.texts().value(0).contains(QStringLiteral("已不存在")))
        << messages.texts().join(u'\n').toStdString();
}

TUNNEL_ON_EVERY_ENGINE(FindDevice);
