#include "data/TdmPublicData.h"

namespace tunnel::data {

TdmPublicData* dmPublicData = nullptr;

TdmPublicData::TdmPublicData(const QString& connectionString) : ADOQuery(connectionString) {}

TdmPublicData::~TdmPublicData() {
    DataModuleDestroy();
}

void TdmPublicData::DataModuleCreate() {
    AreaList.read(ADOQuery, QStringLiteral("SELECT * FROM AREA"), QStringLiteral("AREACODE"),
                  QStringLiteral("AREANAME"));
    TypeList.read(ADOQuery, QStringLiteral("SELECT * FROM DEVICETYPE"), QStringLiteral("TYPECODE"),
                  QStringLiteral("TYPENAME"));
}

void TdmPublicData::DataModuleDestroy() {
    AreaList.clear();
    TypeList.clear();
    ADOQuery.close();
}

}  // namespace tunnel::data
