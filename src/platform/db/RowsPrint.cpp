#include "platform/db/RowsPrint.h"

#include <sqlite3.h>

#include <cstdint>

namespace tunnel::db {
namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::uint64_t mixed(std::uint64_t hash, const unsigned char* bytes, int size) {
    for (int i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * kFnvPrime;
    }
    return hash;
}

// A value's type goes in with its bytes: NULL, 0 and '' differ, and so do 1 and '1'.
std::uint64_t valueHash(std::uint64_t hash, sqlite3_value* value) {
    const auto type = static_cast<unsigned char>(sqlite3_value_type(value));
    hash = mixed(hash, &type, 1);
    switch (type) {
        case SQLITE_INTEGER: {
            const sqlite3_int64 number = sqlite3_value_int64(value);
            return mixed(hash, reinterpret_cast<const unsigned char*>(&number), sizeof number);
        }
        case SQLITE_FLOAT: {
            const double number = sqlite3_value_double(value);
            return mixed(hash, reinterpret_cast<const unsigned char*>(&number), sizeof number);
        }
        case SQLITE_NULL:
            return hash;
        default: {
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(value));
            return mixed(hash, bytes, sqlite3_value_bytes(value));
        }
    }
}

void step(sqlite3_context* context, int count, sqlite3_value** values) {
    auto* sum =
        static_cast<std::uint64_t*>(sqlite3_aggregate_context(context, sizeof(std::uint64_t)));
    if (sum == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    std::uint64_t hash = kFnvOffset;
    for (int i = 0; i < count; ++i) {
        hash = valueHash(hash, values[i]);
    }
    *sum += hash;
}

void final(sqlite3_context* context) {
    auto* sum = static_cast<std::uint64_t*>(sqlite3_aggregate_context(context, 0));
    sqlite3_result_int64(context, sum == nullptr ? 0 : static_cast<sqlite3_int64>(*sum));
}

}  // namespace

void addRowsPrint(void* connection) {
    sqlite3_create_function_v2(static_cast<sqlite3*>(connection), "rows_print", -1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr, &step, &final,
                               nullptr);
}

}  // namespace tunnel::db
