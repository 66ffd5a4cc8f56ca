#include "data/CodeName.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
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

void readTypesAlone(db::Query& query, CodeNameList& types) {
    types.read(query, QStringLiteral("SELECT * FROM DEVICETYPE"), QStringLiteral("TYPECODE"),
               QStringLiteral("TYPENAME"));
}

}  // namespace

void readAreasAndTypes(db::Query& query, CodeNameList& areas, CodeNameList& types) {
    areas.clear();
    types.clear();
    try {
        query.close();
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
    readTypesAlone(query, types);
}

}  // namespace tunnel::data
