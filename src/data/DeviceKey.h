#pragma once

#include <QtGlobal>

namespace tunnel::data {

// A device's type and number as one number, for looking devices up in a hash.
inline qint64 deviceKey(int type, int code) {
    return (static_cast<qint64>(type) << 32) | static_cast<quint32>(code);
}

}  // namespace tunnel::data
