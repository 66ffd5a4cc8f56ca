#include "devices/TfmCmsConfig.h"

#include "data/DeviceStatements.h"
#include "data/OperationLog.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <stdexcept>

namespace tunnel::devices {
namespace {

QList<QCheckBox*> checkRow(QWidget* parent, const char* const names[], const QStringList& captions,
                           int left, int top) {
    QList<QCheckBox*> boxes;
    for (int i = 0; i < captions.size(); ++i) {
        boxes.append(ui::checkBox(parent, names[i], captions[i], left + i * 62, top));
    }
    return boxes;
}

int entryNumber(const QString& entry) {
    bool ok = false;
    const int number = entry.toInt(&ok);
    if (!ok) {
        throw std::invalid_argument(
            QStringLiteral("“%1”不是有效的整数。").arg(entry).toStdString());
    }
    return number;
}

QStringList checkedEntries(const QList<QCheckBox*>& boxes, bool byCaption) {
    QStringList entries;
    for (int i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->isChecked()) {
            entries.append(byCaption ? boxes[i]->text() : QString::number(i + 1));
        }
    }
    return entries;
}

QList<int> numbers(const QStringList& entries) {
    QList<int> result;
    for (const QString& entry : entries)
        result.append(entry.toInt());
    return result;
}

}  // namespace

