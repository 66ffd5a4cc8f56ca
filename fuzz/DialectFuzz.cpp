// The dialect translation on any text: it never crashes, the tokens give the text back, and a
// translated statement translates to itself (nothing is rewritten twice).
#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/SqlTokens.h"

#include <cstdint>
#include <cstdlib>

using namespace tunnel::db;

namespace {

void checkEngine(const QString& sql, Engine engine) {
    QString once;
    try {
        once = translateSql(sql, engine);
    } catch (const DbError&) {
        return;  // refused with a clear error is a correct answer
    }
    if (translateSql(once, engine) != once) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString sql =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString joined;
    for (const Token& token : tokenize(sql)) {
        joined += token.text;
    }
    if (joined != sql) {
        std::abort();
    }
    checkEngine(sql, Engine::SQLite);
    checkEngine(sql, Engine::PostgreSQL);
    return 0;
}
