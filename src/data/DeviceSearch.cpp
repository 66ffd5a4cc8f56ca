#include "data/DeviceSearch.h"

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

// The devices whose index row holds one of the tokens (phrases of the index's query language)
// in `columns`.
QString holdingAnyOf(const QString& columns, const QStringList& tokens) {
    return QStringLiteral(
               "(DEVICETYPE, DEVICECODE) in (select DEVICETYPE, DEVICECODE from DEVICE_SEARCH "
               "where DEVICE_SEARCH match %1)")
        .arg(db::sqlQuote(
            QStringLiteral("{%1} : (%2)").arg(columns, tokens.join(QStringLiteral(" OR ")))));
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

// Texts stored as GBK bytes: found by the index of their bytes, each candidate's bytes then
// compared (a hex phrase may start in the middle of a byte), or by reading them.
QString storedGbk(const QByteArray& bytes, TextSearch how) {
    const QString compared = bytesContain(QStringLiteral("PHYSICS"), bytes) +
                             QStringLiteral(" or ") +
                             bytesContain(QStringLiteral("COMMDATA"), bytes);
    if (how != TextSearch::Index) {
        return compared;
    }
    return QStringLiteral("(%1 and (%2))")
        .arg(holdingAnyOf(QStringLiteral("PHYSICSHEX COMMDATAHEX"), {u'"' + hexOf(bytes) + u'"'}),
             compared);
}

QString scannedTexts(const QString& pattern) {
    return QStringLiteral(
               "CAST(DEVICECODE AS VARCHAR(11)) LIKE %1 or UPPER(PHYSICS) LIKE %1 or "
               "UPPER(COMMDATA) LIKE %1")
        .arg(pattern);
}

// Whether the types and areas whose names hold the text have so many devices that reading the
// register in key order meets the first of them at once: the devices' own texts are then read
// as well, as the index would hand over every match to be sorted first.
bool namesHeldByMany(db::Database& db, const QString& names) {
    int held = 0;
    db.forEachRow(QStringLiteral("select count(*) from (select 1 from DEVICE where %1 limit %2) t")
                      .arg(names)
                      .arg(kHeldByMany),
                  {}, [&](const QVariantList& row) { held = row[0].toInt(); });
    return held >= kHeldByMany;
}

// The devices holding the text in their own columns; none when the index says no device does
// (a condition that an index cannot serve would make the database read every device for the
// others).
std::optional<QString> deviceTexts(db::Database& db, const QString& text, TextSearch how) {
    const QString scanned = scannedTexts(db::likeContaining(text));
    if (how != TextSearch::Index) {
        return scanned;
    }
    const std::optional<QStringList> tokens = indexTokensOf(db, text);
    if (!tokens) {
        return scanned;
    }
    if (tokens->isEmpty()) {
        return std::nullopt;
    }
    return holdingAnyOf(QStringLiteral("CODETEXT PHYSICS COMMDATA"), *tokens);
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
    if (how == TextSearch::Index && namesHeldByMany(db, names)) {
        how = TextSearch::ScanStoredBytes;
    }
    QStringList alternatives;
    if (const std::optional<QString> devices = deviceTexts(db, text, how)) {
        alternatives.append(*devices);
    }
    if (gbk) {
        alternatives.append(storedGbk(*gbk, how));
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
