#include "shell/FunctionTable.h"

#include "devices/TfmDeviceMainage.h"
#include "history/TfmArea.h"
#include "history/TfmAvailability.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmOperLog.h"
#include "history/TfmQueryStatus.h"
#include "history/TfmTunnelView.h"
#include "wiring/TfmNetGateConfig.h"
#include "wiring/TfmOmronPlcConfig.h"
#include "wiring/TfmPlcConfig.h"

namespace tunnel::shell {
namespace {

template <typename Window>
std::unique_ptr<QDialog> make(QWidget* owner, const data::ModuleContext& context) {
    return std::make_unique<Window>(owner, context);
}

constexpr int kConfigurationRight = data::rights::kConfiguration;
constexpr int kStateHistoryRight = data::rights::kStateHistory;

const FunctionEntry kFunctions[] = {
    {kConfigurationRight, &make<devices::TfmDeviceMainage>},    // 1 device list
    {kConfigurationRight, &make<wiring::TfmNetGateConfig>},     // 2 gateway wiring
    {kStateHistoryRight, &make<history::TfmQueryStatus>},       // 3 state history
    {kConfigurationRight, &make<history::TfmArea>},             // 4 areas
    {0, &make<history::TfmDeviceAlert>},                        // 5 alert history: no right asked
    {kConfigurationRight, &make<wiring::TfmPlcConfig>},         // 6 PLC mapping
    {kConfigurationRight, &make<wiring::TfmOmronPlcConfig>},    // 7 Omron PLC mapping
    {kConfigurationRight, &make<history::TfmOperLog>},          // 8 operation log
    {kStateHistoryRight, &make<history::TfmTunnelView>, true},  // 9 the tunnel at a glance
    {kStateHistoryRight, &make<history::TfmAvailability>},      // 10 the availability report
};

}  // namespace

const FunctionEntry* functionEntry(std::uint32_t code) {
    if (code < 1 || code > std::size(kFunctions)) {
        return nullptr;
    }
    return &kFunctions[code - 1];
}

}  // namespace tunnel::shell
