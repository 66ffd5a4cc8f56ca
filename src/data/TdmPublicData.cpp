#include "data/TdmPublicData.h"

#include <stdexcept>

namespace tunnel::data {

namespace {

// Never left pointing at an instance that is gone: each instance takes the place on creation
// and gives it back on destruction.
TdmPublicData*& current() {
    static TdmPublicData* instance = nullptr;
    return instance;
}

}  // namespace

TdmPublicData& publicData() {
    if (current() == nullptr) {
        throw std::logic_error("没有打开网关连接配置窗口，无法读取区域和设备类型目录。");
    }
    return *current();
}

TdmPublicData::TdmPublicData(const QString& connectionString)
    : ADOQuery(connectionString), outer_(current()) {
    current() = this;
}

TdmPublicData::~TdmPublicData() {
    DataModuleDestroy();
    if (current() == this) {
        current() = outer_;
    }
}

void TdmPublicData::DataModuleCreate() {
    readAreasAndTypes(ADOQuery, AreaList, TypeList);
}

void TdmPublicData::DataModuleDestroy() {
    AreaList.clear();
    TypeList.clear();
    ADOQuery.close();
}

}  // namespace tunnel::data
