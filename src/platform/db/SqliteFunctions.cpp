#include "platform/db/SqliteFunctions.h"

#include "platform/db/RowsPrint.h"
#include "platform/text/Gbk.h"
#include "platform/text/Json.h"

#include <QByteArray>

#include <sqlite3.h>

namespace tunnel::db {
namespace {

void resultText(sqlite3_context* context, const QByteArray& text) {
    sqlite3_result_text(context, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isUtf8(const unsigned char* bytes, int size) {
    int i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + more >= size) {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            const unsigned char next = bytes[i + k];
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += more + 1;
    }
    return true;
}

// A UTF-8 text as a JSON string, escaped byte by byte.
QByteArray utf8JsonString(const unsigned char* bytes, int size) {
    static const char hex[] = "0123456789abcdef";
    QByteArray json;
    json.reserve(size + 2);
    json.append('"');
    for (int i = 0; i < size; ++i) {
        const unsigned char c = bytes[i];
        switch (c) {
            case '"':
                json.append("\\\"");
                break;
            case '\\':
                json.append("\\\\");
                break;
            case '\n':
                json.append("\\n");
                break;
            case '\r':
                json.append("\\r");
                break;
            case '\t':
                json.append("\\t");
                break;
            default:
                if (c < 0x20) {
                    json.append("\\u00");
                    json.append(hex[c >> 4]);
                    json.append(hex[c & 0xF]);
                } else {
                    json.append(static_cast<char>(c));
                }
        }
    }
    json.append('"');
    return json;
}

QByteArray storedBytes(sqlite3_value* value) {
    const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
    return QByteArray(bytes, sqlite3_value_bytes(value));
}

// A text or BLOB as the text the windows read from it; any other value as it is.
void storedText(sqlite3_context* context, int, sqlite3_value** values) {
    sqlite3_value* value = values[0];
    const int type = sqlite3_value_type(value);
    if (type != SQLITE_TEXT && type != SQLITE_BLOB) {
        sqlite3_result_value(context, value);
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(value));
    if (type == SQLITE_TEXT && isUtf8(bytes, sqlite3_value_bytes(value))) {
        sqlite3_result_value(context, value);  // most texts: already what the windows read
        return;
    }
    resultText(context, text::fromStoredText(storedBytes(value)).toUtf8());
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
        default: {
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(value));
            const int size = sqlite3_value_bytes(value);
            resultText(context,
                       isUtf8(bytes, size)
                           ? utf8JsonString(bytes, size)
                           : text::jsonString(text::fromStoredText(storedBytes(value))).toUtf8());
        }
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
