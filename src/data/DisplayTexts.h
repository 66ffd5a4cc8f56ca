#pragma once

#include "platform/db/ValueText.h"

#include <QString>
#include <QVariant>

namespace tunnel::data {

// The words the device columns show for their stored codes; a code no table lists (0 and
// negative ones included) gets the table's last word.
QString PositionText(int code);
QString SideText(int code);
QString StatusText(int code);
QString CommTypeText(int code);
QString ProtocolText(int code);
// The gateway list's own words for COMMTYPE: no word of its own for 4, which is "未使用" there.
QString GatewayListCommTypeText(int code);

// The state history's own words for a state (they differ from StatusText in code 3).
QString StateHistoryText(int code);
// An alert row's flag: "报警" for a value above 0, "取消" otherwise (no value included).
QString AlertTypeText(int code);

// A coded column's display text for a stored value (NULL reads as code 0).
template <QString (*Text)(int)>
QString codedText(const QVariant& value) {
    return Text(db::integerOf(value));
}

// "K" kilometres "+" metres, each as its decimal digits (empty when NULL), cut to 10 characters.
QString StakeText(const QVariant& kilometres, const QVariant& metres);

}  // namespace tunnel::data
