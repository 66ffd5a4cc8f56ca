#include "data/DeviceSearch.h"

#include "data/IndexedGrams.h"
#include "data/IndexedText.h"
#include "platform/db/Database.h"
#include "platform/db/SqlLiteral.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextRules.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
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

// The bytes a program that writes GBK stored for `text`, as SQLite's upper() leaves them (it
// changes ASCII letters byte by byte, GBK's second bytes among them); none for a text of ASCII
// only, which the characters' own match finds, or with a character GBK does not have.
std::optional<QByteArray> gbkBytesOf(const QString& text) {
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii || !text::charactersWithoutGbk(text).isEmpty()) {
        return std::nullopt;
    }
    return text::toGbk(text).toUpper();  // ASCII letters only, as SQLite's upper()
}

QString hexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString bytesContain(const QString& column, const QByteArray& bytes) {
    return QStringLiteral("instr(CAST(upper(%1) AS BLOB), X'%2') > 0").arg(column, hexOf(bytes));
}

// Texts stored as GBK bytes, found by reading them.
QString storedGbk(const QByteArray& bytes) {
    return bytesContain(QStringLiteral("PHYSICS"), bytes) + QStringLiteral(" or ") +
           bytesContain(QStringLiteral("COMMDATA"), bytes);
}

QString scannedTexts(const QString& pattern) {
    return QStringLiteral(
               "CAST(DEVICECODE AS VARCHAR(11)) LIKE %1 or UPPER(PHYSICS) LIKE %1 or "
               "UPPER(COMMDATA) LIKE %1")
        .arg(pattern);
}

// What the server's indexes say of a text before the register is read: the types and areas
// whose names hold it, by their codes (a condition the indexes serve beside the text index,
// where subqueries would make the server read every device), and how many devices, up to
// kHeldByMany, those names and the devices' own texts hold: one round trip.
struct HeldOnServer {
    QStringList types;
    QStringList areas;
    int byNames = 0;
    int byTexts = 0;
};

QString countedUpToMany(int part, const QString& devices) {
    return QStringLiteral("select %1, count(*) from (%2 limit %3) t")
        .arg(part)
        .arg(devices)
        .arg(kHeldByMany);
}

HeldOnServer heldOnServer(db::Database& db, const QString& pattern,
                          const std::optional<QString>& byTexts) {
    const QString types =
        QStringLiteral("select TYPECODE from DEVICETYPE where UPPER(TYPENAME) LIKE ") + pattern;
    const QString areas =
        QStringLiteral("select AREACODE from AREA where UPPER(AREANAME) LIKE ") + pattern;
    QStringList parts{
        QStringLiteral("select 1, TYPECODE from (%1) t").arg(types),
        QStringLiteral("select 2, AREACODE from (%1) a").arg(areas),
        countedUpToMany(3, QStringLiteral("select 1 from DEVICE where DEVICETYPE in (%1) union "
                                          "all select 1 from DEVICE where AREACODE in (%2)")
                               .arg(types, areas))};
    if (byTexts) {
        parts.append(countedUpToMany(4, QStringLiteral("select 1 from DEVICE where ") + *byTexts));
    }
    HeldOnServer held;
    db.forEachRow(parts.join(QStringLiteral(" union all ")), {}, [&](const QVariantList& row) {
        switch (row[0].toInt()) {
            case 1:
                held.types.append(row[1].toString());
                break;
            case 2:
                held.areas.append(row[1].toString());
                break;
            case 3:
                held.byNames = row[1].toInt();
                break;
            default:
                held.byTexts = row[1].toInt();
        }
    });
    return held;
}

QString namedCodes(const HeldOnServer& held) {
    QStringList named;
    if (!held.types.isEmpty()) {
        named.append(QStringLiteral("DEVICETYPE in (%1)").arg(held.types.join(u',')));
    }
    if (!held.areas.isEmpty()) {
        named.append(QStringLiteral("AREACODE in (%1)").arg(held.areas.join(u',')));
    }
    return named.join(QStringLiteral(" or "));
}

// On PostgreSQL: the index is asked for the devices holding the text in their own columns
// unless so many do (or the names match so many) that reading in key order meets the first at
// once. A device a type or an area holds is counted once for each.
QString serverIndexedCondition(db::Database& db, const QString& text) {
    const QString pattern = db::likeContaining(text);
    const QString scanned = scannedTexts(pattern);
    const std::optional<GramsHolding> grams = gramsHolding(text);
    std::optional<QString> held;
    if (grams) {
        held = grams->exact ? grams->condition
                            : QStringLiteral("%1 and (%2)").arg(grams->condition, scanned);
    }
    const HeldOnServer counted = heldOnServer(db, pattern, held);
    QStringList alternatives;
    if (!held || counted.byNames >= kHeldByMany || counted.byTexts >= kHeldByMany) {
        alternatives.append(scanned);
    } else if (counted.byTexts > 0) {
        alternatives.append(u'(' + *held + u')');
    }
    const QString named = namedCodes(counted);
    if (!named.isEmpty()) {
        alternatives.append(named);
    }
    if (alternatives.isEmpty()) {
        return QStringLiteral("1=0");
    }
    return u'(' + alternatives.join(QStringLiteral(" or ")) + u')';
}

QString textCondition(db::Database& db, const QString& text, TextSearch how) {
    if (const std::optional<StakePrefix> stake = stakePrefix(text)) {
        QString condition = QStringLiteral("MILIMETER=%1").arg(stake->kilometre);
        if (!stake->metres.isEmpty()) {
            condition += QStringLiteral(" and CAST(METER AS VARCHAR(11)) LIKE ") +
                         db::sqlQuote(stake->metres + u'%');
        }
        return condition;
    }
    if (how == TextSearch::ServerIndex) {
        return serverIndexedCondition(db, text);
    }
    const QString pattern = db::likeContaining(text);
    QString typeName = QStringLiteral("UPPER(TYPENAME) LIKE ") + pattern;
    QString areaName = QStringLiteral("UPPER(AREANAME) LIKE ") + pattern;
    const std::optional<QByteArray> gbk = how == TextSearch::Scan ? std::nullopt : gbkBytesOf(text);
    if (gbk) {
        typeName += QStringLiteral(" or ") + bytesContain(QStringLiteral("TYPENAME"), *gbk);
        areaName += QStringLiteral(" or ") + bytesContain(QStringLiteral("AREANAME"), *gbk);
    }
    const QString names =
        QStringLiteral(
            "DEVICETYPE in (select TYPECODE from DEVICETYPE where %1) or AREACODE in "
            "(select AREACODE from AREA where %2)")
            .arg(typeName, areaName);
    QStringList alternatives{scannedTexts(pattern)};
    if (gbk) {
        alternatives.append(storedGbk(*gbk));
    }
    alternatives.append(names);
    return u'(' + alternatives.join(QStringLiteral(" or ")) + u')';
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

QString deviceSearchStatement(db::Database& db, const DeviceSearch& search, TextSearch how) {
    QStringList conditions;
    const QString text = text::trimmed(search.text);
    if (!text.isEmpty()) {
        conditions.append(textCondition(db, text, how));
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
