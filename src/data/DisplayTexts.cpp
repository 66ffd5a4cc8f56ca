#include "data/DisplayTexts.h"

#include "platform/db/ValueText.h"

namespace tunnel::data {
namespace {

QString numberText(const QVariant& value) {
    return value.isNull() ? QString() : QString::number(db::integerOf(value));
}

}  // namespace

QString PositionText(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("上行");
        case 2:
            return QStringLiteral("下行");
        default:
            return QStringLiteral("未定义");
    }
}

QString SideText(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("内");
        case 2:
            return QStringLiteral("外");
        default:
            return QStringLiteral("无");
    }
}

QString StateHistoryText(int code) {
    return code == 3 ? QStringLiteral("通讯故障") : StatusText(code);
}

QString AlertTypeText(int code) {
    return code > 0 ? QStringLiteral("报警") : QStringLiteral("取消");
}

QString GatewayListCommTypeText(int code) {
    return code == 4 ? QStringLiteral("未使用") : CommTypeText(code);
}

QString StatusText(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("正常");
        case 2:
            return QStringLiteral("故障");
        case 3:
            return QStringLiteral("通讯断");
        case 4:
            return QStringLiteral("停用");
        default:
            return QStringLiteral("未知");
    }
}

QString CommTypeText(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("网络");
        case 2:
            return QStringLiteral("串口");
        case 3:
            return QStringLiteral("网关");
        case 4:
            return QStringLiteral("PLC");
        default:
            return QStringLiteral("未使用");
    }
}

QString ProtocolText(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("1.0");
        case 2:
            return QStringLiteral("2.0");
        default:
            return QStringLiteral("无");
    }
}

QString StakeText(const QVariant& kilometres, const QVariant& metres) {
    return (u'K' + numberText(kilometres) + u'+' + numberText(metres)).left(10);
}

}  // namespace tunnel::data
