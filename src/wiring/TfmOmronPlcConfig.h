#pragma once

#include "wiring/PlcMappingWindow.h"

class QMenu;

namespace tunnel::wiring {

// The PLC mapping in an Omron controller's terms: terminal type (IO input, IO output, serial),
// an address that follows from it, and bits 0 to 15 of which only the free ones are offered;
// only devices reached through a PLC are offered, and a device mapped is marked so.
class TfmOmronPlcConfig : public PlcMappingWindow {
    Q_OBJECT
public:
    TfmOmronPlcConfig(QWidget* owner, const data::ModuleContext& context);

    static int GetTerminalTypeCode(const QString& text);

    void cbCodeChange();
    void cbRTypeChange() override;
    void cbRCodeChange();
    void LoadFreeBits(const QString& plc, int terminalType, const QString& address);

protected:
    int registerTypeCode(const QString& text) const override { return GetTerminalTypeCode(text); }
    std::optional<int> shownRegisterType(const QString& text) const override;
    bool offersOnlyDevicesReachedByPlc() const override { return true; }
    QVector<data::RegisterRow> registerRows() const override;
    int bitsPerRegister() const override { return 16; }
    void afterInsert(db::Query& query) override;
    void afterConnect() override;
    void afterDelete(const QString& plc, int registerType, const QString& registerCode) override;

private:
    QMenu* PopupMenu1;
};

}  // namespace tunnel::wiring
