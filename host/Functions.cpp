#include "Functions.h"

namespace tunnel::host {

const std::vector<Function>& pluginFunctions() {
    static const std::vector<Function> functions = {
        {1, QStringLiteral("设备管理")},     {2, QStringLiteral("网关连接配置")},
        {3, QStringLiteral("设备状态查询")}, {4, QStringLiteral("系统区域管理")},
        {5, QStringLiteral("设备报警查询")}, {6, QStringLiteral("PLC配置")},
        {7, QStringLiteral("OmronPLC配置")}, {8, QStringLiteral("操作记录")},
        {9, QStringLiteral("隧道设备总览")}, {10, QStringLiteral("设备完好率报表")},
    };
    return functions;
}

}  // namespace tunnel::host
