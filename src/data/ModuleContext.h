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
    // Whether the host grants the operator a right (below): what a window offers beyond its
    // own function asks for it. None given grants nothing.
    std::function<bool(int right)> hasRight = {};

    bool grants(int right) const { return hasRight && hasRight(right); }
};

// The host's rights the module's functions ask for.
namespace rights {
constexpr int kConfiguration = 5;
constexpr int kStateHistory = 12;
}  // namespace rights

}  // namespace tunnel::data
