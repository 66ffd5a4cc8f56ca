#include "ConfiguredDatabase.h"

#include <QFile>
#include <QRegularExpression>

namespace tunnel::host {

QString configurationPath() {
    const QString named = qEnvironmentVariable("TUNNELHOST_CONF");
    return named.isEmpty() ? QStringLiteral("/etc/tunnelhost.conf") : named;
}

std::optional<QString> configuredConnectionString(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    // A connection string holds ';' and '=' of its own: only the key's first '=' separates.
    static const QRegularExpression line(QStringLiteral("^\\s*connection\\s*=\\s*(.*?)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    std::optional<QString> found;
    while (!file.atEnd()) {
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(file.readLine()));
        if (match.hasMatch() && !match.captured(1).isEmpty()) {
            found = match.captured(1);
        }
    }
    return found;
}

}  // namespace tunnel::host
