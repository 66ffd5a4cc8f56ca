#pragma once

#include <QStringList>

namespace tunnel::data {

// The installation's tables, in the order they are created.
inline QStringList installationTables() {
    return {
        QStringLiteral("DEVICETYPE"),    QStringLiteral("AREA"),        QStringLiteral("DEVICE"),
        QStringLiteral("NGDEVICEPARAM"), QStringLiteral("NGCONFIG"),    QStringLiteral("PLCCONFIG"),
        QStringLiteral("DEVICESTATUS"),  QStringLiteral("DEVICEALERT"), QStringLiteral("OPERLOG")};
}

}  // namespace tunnel::data
