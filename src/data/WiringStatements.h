#pragma once

#include <QString>

#include <optional>

namespace tunnel::data {

// The gateways of the installation (devices of type 24), of one area when `areaCode` is set.
QString gatewayListStatement(std::optional<int> areaCode);
// The wiring rows of one gateway, as the wiring list links them to the gateway row.
QString gatewayWiringStatement(int gatewayType, int gatewayCode);

// Removing one device's wiring from a gateway: every row of that device there (all of its
// wired parameters), then the device is free for wiring again.
QString deleteDeviceWiringStatement(int gatewayCode, int deviceType, int deviceCode);
QString freeDeviceStatement(int deviceType, int deviceCode);
// How many wiring rows of a device there are, on any gateway (as N), and its wired mark.
QString deviceWiringCountStatement(int deviceType, int deviceCode);
QString deviceCommDataStatement(int deviceType, int deviceCode);

// The port assignment's reads: the wiring catalogue, the rows that take terminals of a gateway
// (of every NGTYPE), and the devices reached through a gateway and not yet wired.
QString wiringCatalogueStatement();
QString gatewayTerminalsStatement(int gatewayCode);
QString freeDevicesStatement();

// One wired parameter as the port assignment stores it; `descript` is quoted for SQL.
struct WiringRow {
    int gatewayCode = 0;
    int portType = 0;
    int portCode = 0;
    int deviceType = 0;
    int deviceCode = 0;
    int param = 0;
    QString descript;
};
QString insertWiringStatement(const WiringRow& row);
QString markDeviceWiredStatement(int deviceType, int deviceCode);

}  // namespace tunnel::data
