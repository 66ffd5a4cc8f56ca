#include "data/GatewayPorts.h"

#include "platform/text/TextRules.h"

#include <algorithm>

namespace tunnel::data {

bool isPortKind(int portType) {
    return portType >= 1 && portType <= kPortKinds;
}

bool isTerminal(int portType, int portCode) {
    return isPortKind(portType) && portCode >= 1 && portCode <= kTerminalsPerKind;
}

QString PortTypeText(int portType) {
    switch (portType) {
        case 1:
            return QStringLiteral("数字输出");
        case 2:
            return QStringLiteral("数字输入");
        case 3:
            return QStringLiteral("模拟输入");
        case 4:
            return QStringLiteral("串行端口");
        default:
            return {};
    }
}

QString PortTypeSuffix(int portType) {
    return isPortKind(portType) ? u'(' + PortTypeText(portType) + u')' : QString();
}

void PortAssignment::addCatalogueRow(int typeCode, const QString& typeName, int param, int portType,
                                     const QString& descript) {
    if (Catalogue.isEmpty() || Catalogue.last().TypeCode != typeCode) {
        Catalogue.append({typeCode, typeName, {}});
    }
    if (isPortKind(portType)) {
        Catalogue.last().Params.append(
            {param, portType, 0, text::trimmed(descript) + PortTypeSuffix(portType)});
    }
}

void PortAssignment::takeStoredTerminal(int portType, int portCode) {
    if (isTerminal(portType, portCode)) {
        taken(portType, portCode) = true;
    }
}

void PortAssignment::retakeStoredTerminals(const QList<QPair<int, int>>& stored) {
    PortLists = {};
    for (const auto& [portType, portCode] : stored) {
        takeStoredTerminal(portType, portCode);
    }
    for (TConnectParam& p : WorkParams) {
        if (p.PortCode == 0) {
            continue;
        }
        if (taken(p.PortType, p.PortCode)) {
            p.PortCode = 0;
        } else {
            taken(p.PortType, p.PortCode) = true;
        }
    }
}

void PortAssignment::chooseType(int typeCode) {
    releaseAll();
    WorkParams.clear();
    for (const TDeviceParam& entry : Catalogue) {
        if (entry.TypeCode == typeCode) {
            WorkParams = entry.Params;
            return;
        }
    }
}

bool PortAssignment::hasPending() const {
    return std::any_of(WorkParams.begin(), WorkParams.end(),
                       [](const TConnectParam& p) { return p.PortCode != 0; });
}

QList<int> PortAssignment::freeTerminalsFor(int param) const {
    QList<int> terminals;
    for (const TConnectParam& p : WorkParams) {
        if (p.Param != param) {
            continue;
        }
        for (int terminal = 1; terminal <= kTerminalsPerKind; ++terminal) {
            if (!PortLists[p.PortType - 1][terminal - 1]) {
                terminals.append(terminal);
            }
        }
        break;
    }
    return terminals;
}

bool PortAssignment::assign(int param, int terminal) {
    TConnectParam* p = find(param);
    if (p == nullptr || p->PortCode != 0 || !isTerminal(p->PortType, terminal) ||
        taken(p->PortType, terminal)) {
        return false;
    }
    p->PortCode = terminal;
    taken(p->PortType, terminal) = true;
    return true;
}

void PortAssignment::release(int param) {
    TConnectParam* p = find(param);
    if (p != nullptr && p->PortCode != 0) {
        taken(p->PortType, p->PortCode) = false;
        p->PortCode = 0;
    }
}

void PortAssignment::releaseAll() {
    for (const TConnectParam& p : WorkParams) {
        release(p.Param);
    }
}

bool& PortAssignment::taken(int portType, int portCode) {
    return PortLists[portType - 1][portCode - 1];
}

TConnectParam* PortAssignment::find(int param) {
    for (TConnectParam& p : WorkParams) {
        if (p.Param == param) {
            return &p;
        }
    }
    return nullptr;
}

}  // namespace tunnel::data
