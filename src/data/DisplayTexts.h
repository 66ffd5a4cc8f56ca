#pragma once

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

// "K" kilometres "+" metres, each as its decimal digits (empty when NULL), cut to 10 characters.
QString StakeText(const QVariant& kilometres, const QVariant& metres);

}  // namespace tunnel::data
