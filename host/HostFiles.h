#pragma once

#include <QString>

namespace tunnel::host {

// The host's own files hold the installation's data and its statements: they are the user's
// alone. A folder or file that exists already keeps the permissions it has.
void createPrivateFolder(const QString& path);
void makePrivateFile(const QString& path);

// Appends a line to a log that never grows past `limit` bytes: a full log becomes NAME.1 (and
// NAME.1 NAME.2 ...), keeping `kept` old files.
constexpr qint64 kLogLimit = 10 * 1024 * 1024;
constexpr int kLogsKept = 3;
void appendToLog(const QString& path, const QString& line, qint64 limit = kLogLimit,
                 int kept = kLogsKept);

}  // namespace tunnel::host