TfmCmsConfig::TfmCmsConfig(QWidget* owner, const data::ModuleContext& context)
    : Form(QStringLiteral("fmCmsConfig"), QStringLiteral("情报板属性设置"), owner),
      context_(context),
      query_(context.connectionString) {
    setClientSize(472, 303);
    setDesignPosition(314, 219);

    RadioGroup1 = new QGroupBox(QStringLiteral("设备类型"), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(8, 6, 456, 48);
    mountings_ = new QButtonGroup(this);
    const QStringList mountings = {QStringLiteral("门架式"), QStringLiteral("悬臂式"),
                                   QStringLiteral("立柱式")};
    for (int i = 0; i < mountings.size(); ++i) {
        auto* radio = new QRadioButton(mountings[i], RadioGroup1);
        radio->setGeometry(16 + i * 148, 20, 120, 20);
        mountings_->addButton(radio, i);
    }
    mountings_->button(0)->setChecked(true);

    GroupBox1 = new QGroupBox(QStringLiteral("屏参数"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 60, 456, 54);
    ui::label(GroupBox1, QStringLiteral("高度"), 12, 25);
    seHeight = ui::spinEdit(GroupBox1, "seHeight", 44, 22, 70, 1, 1000, 1);
    ui::label(GroupBox1, QStringLiteral("宽度"), 130, 25);
    seWidth = ui::spinEdit(GroupBox1, "seWidth", 162, 22, 70, 1, 1000, 1);
    ui::label(GroupBox1, QStringLiteral("内置图片大小"), 250, 25);
    cbPicSize =
        ui::dropDown(GroupBox1, "cbPicSize", 336, 22, 100,
                     {QStringLiteral("32"), QStringLiteral("48"), QStringLiteral("64")}, true);

    GroupBox2 = new QGroupBox(QStringLiteral("播放参数"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 120, 456, 136);
    static const char* const colourNames[] = {"c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8"};
    static const char* const fontNames[] = {"f1", "f2", "f3", "f4", "f5"};
    static const char* const sizeNames[] = {"s1", "s2", "s3", "s4"};
    ui::label(GroupBox2, QStringLiteral("字体颜色"), 12, 21);
    colours_ = checkRow(GroupBox2, colourNames,
                        {QStringLiteral("红色"), QStringLiteral("绿色"), QStringLiteral("蓝色"),
                         QStringLiteral("黄色")},
                        80, 18);
    colours_ += checkRow(GroupBox2, colourNames + 4,
                         {QStringLiteral("紫色"), QStringLiteral("青色"), QStringLiteral("白色"),
                          QStringLiteral("黑色")},
                         80, 44);
    ui::label(GroupBox2, QStringLiteral("字体"), 12, 77);
    fonts_ = checkRow(GroupBox2, fontNames,
                      {QStringLiteral("黑体"), QStringLiteral("楷体"), QStringLiteral("宋体"),
                       QStringLiteral("仿宋"), QStringLiteral("隶书")},
                      80, 74);
    ui::label(GroupBox2, QStringLiteral("字体大小"), 12, 105);
    sizes_ = checkRow(
        GroupBox2, sizeNames,
        {QStringLiteral("16"), QStringLiteral("24"), QStringLiteral("32"), QStringLiteral("48")},
        80, 102);

    Button1 = ui::button(this, "Button1", QStringLiteral("确定"), 300, 268);
    Button2 = ui::button(this, "Button2", QStringLiteral("取消"), 385, 268);
    QList<QWidget*> order = {mountings_->button(0),
                             mountings_->button(1),
                             mountings_->button(2),
                             seHeight,
                             seWidth,
                             cbPicSize};
    for (auto* box : colours_ + fonts_ + sizes_)
        order.append(box);
    order += {Button1, Button2};
    ui::setTabOrder(order);

    setDefaultButton(Button1);
    setCancelButton(Button2);
    connect(Button1, &QPushButton::clicked, this, [this] { done(ui::mrOK); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

void TfmCmsConfig::formShow() {
    query_.setConnectionString(context_.connectionString);
    LoadProperties();
}

void TfmCmsConfig::LoadProperties() {
    query_.setSql(data::selectSignStatement(DeviceCode));
    query_.open();
    if (query_.isEmpty()) {
        query_.close();
        return;
    }
    const auto present = [this](const char* field) {
        return !query_.isNull(QString::fromLatin1(field));
    };
    if (present("int1")) {
        if (QAbstractButton* mounting =
                mountings_->button(query_.integer(QStringLiteral("int1")))) {
            mounting->setChecked(true);
        }
    }
    if (present("int2"))
        seWidth->setValue(query_.integer(QStringLiteral("int2")));
    if (present("int3"))
        seHeight->setValue(query_.integer(QStringLiteral("int3")));
    if (present("int4"))
        cbPicSize->setEditText(query_.text(QStringLiteral("int4")));
    if (present("char1"))
        checkNumbered(colours_, query_.text(QStringLiteral("char1")));
    if (present("char2"))
        checkNumbered(fonts_, query_.text(QStringLiteral("char2")));
    if (present("char3"))
        checkCaptioned(sizes_, query_.text(QStringLiteral("char3")));
    query_.close();
}

// Entries without a box (a colour of 9, a font of 0) are passed over; an entry that is not a
// number at all is an error, reported by the default error report.
void TfmCmsConfig::checkNumbered(const QList<QCheckBox*>& boxes, const QString& entries) {
    for (const QString& entry : text::splitEntries(entries)) {
        const int number = entryNumber(entry);
        if (number >= 1 && number <= boxes.size()) {
            boxes[number - 1]->setChecked(true);
        }
    }
}

void TfmCmsConfig::checkCaptioned(const QList<QCheckBox*>& boxes, const QString& entries) {
    for (const QString& entry : text::splitEntries(entries)) {
        for (QCheckBox* box : boxes) {
            if (box->text() == entry) {
                box->setChecked(true);
                break;
            }
        }
    }
}

bool TfmCmsConfig::formClose(int result) {
    if (result != ui::mrOK) {
        return true;
    }
    bool ok = false;
    const int pictureSize = cbPicSize->currentText().toInt(&ok);
    if (!ok) {
        ui::messageBox(QStringLiteral("请输入一个合法的整数"), QStringLiteral("错误"),
                       ui::mb::IconStop, this);
        cbPicSize->setFocus();
        return false;
    }
    data::SignProperties sign;
    sign.mounting = std::max(mountings_->checkedId(), 0);
    sign.width = seWidth->value();
    sign.height = seHeight->value();
    sign.pictureSize = pictureSize;
    sign.colours = numbers(checkedEntries(colours_, false));
    sign.fonts = numbers(checkedEntries(fonts_, false));
    sign.sizes = checkedEntries(sizes_, true);
    if (context_.execSqlCmd) {
        const QVariantList before = data::storedSign(query_.database(), DeviceCode);
        context_.execSqlCmd(text::toGbk(data::updateSignStatement(sign, DeviceCode)));
        data::logSignHandedToHost(query_.database(), DeviceCode, before, sign);
    }
    return true;
}

}  // namespace tunnel::devices
