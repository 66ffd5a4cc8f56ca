#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tunnel::db {
class Query;
}

namespace tunnel::data {

// One catalogue entry: a code and its name, as read (not trimmed).
struct TCodeName {
    int Code = 0;
    QString Name;
};

// A catalogue in the order the query returned it, duplicates kept; a look-up takes the first
// entry with the code.
class CodeNameList {
public:
    void append(TCodeName entry) { entries_.push_back(std::move(entry)); }
    void clear() { entries_.clear(); }
    int count() const { return static_cast<int>(entries_.size()); }
    const TCodeName& at(int index) const { return entries_.at(static_cast<size_t>(index)); }
    // The name of the first entry with the code; the empty text when there is none.
    QString nameOf(int code) const;

    // The entries as coded list items: the code, "-", the name trimmed ("12-可变情报板").
    QStringList codedItems() const;
    QList<int> codes() const;

    // Appends the rows of `sql`, reading `codeField` as an integer and `nameField` as text. A
    // failing read throws DbError and leaves the entries read before it.
    void read(db::Query& query, const QString& sql, const QString& codeField,
              const QString& nameField);

private:
    std::vector<TCodeName> entries_;
};

// The area and device type catalogues (AREA, DEVICETYPE), each as its own query would return
// it, read by one statement: a window far from its server pays one round trip for both, and
// on PostgreSQL none while the server has said nothing of either changing since an earlier
// read on the same connection string.
// Replaces what the lists held. Where that statement fails, each is read by its own query, the
// areas first, and the first failure throws DbError, leaving what was read before it.
void readAreasAndTypes(db::Query& query, CodeNameList& areas, CodeNameList& types);
// The device type catalogue as "SELECT * FROM DEVICETYPE" returns it, kept as above on
// PostgreSQL. Throws DbError.
void readTypes(db::Query& query, CodeNameList& types);

}  // namespace tunnel::data
