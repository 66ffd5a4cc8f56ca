#pragma once

#include <QString>

#include <optional>

namespace tunnel::host {

// The installation's configuration file: /etc/tunnelhost.conf, or the file TUNNELHOST_CONF
// names (for a trial without root).
QString configurationPath();

// The connection string the configuration file gives on a line "connection = TEXT" that is
// not commented out with '#'; none when the file is missing or gives none.
std::optional<QString> configuredConnectionString(const QString& path);

}  // namespace tunnel::host
