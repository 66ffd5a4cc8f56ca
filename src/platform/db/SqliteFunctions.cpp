#include "platform/db/SqliteFunctions.h"

#include "platform/db/RowsPrint.h"
#include "platform/text/Gbk.h"
#include "platform/text/Json.h"

#include <QByteArray>
#include <QByteArrayView>

#include <sqlite3.h>

namespace tunnel::db {
namespace {

void resultText(sqlite3_context* context, const QByteArray& text) {
    sqlite3_result_text(context, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

QByteArrayView storedBytes(sqlite3_value* value) {
    return {static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value)};
}

// A text or BLOB as the text the windows read from it; any other value as it is.
void storedText(sqlite3_context* context, int, sqlite3_value** values) {
    sqlite3_value* value = values[0];
    const int type = sqlite3_value_type(value);
    if (type != SQLITE_TEXT && type != SQLITE_BLOB) {
        sqlite3_result_value(context, value);
        return;
    }
    const QByteArrayView stored = storedBytes(value);
    if (type == SQLITE_TEXT && stored.isValidUtf8()) {
        sqlite3_result_value(context, value);  // most texts: already what the windows read
        return;
    }
    resultText(context, text::fromStoredText(stored.toByteArray()).toUtf8());
}

void storedTextJson(sqlite3_context* context, int, sqlite3_value** values) {
    sqlite3_value* value = values[0];
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            resultText(context, QByteArrayLiteral("null"));
            return;
        case SQLITE_INTEGER:
            resultText(context, QByteArray::number(sqlite3_value_int64(value)));
            return;
        case SQLITE_FLOAT:
            resultText(context, QByteArray::number(sqlite3_value_double(value), 'g', 17));
            return;
        default:
            resultText(
                context,
                text::jsonString(text::fromStoredText(storedBytes(value).toByteArray())).toUtf8());
    }
}

}  // namespace

void addModuleFunctions(void* connection) {
    addRowsPrint(connection);
    sqlite3_create_function_v2(static_cast<sqlite3*>(connection), "stored_text", 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &storedText, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(static_cast<sqlite3*>(connection), "stored_text_json", 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &storedTextJson,
                               nullptr, nullptr, nullptr);
}

}  // namespace tunnel::db
