#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <memory>

class QWidget;

namespace tunnel::db {
class Database;
}

namespace tunnel::host {

// What the host offers the plug-in through its callbacks: its own connection for statements
// handed over, the rights of the current user, its work folder and its log.
class HostServices {
public:
    static HostServices& instance();

    void setConnectionString(const QString& connectionString);
    void denyRight(int right) { deniedRights_.insert(right); }
    void setWorkPath(const QString& path);
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    bool executeStatement(const QString& statement);
    bool hasRight(int right) const { return !deniedRights_.contains(right); }
    const char* workPathGbk() const { return workPathGbk_.constData(); }
    QWidget* mainWindow() const { return mainWindow_; }
    void log(const QString& line);

private:
    QString connectionString_;
    std::shared_ptr<db::Database> db_;
    QSet<int> deniedRights_;
    QString workPath_;
    QByteArray workPathGbk_;
    QWidget* mainWindow_ = nullptr;
};

}  // namespace tunnel::host
