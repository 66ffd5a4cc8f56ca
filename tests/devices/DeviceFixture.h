#pragma once

#include "data/ModuleContext.h"
#include "platform/text/Gbk.h"
#include "support/MessageRecorder.h"
#include "support/ModalScripts.h"
#include "support/TestDatabase.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace tunnel::test {

// A small register: catalogues, a few devices of the types the windows treat apart (12 message
// sign, 24 gateway), and the host's statement executor recorded.
class DeviceWindows : public EngineTest {
protected:
    void prepare() override {
        database().exec(QStringLiteral(
            "INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (1, '摄像机'), (5, '照明回路  '), "
            "(12, '可变情报板'), (24, '网络IO网关')"));
        database().exec(QStringLiteral(
            "INSERT INTO AREA (AREACODE, AREANAME) VALUES (1, '北洞口'), (2, '隧道段')"));
        insertDevice(
            5, 3,
            QStringLiteral(
                "2, 10, 470, 1, 60, 2, 1, 'L3', 'K10+470', 'K10+520', 1, 1, '10.0.0.3', 2"));
        insertDevice(12, 5,
                     QStringLiteral("1, 10, 100, 2, 60, 1, 1, 'S5', '', '', 2, 1, '10.0.0.5', 1"));
        insertDevice(24, 1, QStringLiteral("1, 10, 50, 1, 60, 1, 1, 'G1', '', '', 2, 3, '1', 0"));
    }

    // Values after the key, in the editor's column order from POSITION to PROTOCOL.
    void insertDevice(int type, int code, const QString& values) {
        database().exec(
            QStringLiteral(
                "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, POSITION, MILIMETER, METER, "
                "STATUS, CYCLE, AREACODE, VIDEO, PHYSICS, BEGINPOS, ENDPOS, SIDE, "
                "COMMTYPE, COMMDATA, PROTOCOL) VALUES (%1, %2, %3)")
                .arg(type)
                .arg(code)
                .arg(values));
    }

    QString device(int type, int code, const QString& columns) {
        const QStringList rows =
            database().rows(QStringLiteral("select %1 from DEVICE where DEVICETYPE=%2 and "
                                           "DEVICECODE=%3")
                                .arg(columns)
                                .arg(type)
                                .arg(code));
        return rows.isEmpty() ? QStringLiteral("<none>") : rows.front();
    }

    QStringList allDevices() {
        return database().rows(QStringLiteral(
            "select DEVICETYPE, DEVICECODE from DEVICE order by DEVICETYPE, DEVICECODE"));
    }

    data::ModuleContext context() {
        return {database().connectionString(), [this](const QByteArray& statement) {
                    hostStatements.append(text::fromGbk(statement));
                }};
    }

    MessageRecorder messages;
    ModalScripts scripts;
    QStringList hostStatements;
};

template <typename Control>
Control* child(QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(QString::fromLatin1(name));
    if (control == nullptr) {
        ADD_FAILURE() << "no control " << name;
    }
    return control;
}

// The action of a widget's context menu with this text.
inline QAction* actionTitled(QWidget& widget, const QString& text) {
    for (QAction* action : widget.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
}

inline void click(QWidget& window, const char* name) {
    child<QAbstractButton>(window, name)->click();
}

inline void choose(QWidget& window, const char* name, const QString& item) {
    auto* list = child<QComboBox>(window, name);
    const int index = list->findText(item);
    ASSERT_GE(index, 0) << "no item " << item.toStdString() << " in " << name;
    list->setCurrentIndex(index);
}

inline void typeInto(QWidget& window, const char* name, const QString& text) {
    if (auto* edit = window.findChild<QLineEdit*>(QString::fromLatin1(name))) {
        edit->setText(text);
    } else {
        child<QComboBox>(window, name)->setEditText(text);
    }
}

}  // namespace tunnel::test
