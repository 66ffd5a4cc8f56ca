// The serial settings text of the connection window on any text: it never crashes, and what it
// reads, written back, reads back the same (the written form is a fixed point).
#include "data/DeviceStatements.h"

#include <cstdint>
#include <cstdlib>

using namespace tunnel::data;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString once = serialSettingsText(parseSerialSettings(text));
    const QString twice = serialSettingsText(parseSerialSettings(once));
    if (once != twice) {
        std::abort();
    }
    return 0;
}
