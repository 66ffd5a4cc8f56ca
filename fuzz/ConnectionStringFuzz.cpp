// The connection-string parser on any text around a password: it never crashes, and no error
// text ever holds the password, whatever the shape of the text around it.
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"

#include <cstdint>
#include <cstdlib>

using namespace tunnel::db;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Spaces and "!" make it no provider name, which is the one text an error may echo.
    static const QString secret = QStringLiteral("Pw7 Secret!");
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = text.size() / 2;
    for (const QString& candidate :
         {text.left(cut) + QStringLiteral("Password=") + secret + text.mid(cut),
          text.left(cut) + QStringLiteral("Pwd='") + secret + QStringLiteral("';") + text.mid(cut),
          QStringLiteral("Provider=") + text.left(cut) + QStringLiteral(" Password=") + secret}) {
        try {
            const ConnectionSettings settings = ConnectionSettings::parse(candidate);
            if (settings.describe().contains(secret)) {
                std::abort();
            }
        } catch (const DbError& error) {
            if (error.message().contains(secret) ||
                QString::fromUtf8(error.what()).contains(secret)) {
                std::abort();
            }
        }
    }
    return 0;
}
