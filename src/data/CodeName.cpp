#include "data/CodeName.h"

#include "data/ChangeNotices.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/KeptResults.h"
#include "platform/db/Query.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"

namespace tunnel::data {

QString CodeNameList::nameOf(int code) const {
    for (const TCodeName& entry : entries_) {
        if (entry.Code == code) {
            return entry.Name;
        }
    }
    return {};
}

QStringList CodeNameList::codedItems() const {
    QStringList items;
    for (const TCodeName& entry : entries_) {
        items.append(QString::number(entry.Code) + u'-' + text::trimmed(entry.Name));
    }
    return items;
}

QList<int> CodeNameList::codes() const {
    QList<int> codes;
    for (const TCodeName& entry : entries_) {
        codes.append(entry.Code);
    }
    return codes;
}

void CodeNameList::read(db::Query& query, const QString& sql, const QString& codeField,
                        const QString& nameField) {
    query.close();
    query.setSql(sql);
    query.open();
    for (; !query.eof(); query.next()) {
        append({query.integer(codeField), query.text(nameField)});
    }
    query.close();
}

namespace {

const QString kBothCatalogues = QStringLiteral(
    "SELECT 1 AS CATALOGUE, AREACODE AS CODE, AREANAME AS NAME FROM AREA UNION ALL "
    "SELECT 2, TYPECODE, TYPENAME FROM DEVICETYPE");

// On PostgreSQL both catalogues by one statement, read once and kept while the server says
// nothing of either table changing; whether it read them (not on the other engines).
bool readKeptCatalogues(db::Query& query, CodeNameList& areas, CodeNameList& types) {
    query.close();
    if (query.database().engine() != db::Engine::PostgreSQL) {
        return false;
    }
    for (const QVariantList& row : db::keptResults::rows(query.database(), kBothCatalogues,
                                                         kCatalogueChannel, hasCatalogueNotices)) {
        (db::integerOf(row[0]) == 1 ? areas : types)
            .append({db::integerOf(row[1]), db::textOf(row[2])});
    }
    return true;
}

void readTypesAlone(db::Query& query, CodeNameList& types) {
    types.read(query, QStringLiteral("SELECT * FROM DEVICETYPE"), QStringLiteral("TYPECODE"),
               QStringLiteral("TYPENAME"));
}

}  // namespace

void readAreasAndTypes(db::Query& query, CodeNameList& areas, CodeNameList& types) {
    areas.clear();
    types.clear();
    try {
        if (readKeptCatalogues(query, areas, types)) {
            return;
        }
        query.setSql(kBothCatalogues);
        query.open();
        for (; !query.eof(); query.next()) {
            CodeNameList& list = query.integer(QStringLiteral("CATALOGUE")) == 1 ? areas : types;
            list.append(
                {query.integer(QStringLiteral("CODE")), query.text(QStringLiteral("NAME"))});
        }
        query.close();
    } catch (const db::DbError&) {
        // Read one after the other, as each catalogue's own query: what a failing one leaves
        // (the areas read before the types) and its error are theirs.
        areas.clear();
        types.clear();
        areas.read(query, QStringLiteral("SELECT * FROM AREA"), QStringLiteral("AREACODE"),
                   QStringLiteral("AREANAME"));
        readTypesAlone(query, types);
    }
}

void readTypes(db::Query& query, CodeNameList& types) {
    types.clear();
    CodeNameList areas;
    try {
        if (readKeptCatalogues(query, areas, types)) {
            return;
        }
    } catch (const db::DbError&) {
        types.clear();  // the type catalogue's own query says what is wrong
    }
    readTypesAlone(query, types);
}

}  // namespace tunnel::data
