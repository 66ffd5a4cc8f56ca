#include "data/DeviceSearch.h"

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

// A trigram index finds substrings of three characters or more; a shorter text is held by so
// many devices that reading the register in order finds the first of them at once.
constexpr int kShortestIndexed = 3;

bool indexFinds(const QString& text, TextSearch how) {
    return how == TextSearch::Index && text.toUcs4().size() >= kShortestIndexed;
}

// The devices whose index row has the phrase in `columns`.
QString indexed(const QString& columns, const QString& phrase) {
    QString quoted = phrase;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return QStringLiteral(
               "(DEVICETYPE, DEVICECODE) in (select DEVICETYPE, DEVICECODE from DEVICE_SEARCH "
               "where DEVICE_SEARCH match %1)")
        .arg(db::sqlQuote(QStringLiteral("{%1} : \"%2\"").arg(columns, quoted)));
}

QString indexedTexts(const QString& text) {
    return indexed(QStringLiteral("CODETEXT PHYSICS COMMDATA"), text);
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
        .arg(indexed(QStringLiteral("PHYSICSHEX COMMDATAHEX"), hexOf(bytes)), compared);
}

QString scannedTexts(const QString& pattern) {
    return QStringLiteral(
               "CAST(DEVICECODE AS VARCHAR(11)) LIKE %1 or UPPER(PHYSICS) LIKE %1 or "
               "UPPER(COMMDATA) LIKE %1")
        .arg(pattern);
}

QString textCondition(const QString& text, TextSearch how) {
    if (const std::optional<StakePrefix> stake = stakePrefix(text)) {
        QString condition = QStringLiteral("MILIMETER=%1").arg(stake->kilometre);
        if (!stake->metres.isEmpty()) {
            condition += QStringLiteral(" and CAST(METER AS VARCHAR(11)) LIKE ") +
                         db::sqlQuote(stake->metres + u'%');
        }
        return condition;
    }
    const QString pattern = db::likeContaining(text);
    QString devices = indexFinds(text, how) ? indexedTexts(text) : scannedTexts(pattern);
    QString typeName = QStringLiteral("UPPER(TYPENAME) LIKE ") + pattern;
    QString areaName = QStringLiteral("UPPER(AREANAME) LIKE ") + pattern;
    if (const std::optional<QByteArray> gbk =
            how == TextSearch::Scan ? std::nullopt : gbkBytesOf(text)) {
        devices += QStringLiteral(" or ") + storedGbk(*gbk, how);
        typeName += QStringLiteral(" or ") + bytesContain(QStringLiteral("TYPENAME"), *gbk);
        areaName += QStringLiteral(" or ") + bytesContain(QStringLiteral("AREANAME"), *gbk);
    }
    return QStringLiteral(
               "(%1 or DEVICETYPE in (select TYPECODE from DEVICETYPE where %2) or AREACODE in "
               "(select AREACODE from AREA where %3))")
        .arg(devices, typeName, areaName);
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

QString deviceSearchStatement(const DeviceSearch& search, TextSearch how) {
    QStringList conditions;
    const QString text = text::trimmed(search.text);
    if (!text.isEmpty()) {
        conditions.append(textCondition(text, how));
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
