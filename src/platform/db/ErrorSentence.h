#pragma once

#include "platform/db/Engine.h"

#include <QString>

namespace tunnel::db {

// The errors an installation meets when a connection points at the wrong file or at a database
// without the system's tables, or when the file may only be read, said as one Chinese sentence
// of what it means and what to do (the engine's own text follows it for whoever supports the
// operators); empty for any other error. `where` names the database (ConnectionSettings::
// describe).
QString errorSentence(Engine engine, const QString& nativeCode, const QString& text,
                      const QString& where);

}  // namespace tunnel::db
