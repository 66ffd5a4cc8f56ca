#pragma once

#include "data/CodeName.h"
#include "platform/db/Query.h"

namespace tunnel::data {

// The catalogues of areas and device types, read once and searched by code, for the gateway
// windows. The window that creates it owns it; while it lives, the windows it opens reach it
// through publicData().
class TdmPublicData {
public:
    explicit TdmPublicData(const QString& connectionString);
    ~TdmPublicData();
    TdmPublicData(const TdmPublicData&) = delete;
    TdmPublicData& operator=(const TdmPublicData&) = delete;

    // Reads both catalogues. Throws DbError; the lists keep what was read before the error.
    void DataModuleCreate();

    QString GetAreaName(int code) const { return AreaList.nameOf(code); }
    QString GetTypeName(int code) const { return TypeList.nameOf(code); }
    int GetAreaCount() const { return AreaList.count(); }
    TCodeName GetAreaItem(int index) const { return AreaList.at(index); }

private:
    void DataModuleDestroy();

    db::Query ADOQuery;
    CodeNameList AreaList;
    CodeNameList TypeList;
    TdmPublicData* outer_;  // the instance that was reachable before this one
};

// The instance that lives now. Throws std::logic_error when none does: a window that needs it
// was opened without its owner, which is a fault of the program, not of the database.
TdmPublicData& publicData();

}  // namespace tunnel::data
