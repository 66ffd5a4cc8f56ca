#pragma once

#include "wiring/PlcMappingWindow.h"

namespace tunnel::wiring {

// PLC register bits mapped to device parameters in a PLC's own terms: register type "v" (an
// output) or "i" (an input), register 0 to 7, bit 0 to 7.
class TfmPlcConfig : public PlcMappingWindow {
    Q_OBJECT
public:
    TfmPlcConfig(QWidget* owner, const data::ModuleContext& context);

    static int GetRegisterTypeCode(const QString& text);

protected:
    int registerTypeCode(const QString& text) const override { return GetRegisterTypeCode(text); }
    std::optional<int> shownRegisterType(const QString& text) const override;
    bool offersOnlyDevicesReachedByPlc() const override { return false; }
    QVector<data::RegisterRow> registerRows() const override;
    int bitsPerRegister() const override { return 8; }
};

}  // namespace tunnel::wiring
