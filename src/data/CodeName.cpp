#include "data/CodeName.h"

#include "platform/db/Query.h"
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

}  // namespace tunnel::data
