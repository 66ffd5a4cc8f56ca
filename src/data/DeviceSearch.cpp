#include "data/DeviceSearch.h"

#include "platform/db/SqlLiteral.h"
#include "platform/text/TextRules.h"

#include <QRegularExpression>
#include <QStringList>

#include <utility>

namespace tunnel::data {
namespace {

// A stake being typed: "K12+3" or "12+" (the metres may be partial or missing).
struct StakePrefix {
    int kilometre = 0;
    QString metres;
};

std::optional<StakePrefix> stakePrefix(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\s*[Kk]?(\\d{1,6})\\+(\\d{0,6})\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return StakePrefix{match.captured(1).toInt(), match.captured(2)};
}

// A trigram index finds substrings of three characters or more; a shorter text is held by so
// many devices that reading the register in order finds the first of them at once.
constexpr int kShortestIndexed = 3;

bool indexFinds(const QString& text, bool indexed) {
    return indexed && text.toUcs4().size() >= kShortestIndexed;
}

QString indexedTexts(const QString& text) {
    QString phrase = text;
    phrase.replace(u'"', QStringLiteral("\"\""));
    return QStringLiteral(
               "(DEVICETYPE, DEVICECODE) in (select DEVICETYPE, DEVICECODE from DEVICE_SEARCH "
               "where DEVICE_SEARCH match %1)")
        .arg(db::sqlQuote(u'"' + phrase + u'"'));
}

QString scannedTexts(const QString& pattern) {
    return QStringLiteral(
               "CAST(DEVICECODE AS VARCHAR(11)) LIKE %1 or UPPER(PHYSICS) LIKE %1 or "
               "UPPER(COMMDATA) LIKE %1")
        .arg(pattern);
}

QString textCondition(const QString& text, bool indexed) {
    if (const std::optional<StakePrefix> stake = stakePrefix(text)) {
        QString condition = QStringLiteral("MILIMETER=%1").arg(stake->kilometre);
        if (!stake->metres.isEmpty()) {
            condition += QStringLiteral(" and CAST(METER AS VARCHAR(11)) LIKE ") +
                         db::sqlQuote(stake->metres + u'%');
        }
        return condition;
    }
    const QString pattern = db::likeContaining(text);
    return QStringLiteral(
               "(%1 or DEVICETYPE in (select TYPECODE from DEVICETYPE where UPPER(TYPENAME) LIKE "
               "%2) or AREACODE in (select AREACODE from AREA where UPPER(AREANAME) LIKE %2))")
        .arg(indexFinds(text, indexed) ? indexedTexts(text) : scannedTexts(pattern), pattern);
}

QString atOrAfter(const Stake& stake) {
    return QStringLiteral("(MILIMETER>%1 or (MILIMETER=%1 and METER>=%2))")
        .arg(stake.kilometre)
        .arg(stake.metre);
}

QString atOrBefore(const Stake& stake) {
    return QStringLiteral("(MILIMETER<%1 or (MILIMETER=%1 and METER<=%2))")
        .arg(stake.kilometre)
        .arg(stake.metre);
}

}  // namespace

std::optional<Stake> parseStake(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*[Kk]?(\\d{1,6})(?:\\+(\\d{0,6}))?\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    constexpr int kMetresInAKilometre = 1000;
    const int metre = match.captured(2).toInt();
    if (!match.hasMatch() || metre >= kMetresInAKilometre) {
        return std::nullopt;
    }
    return Stake{match.captured(1).toInt(), metre};
}

QString deviceSearchStatement(const DeviceSearch& search, bool indexed) {
    QStringList conditions;
    const QString text = text::trimmed(search.text);
    if (!text.isEmpty()) {
        conditions.append(textCondition(text, indexed));
    }
    std::optional<Stake> from = search.from;
    std::optional<Stake> to = search.to;
    if (from && to &&
        std::pair(from->kilometre, from->metre) > std::pair(to->kilometre, to->metre)) {
        std::swap(from, to);
    }
    if (from) {
        conditions.append(atOrAfter(*from));
    }
    if (to) {
        conditions.append(atOrBefore(*to));
    }
    if (search.side != DeviceSearch::Side::All) {
        conditions.append(
            QStringLiteral("SIDE=%1").arg(search.side == DeviceSearch::Side::Inside ? 1 : 2));
    }
    if (search.onlyType) {
        conditions.append(QStringLiteral("DEVICETYPE=%1").arg(*search.onlyType));
    }
    if (search.reachedByPlc) {
        conditions.append(QStringLiteral("COMMTYPE=4"));
    }
    QString sql = QStringLiteral("select * from DEVICE");
    if (!conditions.isEmpty()) {
        sql += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
    }
    return sql;
}

}  // namespace tunnel::data
