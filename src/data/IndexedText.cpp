#include "data/IndexedText.h"

#include "platform/db/Database.h"
#include "platform/text/TextRules.h"

#include <string>

namespace tunnel::data {
namespace {

// A text of one or two characters begins this many of the index's trigrams at most to be
// looked up by them.
constexpr int kMostTokens = 256;
// The index's trigrams hold three characters; a shorter text begins some of them.
constexpr int kTrigram = 3;

const QString kColumns = QStringLiteral("'CODETEXT', 'PHYSICS', 'COMMDATA'");

QString phrase(const QString& text) {
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

std::optional<QStringList> phraseUnlessCommon(db::Database& db, const QString& text) {
    int held = 0;
    db.forEachRow(QStringLiteral("select count(*) from (select 1 from DEVICE_SEARCH where "
                                 "DEVICE_SEARCH match ? limit %1)")
                      .arg(kHeldByMany),
                  {QStringLiteral("{CODETEXT PHYSICS COMMDATA} : ") + phrase(text)},
                  [&](const QVariantList& row) { held = row[0].toInt(); });
    if (held >= kHeldByMany) {
        return std::nullopt;
    }
    return QStringList{phrase(text)};
}

// The first text after every text that starts with `text`.
QString pastEveryStartingWith(const QString& text) {
    std::u32string characters = text.toStdU32String();
    ++characters.back();
    return QString::fromStdU32String(characters);
}

void ensureTermList(db::Database& db) {
    db.execute(
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS temp.DEVICE_SEARCH_TERMS "
                       "USING fts5vocab(main, DEVICE_SEARCH, col)"));
}

std::optional<QStringList> trigramsStartingWith(db::Database& db, const QString& text) {
    ensureTermList(db);
    const QString folded = text.toLower();
    const QString sql = QStringLiteral(
                            "select term, doc from temp.DEVICE_SEARCH_TERMS where term >= ? and "
                            "term < ? and col in (%1)")
                            .arg(kColumns);
    QStringList tokens;
    int held = 0;
    const auto common = [&] { return held >= kHeldByMany || tokens.size() > kMostTokens; };
    db.forEachRowWhile(sql, {folded, pastEveryStartingWith(folded)}, [&](const QVariantList& row) {
        const QString term = row[0].toString();
        if (term.startsWith(folded)) {
            if (tokens.isEmpty() || tokens.back() != phrase(term)) {
                tokens.append(phrase(term));
            }
            held += row[1].toInt();
        }
        return !common();
    });
    if (common()) {
        return std::nullopt;
    }
    return tokens;
}

}  // namespace

std::optional<QStringList> indexTokensOf(db::Database& db, const QString& text) {
    if (text.isEmpty() || text::hasControlCharacter(text)) {
        return std::nullopt;
    }
    if (text.toUcs4().size() >= kTrigram) {
        return phraseUnlessCommon(db, text);
    }
    if (!text::casedOnlyInAscii(text)) {
        return std::nullopt;
    }
    return trigramsStartingWith(db, text);
}

}  // namespace tunnel::data
