#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tunnel::data {

// What a window of the module receives from the plug-in shell when it is created: the module's
// connection string for its datasets, and the host's statement executor (the message-sign
// window hands its one UPDATE to the host instead of running it).
struct ModuleContext {
    QString connectionString;
    std::function<void(const QByteArray& gbkStatement)> execSqlCmd;
};

}  // namespace tunnel::data
