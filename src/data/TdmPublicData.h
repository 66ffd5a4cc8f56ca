#pragma once

#include "data/CodeName.h"
#include "platform/db/Query.h"

namespace tunnel::data {

// The catalogues of areas and device types, read once and searched by code, for the gateway
// windows. One instance at a time, reachable through `dmPublicData` while it lives.
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
};

// The instance the gateway wiring window created, or null.
extern TdmPublicData* dmPublicData;

}  // namespace tunnel::data
