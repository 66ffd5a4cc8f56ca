#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

#include <array>
#include <functional>
#include <optional>

namespace tunnel::db {
class Database;
}

namespace tunnel::data {

class CodeNameList;

// The states a report counts time in, in its columns' order, by their stored codes.
inline constexpr std::array<int, 5> kReportStates = {1, 2, 3, 4, 0};

// The area a report gives the devices that its range's history has and the register no longer.
inline constexpr int kRemovedArea = -1;

// One device over a range: the milliseconds it spent in each state (kReportStates' order; a
// code outside the table counts as unknown) and its alerts raised in the range.
struct DeviceAvailability {
    int type = 0;
    int code = 0;
    int area = 0;
    QString physics;
    std::array<qint64, 5> milliseconds{};
    int alerts = 0;
    qint64 alertMilliseconds = 0;

    qint64 total() const;
    qint64 inState(int state) const;
};

// The share of the time a device, or a group of them, was in working order: time in 正常 over
// the time not 停用; none when all of it was 停用 (or there was none).
std::optional<double> workingShare(const std::array<qint64, 5>& milliseconds);

// A group of devices (an area and a type): their times and alerts summed.
struct AvailabilityTotal {
    int area = 0;
    int type = 0;
    int devices = 0;
    std::array<qint64, 5> milliseconds{};
    int alerts = 0;
    qint64 alertMilliseconds = 0;
};

struct AvailabilityReport {
    QDateTime from;
    QDateTime to;  // the range's end, or the time it was made when that is earlier
    QVector<DeviceAvailability> devices;  // by type and number; removed ones after
    QVector<AvailabilityTotal> totals;    // by area, then type
    AvailabilityTotal whole;
    QVector<int> worst;  // the ten devices (indexes) with the most time in 故障, most first
};

// What a report names: the areas and types by their codes, and the installation.
struct ReportNames {
    std::function<QString(int)> area;
    std::function<QString(int)> type;
    QString installation;
};
// The names as the area and type catalogues give them. Throws DbError.
ReportNames readReportNames(db::Database& db);
// The names of catalogues already read.
ReportNames reportNamesOf(const CodeNameList& areas, const CodeNameList& types,
                          const QString& installation);

// The report of [from, to) for the devices of the register, reckoned in the database: each
// device's state at `from` is its last change's before it, else the state its first change in
// the range left (that change's PRESTATUS, as its timeline takes it), else the register's
// STATUS; each change in the range lasts to the next one or the range's end (times as stored,
// wall-clock). A device the register no longer has counts where its history shows it (from
// `from` when a change before it or the first in it gave its state, else from its first change,
// to its last change in the range); it is in area kRemovedArea.
// an alert raised lasts to the device's next alert row or the range's end. Only the range's
// rows of the histories are read, one pass each. Throws DbError.
AvailabilityReport readAvailability(db::Database& db, const QDateTime& from, const QDateTime& to,
                                    const QDateTime& now);

// The report's figures as CSV lines (UTF-8, CRLF, as the exports write): the totals by area
// and type, then the worst devices.
QByteArray availabilityCsv(const AvailabilityReport& report, const ReportNames& names);

// The devices of one area and/or one type, summed up again.
AvailabilityReport onlyOf(const AvailabilityReport& report, std::optional<int> area,
                          std::optional<int> type);

// A total's cells as the window and the CSV show them (devices, each state's share, 完好率,
// alerts, hours of alerts), and their titles.
QStringList totalCells(const AvailabilityTotal& total);
QStringList totalTitles();
// Hours with two decimals.
QString hoursText(qint64 milliseconds);

// "98.5%" for a share; "-" for none.
QString shareText(std::optional<double> share);

}  // namespace tunnel::data
