#pragma once

#include "platform/db/Engine.h"

#include <QDateTime>
#include <QString>

namespace tunnel::tools {

// A date-time as a value to bind, in a text the engine reads unambiguously, with milliseconds.
QString dateTimeValue(const QDateTime& when, db::Engine engine);

}  // namespace tunnel::tools
