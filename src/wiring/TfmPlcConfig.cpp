#include "wiring/TfmPlcConfig.h"
#include "data/OperationLog.h"

#include <QComboBox>
#include <QTableView>

namespace tunnel::wiring {
namespace {

PlcWording wording() {
    return {"fmPlcConfig",
            QStringLiteral("PLC配置"),
            data::PlcWords::Registers,
            {QStringLiteral("PLC编号"), QStringLiteral("寄存器类型"), QStringLiteral("寄存器号"),
             QStringLiteral("寄存器位"), QStringLiteral("设备类型"), QStringLiteral("设备编号"),
             QStringLiteral("设备参数")},
            {QStringLiteral("PLC编号"), QStringLiteral("寄存器类型"), QStringLiteral("寄存器号"),
             QStringLiteral("寄存器位"), QStringLiteral("连接设备类型"),
             QStringLiteral("连接设备编号"), QStringLiteral("连接参数描述")},
            {74, 72, 69, 68, 125, 102, 257},
            data::funcCode::kPlcMapping};
}

}  // namespace

TfmPlcConfig::TfmPlcConfig(QWidget* owner, const data::ModuleContext& context)
    : PlcMappingWindow(owner, context, wording()) {
    cbRType->addItems({QStringLiteral("v"), QStringLiteral("i")});
    cbRCode->addItems(numberItems(8));
    cbRBit->addItems(numberItems(8));
    // The grid has no menu of its own: the map and the copy are offered there.
    DBGrid1->addAction(registerMapAction());
    DBGrid1->setContextMenuPolicy(Qt::ActionsContextMenu);
}

int TfmPlcConfig::GetRegisterTypeCode(const QString& text) {
    return text == u"v" ? 1 : 2;
}

std::optional<int> TfmPlcConfig::shownRegisterType(const QString& text) const {
    if (text == u"v" || text == u"i") {
        return GetRegisterTypeCode(text);
    }
    return std::nullopt;
}

QVector<data::RegisterRow> TfmPlcConfig::registerRows() const {
    QVector<data::RegisterRow> rows;
    for (const auto& [text, code] : {std::pair{"v", 1}, std::pair{"i", 2}}) {
        for (int number = 0; number < 8; ++number) {
            rows.append({QString::fromLatin1(text) + QString::number(number), code, number});
        }
    }
    return rows;
}

}  // namespace tunnel::wiring
