#include "data/PeriodSums.h"

#include "data/Availability.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tunnel::data {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<qint64>(era) * 146097 + dayOfEra - 719468;
}

class TimeText {
public:
    explicit TimeText(std::string_view text) : text_(text) {}

    // The wall-clock milliseconds the text names, or none.
    std::optional<qint64> milliseconds() {
        const auto year = digits(4);
        const auto month = separated('-', 2);
        const auto day = separated('-', 2);
        if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
            return std::nullopt;
        }
        qint64 time = 0;
        if (at_ < text_.size()) {
            if (text_[at_] != ' ' && text_[at_] != 'T') {
                return std::nullopt;
            }
            ++at_;
            const auto hour = digits(2);
            const auto minute = separated(':', 2);
            if (!hour || !minute || *hour > 24 || *minute > 59) {
                return std::nullopt;
            }
            time = (*hour * 60 + *minute) * 60'000;
            if (at_ < text_.size()) {
                const auto second = separated(':', 2);
                if (!second || *second > 59) {
                    return std::nullopt;
                }
                time += *second * 1000 + fraction();
            }
        }
        if (at_ != text_.size()) {
            return std::nullopt;
        }
        return daysFromCivil(*year, *month, *day) * 86'400'000 + time;
    }

private:
    std::optional<int> digits(std::size_t count) {
        if (text_.size() - at_ < count) {
            return std::nullopt;
        }
        int value = 0;
        for (std::size_t i = 0; i < count; ++i, ++at_) {
            const char c = text_[at_];
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        return value;
    }

    std::optional<int> separated(char separator, std::size_t count) {
        if (at_ >= text_.size() || text_[at_] != separator) {
            return std::nullopt;
        }
        ++at_;
        return digits(count);
    }

    // ".fff…", rounded to the millisecond as julianday() keeps it; a lone "." is none.
    qint64 fraction() {
        if (at_ >= text_.size() || text_[at_] != '.') {
            return 0;
        }
        const std::size_t from = ++at_;
        double value = 0;
        double scale = 100;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            value += (text_[at_] - '0') * scale;
            scale /= 10;
            ++at_;
        }
        if (at_ == from) {
            at_ = text_.size() + 1;  // not a moment
            return 0;
        }
        return static_cast<qint64>(value + 0.5);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::string_view textOf(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return text == nullptr
               ? std::string_view()
               : std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

// A JSON string of a stored text.
void appendQuoted(std::string& json, std::string_view text) {
    json += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            json += escaped.data();
        } else {
            json += c;
        }
    }
    json += '"';
}

// What an aggregate keeps between rows: the device's rows so far.
struct Rows {
    std::string first;
    std::string last;
    qint64 count = 0;
    std::optional<qint64> lastMoment;  // the last row's moment, when it names one
    bool outOfOrder = false;

    // Takes the next row's time; returns the milliseconds since the row before it (none for
    // the first row, or where either names no moment).
    std::optional<qint64> take(std::string_view time) {
        if (count > 0 && time < std::string_view(last)) {
            outOfOrder = true;
        }
        if (count == 0) {
            first.assign(time);
        }
        last.assign(time);
        ++count;
        const std::optional<qint64> moment = TimeText(time).milliseconds();
        std::optional<qint64> since;
        if (moment && lastMoment) {
            since = *moment - *lastMoment;
        }
        lastMoment = moment;
        return since;
    }
};

struct StatePeriods {
    Rows rows;
    std::optional<int> lastState;
    std::array<qint64, kReportStates.size()> milliseconds{};
};

struct AlertPeriods {
    Rows rows;
    bool lastRaised = false;
    std::optional<qint64> end;  // the range's end
    qint64 raised = 0;
    qint64 milliseconds = 0;
};

// The aggregate's state, made on its first row and destroyed by its final call.
template <typename State>
State* stateOf(sqlite3_context* context, bool make) {
    auto** slot = static_cast<State**>(
        sqlite3_aggregate_context(context, make ? static_cast<int>(sizeof(State*)) : 0));
    if (slot == nullptr) {
        return nullptr;
    }
    if (*slot == nullptr && make) {
        *slot = new State;
    }
    return *slot;
}

