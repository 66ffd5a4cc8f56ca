#include "devices/TfmAddDevice.h"

#include "data/CodeName.h"
#include "data/DeviceStatements.h"
#include "data/OperationLog.h"
#include "platform/db/DbError.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextRules.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DuplicateRefusal.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "platform/ui/StoredValues.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tunnel::devices {
namespace {

constexpr int kLeftLabel = 16;
constexpr int kLeftField = 84;
constexpr int kRightLabel = 250;
constexpr int kRightField = 318;
constexpr int kFieldWidth = 140;

int rowTop(int row) {
    return 16 + row * 36;
}

void showError(const QString& text) {
    ui::messageBox(text, QStringLiteral("错误"), ui::mb::IconStop);
}

}  // namespace

TfmAddDevice::TfmAddDevice(QWidget* owner, const data::ModuleContext& context)
    : DeviceForm(QStringLiteral("fmAddDevice"), QStringLiteral("设备数据"), owner, context) {
    setClientSize(476, 290);
    ui::label(this, QStringLiteral("设备类型"), kLeftLabel, rowTop(0) + 3);
    cbType = ui::dropDown(this, "cbType", kLeftField, rowTop(0), kFieldWidth);
    cbType->setMaxVisibleItems(100);
    ui::label(this, QStringLiteral("设备编号"), kRightLabel, rowTop(0) + 3);
    seCode = ui::spinEdit(this, "seCode", kRightField, rowTop(0), kFieldWidth, 1, 999, 1);

    ui::label(this, QStringLiteral("所在位置"), kLeftLabel, rowTop(1) + 3);
    cbPos = ui::dropDown(this, "cbPos", kLeftField, rowTop(1), kFieldWidth,
                         {QStringLiteral("1-上行"), QStringLiteral("2-下行")});
    ui::label(this, QStringLiteral("桩号"), kRightLabel, rowTop(1) + 3);
    seMili = ui::spinEdit(this, "seMili", kRightField, rowTop(1), 50, 1, 65535, 1);
    ui::label(this, QStringLiteral("KM"), kRightField + 52, rowTop(1) + 3);
    seMeter = ui::spinEdit(this, "seMeter", kRightField + 72, rowTop(1), 50, 1, 65535, 1);
    ui::label(this, QStringLiteral("M"), kRightField + 124, rowTop(1) + 3);

    ui::label(this, QStringLiteral("当前状态"), kLeftLabel, rowTop(2) + 3);
    cbStatus = ui::dropDown(this, "cbStatus", kLeftField, rowTop(2), kFieldWidth,
                            {QStringLiteral("1-正常"), QStringLiteral("2-故障"),
                             QStringLiteral("3-通讯断"), QStringLiteral("4-停用")});
    ui::label(this, QStringLiteral("采集周期"), kRightLabel, rowTop(2) + 3);
    seCycle = ui::spinEdit(this, "seCycle", kRightField, rowTop(2), kFieldWidth, 1, 65535, 60);

    ui::label(this, QStringLiteral("视频端口"), kLeftLabel, rowTop(3) + 3);
    seVideo = ui::spinEdit(this, "seVideo", kLeftField, rowTop(3), kFieldWidth, 1, 65535, 1);
    ui::label(this, QStringLiteral("物理编号"), kRightLabel, rowTop(3) + 3);
    edPhysics = ui::editBox(this, "edPhysics", kRightField, rowTop(3), kFieldWidth);

    ui::label(this, QStringLiteral("起止桩号"), kLeftLabel, rowTop(4) + 3);
    edBeginPos = ui::editBox(this, "edBeginPos", kLeftField, rowTop(4), kFieldWidth);
    ui::label(this, QStringLiteral("终止桩号"), kRightLabel, rowTop(4) + 3);
    edEndPos = ui::editBox(this, "edEndPos", kRightField, rowTop(4), kFieldWidth);

    ui::label(this, QStringLiteral("所在区域"), kLeftLabel, rowTop(5) + 3);
    cbArea = ui::dropDown(this, "cbArea", kLeftField, rowTop(5), kFieldWidth);
    ui::label(this, QStringLiteral("位置描述"), kRightLabel, rowTop(5) + 3);
    cbSide = ui::dropDown(this, "cbSide", kRightField, rowTop(5), kFieldWidth,
                          {QStringLiteral("0-无"), QStringLiteral("1-内"), QStringLiteral("2-外")});

    ui::bevelLine(this, 240);
    Button1 = ui::button(this, "Button1", QStringLiteral("确认(&D)"), 300, 252);
    Button2 = ui::button(this, "Button2", QStringLiteral("取消(&C)"), 385, 252);
    ui::numberItems(*cbPos, 1);
    ui::numberItems(*cbStatus, 1);
    ui::numberItems(*cbSide, 0);
    ui::setTabOrder({cbType, seCode, cbPos, seMili, seMeter, cbStatus, seCycle, seVideo, edPhysics,
                     edBeginPos, cbArea, cbSide, Button1, Button2, edEndPos});

    onClick(Button1, &TfmAddDevice::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
}

void TfmAddDevice::fillCodedList(QComboBox* list, const QString& sql, const QString& codeField,
                                 const QString& nameField) {
    list->clear();
    data::CodeNameList catalogue;
    catalogue.read(query_, sql, codeField, nameField);
    ui::addCodedItems(*list, catalogue.codedItems(), catalogue.codes());
    list->setCurrentIndex(-1);
}

void TfmAddDevice::formShow() {
    fillCodedList(cbType, QStringLiteral("SELECT * FROM DEVICETYPE "), QStringLiteral("TYPECODE"),
                  QStringLiteral("TYPENAME"));
    fillCodedList(cbArea, QStringLiteral("SELECT * FROM AREA "), QStringLiteral("AREACODE"),
                  QStringLiteral("AREANAME"));
    cbPos->setCurrentIndex(0);
    cbSide->setCurrentIndex(0);
    cbStatus->setCurrentIndex(0);
    KeptCommType = 0;
    KeptCommData.clear();
    KeptProtocol = 0;
    if (hasDevice()) {
        LoadDevice();
    }
}

// Every value shows as stored, also one the boxes and lists do not offer, so that a confirm
// that changes nothing writes the row back as it was.
void TfmAddDevice::LoadDevice() {
    ui::selectCode(*cbType, KeyType);
    ui::holdStoredValue(*seCode, KeyCode);
    query_.setSql(data::selectDeviceStatement(KeyType, KeyCode));
    query_.open();
    if (!query_.isEmpty()) {
        const auto stored = [this](const char* field) {
            return query_.integer(QString::fromLatin1(field));
        };
        ui::selectCode(*cbPos, stored("POSITION"));
        ui::holdStoredValue(*seMili, stored("MILIMETER"));
        ui::holdStoredValue(*seMeter, stored("METER"));
        ui::selectCode(*cbStatus, stored("STATUS"));
        ui::holdStoredValue(*seCycle, stored("CYCLE"));
        ui::holdStoredValue(*seVideo, stored("VIDEO"));
        edPhysics->setText(query_.text(QStringLiteral("PHYSICS")));
        edBeginPos->setText(query_.text(QStringLiteral("BEGINPOS")));
        edEndPos->setText(query_.text(QStringLiteral("ENDPOS")));
        const int area = stored("AREACODE");
        if (area == 0 && cbArea->findData(0) < 0) {
            cbArea->setCurrentIndex(-1);  // no area
        } else {
            ui::selectCode(*cbArea, area);
        }
        ui::selectCode(*cbSide, stored("SIDE"));
        KeptCommType = stored("COMMTYPE");
        KeptCommData = query_.text(QStringLiteral("COMMDATA"));
        KeptProtocol = stored("PROTOCOL");
    }
    query_.close();
}

void TfmAddDevice::Button1Click() {
    for (const QComboBox* list : {cbType, cbSide, cbStatus, cbPos}) {
        if (list->currentText().isEmpty()) {
            showError(QStringLiteral("条件不完整,请补全！"));
            return;
        }
    }
    if (!numbersInRange()) {
        return;
    }
    if (hasDevice() ? UpdateDevice() : InsertDevice()) {
        done(ui::mrOK);
    }
}

// A stored value the box was widened for may stay; anything else the user set keeps to the
// window's ranges.
bool TfmAddDevice::numbersInRange() {
    const std::pair<const QSpinBox*, const char16_t*> boxes[] = {
        {seCode, u"设备编号"},  {seMili, u"桩号公里数"}, {seMeter, u"桩号米数"},
        {seCycle, u"采集周期"}, {seVideo, u"视频端口"},
    };
    for (const auto& [box, name] : boxes) {
        if (!ui::keepsToRange(*box)) {
            showError(QStringLiteral("%1应在 %2 之间，请检查！")
                          .arg(QString::fromUtf16(name), ui::designedRange(*box)));
            return false;
        }
    }
    return true;
}

bool TfmAddDevice::lengthsFit() {
    struct Check {
        const QLineEdit* edit;
        qsizetype limit;
        const char16_t* message;
    };
    const Check checks[] = {
        {edPhysics, 20, u"所输入的物理编号数据过长，请检查！"},
        {edBeginPos, 10, u"所输入的设备开始位置数据过长，请检查！"},
        {edEndPos, 10, u"所输入的设备结束位置数据过长，请检查！"},
    };
    for (const Check& check : checks) {
        if (text::gbkByteLength(text::trimmed(check.edit->text())) > check.limit) {
            showError(QString::fromUtf16(check.message));
            return false;
        }
    }
    return true;
}

data::DeviceRecord TfmAddDevice::record() const {
    data::DeviceRecord d;
    d.deviceType = QString::number(ui::chosenCode(*cbType).value_or(0));
    d.deviceCode = seCode->value();
    d.position = ui::chosenCode(*cbPos).value_or(1);
    d.kilometres = seMili->value();
    d.metres = seMeter->value();
    d.status = ui::chosenCode(*cbStatus).value_or(1);
    d.cycle = seCycle->value();
    d.areaCode = QString::number(ui::chosenCode(*cbArea).value_or(0));
    d.video = seVideo->value();
    d.physics = text::trimmed(edPhysics->text());
    d.beginPos = text::trimmed(edBeginPos->text());
    d.endPos = text::trimmed(edEndPos->text());
    d.side = ui::chosenCode(*cbSide).value_or(0);
    d.commType = KeptCommType;
    d.commData = KeptCommData;
    d.protocol = KeptProtocol;
    return d;
}

// The statement and its log row in one transaction; a duplicate is told once both are gone.
bool TfmAddDevice::send(const QString& statement) {
    const data::DeviceRecord written = record();
    const data::RowChange change = data::deviceChange(
        data::funcCode::kDeviceList, hasDevice() ? QStringLiteral("修改") : QStringLiteral("增加"),
        hasDevice() ? data::deviceWhere(KeyType, KeyCode) : QString(),
        data::deviceWhere(written.deviceType.toInt(), written.deviceCode));
    return ui::refusingDuplicates(
        [&] {
            return data::writeLogged(query_.database(), change, [&] {
                query_.setSql(statement);
                query_.execute();
                query_.close();
                return true;
            });
        },
        {QStringLiteral("所输入的设备已存在,请输入其它设备！"), QStringLiteral("错误"),
         ui::mb::IconStop});
}

bool TfmAddDevice::InsertDevice() {
    return lengthsFit() && send(data::insertDeviceStatement(record()));
}

bool TfmAddDevice::UpdateDevice() {
    return lengthsFit() && send(data::updateDeviceStatement(record(), KeyType, KeyCode));
}

QVariantList TfmAddDevice::writtenKey() const {
    const data::DeviceRecord written = record();
    return {written.deviceType.toInt(), written.deviceCode};
}

bool TfmAddDevice::formClose(int) {
    query_.close();
    return true;
}

}  // namespace tunnel::devices
