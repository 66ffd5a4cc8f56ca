// The sign window's list texts (colours, fonts, sizes) on any text: it never crashes, no entry is
// empty or holds a separator, and the entries written as a list read back as themselves.
#include "platform/text/TextRules.h"

#include <cstdint>
#include <cstdlib>

using namespace tunnel::text;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList entries = splitEntries(text);
    for (const QString& entry : entries) {
        if (entry.isEmpty() || entry.contains(u',') || trimmed(entry) != entry) {
            std::abort();
        }
    }
    if (splitEntries(entries.join(u',')) != entries) {
        std::abort();
    }
    return 0;
}
