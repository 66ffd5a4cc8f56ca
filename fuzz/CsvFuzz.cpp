// A CSV file of any bytes: decoding and reading it never crash, and its records written back with
// every field quoted read back as the same records (cells hold what the text held).
#include "platform/text/Csv.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

using namespace tunnel::text;

namespace {

QString quotedRecords(const CsvTable& table) {
    QString text;
    for (qsizetype record = 0; record < table.records(); ++record) {
        for (qsizetype at = 0; at < table.cells(record); ++at) {
            if (at > 0) {
                text += u',';
            }
            text += u'"' + table.cell(record, at).toString().replace(u'"', QStringLiteral("\"\"")) +
                    u'"';
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Any bytes, read as a register file is: one encoding a file, lines of the other marked.
    const QString text =
        decodeCsvFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)))
            .text;
    CsvTable first;
    try {
        first = parseCsv(text);
    } catch (const std::invalid_argument&) {
        return 0;  // a quote that never closes
    }
    const CsvTable second = parseCsv(quotedRecords(first));
    if (second.records() != first.records()) {
        std::abort();
    }
    for (qsizetype record = 0; record < first.records(); ++record) {
        if (second.cellList(record) != first.cellList(record)) {
            std::abort();
        }
    }
    return 0;
}