std::size_t stateBucket(std::optional<int> state) {
    const auto at = state ? std::find(kReportStates.begin(), kReportStates.end() - 1, *state)
                          : kReportStates.end() - 1;
    return static_cast<std::size_t>(at - kReportStates.begin());
}

void stepStates(sqlite3_context* context, int, sqlite3_value** values) {
    StatePeriods* periods = stateOf<StatePeriods>(context, true);
    if (periods == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (const auto since = periods->rows.take(textOf(values[0]))) {
        periods->milliseconds[stateBucket(periods->lastState)] += *since;
    }
    periods->lastState = sqlite3_value_type(values[1]) == SQLITE_NULL
                             ? std::nullopt
                             : std::optional<int>(sqlite3_value_int(values[1]));
}

// Ends an aggregate: its JSON, or the failure of rows out of their order; the state freed.
template <typename State>
void finish(sqlite3_context* context, const std::function<void(const State&, std::string&)>& json) {
    State* state = stateOf<State>(context, false);
    if (state == nullptr) {
        sqlite3_result_null(context);
        return;
    }
    if (state->rows.outOfOrder) {
        sqlite3_result_error(context, "rows reached the period sums out of their times' order", -1);
    } else {
        std::string text = "[";
        json(*state, text);
        text += ',' + std::to_string(state->rows.count) + ']';
        sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    delete state;
}

void finishStates(sqlite3_context* context) {
    finish<StatePeriods>(context, [](const StatePeriods& periods, std::string& json) {
        appendQuoted(json, periods.rows.first);
        json += ',';
        appendQuoted(json, periods.rows.last);
        json += ',' + (periods.lastState ? std::to_string(*periods.lastState) : "null");
        for (const qint64 milliseconds : periods.milliseconds) {
            json += ',' + std::to_string(milliseconds);
        }
    });
}

void stepAlerts(sqlite3_context* context, int, sqlite3_value** values) {
    AlertPeriods* periods = stateOf<AlertPeriods>(context, true);
    if (periods == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const std::optional<qint64> since = periods->rows.take(textOf(values[0]));
    if (periods->lastRaised && since) {
        periods->milliseconds += *since;
    }
    periods->lastRaised =
        sqlite3_value_type(values[1]) != SQLITE_NULL && sqlite3_value_int64(values[1]) > 0;
    periods->raised += periods->lastRaised ? 1 : 0;
    if (!periods->end) {
        periods->end = TimeText(textOf(values[2])).milliseconds();
    }
}

void finishAlerts(sqlite3_context* context) {
    finish<AlertPeriods>(context, [](const AlertPeriods& periods, std::string& json) {
        qint64 milliseconds = periods.milliseconds;
        if (periods.lastRaised && periods.rows.lastMoment && periods.end) {
            milliseconds += *periods.end - *periods.rows.lastMoment;
        }
        json += std::to_string(periods.raised) + ',' + std::to_string(milliseconds);
    });
}

void add(sqlite3* connection, const char* name, int arguments,
         void (*step)(sqlite3_context*, int, sqlite3_value**), void (*final)(sqlite3_context*)) {
    if (sqlite3_create_function_v2(connection, name, arguments,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                                   nullptr, step, final, nullptr) != SQLITE_OK) {
        throw db::DbError(
            QStringLiteral("无法在 SQLite 连接上登记函数 %1：%2")
                .arg(QString::fromLatin1(name), QString::fromUtf8(sqlite3_errmsg(connection))));
    }
}

}  // namespace

void addPeriodFunctions(db::Database& db) {
    auto* connection = static_cast<sqlite3*>(db.sqliteConnection());
    if (connection == nullptr) {
        return;
    }
    add(connection, "tunnel_state_periods", 2, stepStates, finishStates);
    add(connection, "tunnel_alert_periods", 3, stepAlerts, finishAlerts);
}

}  // namespace tunnel::data
