#pragma once

#include "devices/DeviceFixture.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>

namespace tunnel::test {

// Gateways and their wiring: gateway 24/1 (area 1) carries fan 7/1 on three terminals, a
// device of a type no catalogue names on a port kind outside 1..4, and a row of another NGTYPE
// on digital input 3; gateways 24/2 (area -4, COMMTYPE 4) and 24/3 (area 2) carry nothing.
// Fans 7/2 and 7/4 are free, 7/3 has no COMMDATA, 5/9 is reached over the network.
class GatewayWindows : public DeviceWindows {
protected:
    void prepare() override {
        DeviceWindows::prepare();
        database().exec(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (7, ' 风机 ')"));
        database().exec(QStringLiteral(
            "INSERT INTO AREA (AREACODE, AREANAME) VALUES (3, '南洞口'), (-4, '备用区')"));
        insertDevice(24, 2, QStringLiteral("1, 11, 0, 1, 60, -4, 1, 'G2', '', '', 1, 4, '', 0"));
        insertDevice(24, 3, QStringLiteral("2, 12, 5, 2, 60, 2, 1, 'G3', '', '', 1, 3, '1', 0"));
        insertDevice(7, 1, QStringLiteral("1, 10, 0, 1, 60, 2, 1, 'F1', '', '', 1, 3, '1', 0"));
        insertDevice(7, 2, QStringLiteral("1, 10, 0, 1, 60, 2, 1, 'F2', '', '', 1, 3, '0', 0"));
        insertDevice(7, 3, QStringLiteral("1, 10, 0, 1, 60, 2, 1, 'F3', '', '', 1, 3, NULL, 0"));
        insertDevice(7, 4, QStringLiteral("1, 10, 0, 1, 60, 2, 1, 'F4', '', '', 1, 3, '', 0"));
        insertDevice(5, 9, QStringLiteral("1, 10, 0, 1, 60, 2, 1, 'L9', '', '', 1, 1, '0', 0"));
        database().exec(QStringLiteral(
            "INSERT INTO NGDEVICEPARAM (DEVICETYPE, PARAM, PORTTYPE, DESCRIPT) VALUES "
            "(7, 1, 1, ' 启动 '), (7, 2, 2, '运行'), (7, 3, 3, '电流'), (7, 4, 9, '异常'), "
            "(7, 5, 2, '故障'), (5, 1, 1, '开关')"));
        database().exec(QStringLiteral(
            "INSERT INTO NGCONFIG (NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, "
            "DEVICEPARAM, DESCRIPT) VALUES "
            "(24, 1, 1, 1, 7, 1, 1, '启动(数字输出)'), (24, 1, 2, 1, 7, 1, 2, '运行(数字输入)'), "
            "(24, 1, 3, 1, 7, 1, 3, '电流(模拟输入)'), (24, 1, 5, 2, 99, 1, 1, 'x'), "
            "(30, 1, 2, 3, 5, 3, 1, 'y')"));
    }

    QStringList wiringRows(const QString& where = QStringLiteral("1=1")) {
        return database().rows(
            QStringLiteral(
                "select NGTYPE, NGCODE, PORTTYPE, PORTCODE, DEVICETYPE, DEVICECODE, DEVICEPARAM, "
                "DESCRIPT from NGCONFIG where %1 order by NGCODE, NGTYPE, PORTTYPE, PORTCODE, "
                "DEVICETYPE, DEVICECODE")
                .arg(where));
    }
};

// Searches from `window` through its Ctrl+F: the search window first offers `offered` devices,
// then takes the match of `text`.
inline void findThroughSearch(ModalScripts& scripts, QWidget& window, int offered,
                              const QString& text) {
    scripts.expect(QStringLiteral("fmFindDevice"), [offered, text](QDialog& dialog) {
        EXPECT_EQ(child<QTableView>(dialog, "DBGrid1")->model()->rowCount(), offered);
        child<QLineEdit>(dialog, "edText")->setText(text);
        QMetaObject::invokeMethod(&dialog, "searchNow");
        click(dialog, "btOK");
        return dialog.result();
    });
    for (QAction* action : window.actions()) {
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_F))
            action->trigger();
    }
    EXPECT_TRUE(scripts.allUsed());
}

inline QString cellOf(QTableView& grid, int row, int column) {
    QAbstractItemModel& model = *grid.model();
    return model.data(model.index(row, column)).toString();
}

inline QStringList itemsOf(QListWidget& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items.append(list.item(i)->text());
    }
    return items;
}

}  // namespace tunnel::test
