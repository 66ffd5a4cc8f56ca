#pragma once

#include "platform/db/Engine.h"

#include <QDateTime>
#include <QString>

namespace tunnel::tools {

// A date-time literal the engine reads unambiguously, with milliseconds.
QString dateTimeLiteral(const QDateTime& when, db::Engine engine);

}  // namespace tunnel::tools
