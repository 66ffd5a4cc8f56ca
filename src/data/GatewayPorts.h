#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

#include <array>

namespace tunnel::data {

// A gateway's terminal space: four port kinds (1 digital output, 2 digital input, 3 analogue
// input, 4 serial port) of eight terminals each, numbered 1 to 8.
constexpr int kPortKinds = 4;
constexpr int kTerminalsPerKind = 8;

bool isPortKind(int portType);
bool isTerminal(int portType, int portCode);
// "数字输出" ... "串行端口"; the empty text for a code outside 1..4.
QString PortTypeText(int portType);
// "(数字输出)" ... "(串行端口)"; nothing for a code outside 1..4.
QString PortTypeSuffix(int portType);

// One wiring parameter of a device type: the port kind it needs, the terminal pending for it
// (0 while none) and its text, the catalogue's description with the port kind's suffix.
struct TConnectParam {
    int Param = 0;
    int PortType = 0;
    int PortCode = 0;
    QString Text;
};

// One device type of the wiring catalogue with its parameters in catalogue order.
struct TDeviceParam {
    int TypeCode = 0;
    QString TypeName;
    QVector<TConnectParam> Params;
};

// The port assignment of one device to one gateway while the operator builds it: which
// terminals are taken (by stored rows or by pending assignments) and which parameters of the
// chosen type are assigned to which terminal. Nothing here touches the database.
class PortAssignment {
public:
    // Appends a catalogue row read in (device type, parameter) order. A parameter whose port
    // kind has no terminals cannot be wired and is left out; its type is still offered.
    void addCatalogueRow(int typeCode, const QString& typeName, int param, int portType,
                         const QString& descript);
    const QVector<TDeviceParam>& catalogue() const { return Catalogue; }

    // A stored row of the gateway takes its terminal; rows outside the terminal space take none.
    void takeStoredTerminal(int portType, int portCode);

    // The gateway's stored rows as read afresh (another station may have wired it meanwhile):
    // their terminals are taken, a pending assignment on one of them goes back to unassigned,
    // the other pending assignments stay.
    void retakeStoredTerminals(const QList<QPair<int, int>>& stored);

    // The parameters of the type become the work list; the terminals pending for the type
    // chosen before are free again at once.
    void chooseType(int typeCode);
    const QVector<TConnectParam>& workParams() const { return WorkParams; }
    bool hasPending() const;

    // The terminals still free for the parameter's port kind, in terminal order.
    QList<int> freeTerminalsFor(int param) const;
    // Assigns the parameter to a free terminal of its kind; false when it cannot be.
    bool assign(int param, int terminal);
    void release(int param);
    void releaseAll();

private:
    bool& taken(int portType, int portCode);
    TConnectParam* find(int param);

    QVector<TDeviceParam> Catalogue;
    QVector<TConnectParam> WorkParams;
    std::array<std::array<bool, kTerminalsPerKind>, kPortKinds> PortLists{};
};

}  // namespace tunnel::data
