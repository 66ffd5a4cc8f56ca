#pragma once

#include "data/ModuleContext.h"
#include "data/OccupancyMap.h"
#include "data/PlcStatements.h"
#include "history/TfmOperLog.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/OwnConnection.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"
#include "platform/ui/TitleSort.h"

#include <QVector>

#include <functional>

#include <memory>
#include <optional>

class QComboBox;
class QPushButton;
class QTableView;

namespace tunnel::wiring {

// What the PLC windows say differently: the words of the register columns and lists and the
// widths of the grid's columns.
struct PlcWording {
    const char* objectName;
    QString caption;
    data::PlcWords gridWords;
    QStringList labels;       // the seven lists' labels, in tab order
    QStringList gridTitles;   // the grid's seven columns
    QVector<int> gridWidths;  // the same, in pixels
    int funcCode;             // the window's function code, as its changes are logged
};

// The window both PLC mapping windows are: every PLCCONFIG row whose device type exists in a
// grid, seven lists that build a new mapping (PLC, register type, register number, bit, device
// type, device, parameter), a connect that inserts it and a delete that removes the mapping
// chosen in the grid. What the Omron window does differently it overrides.
class PlcMappingWindow : public ui::Form {
    Q_OBJECT
public:
    PlcMappingWindow(QWidget* owner, const data::ModuleContext& context, const PlcWording& wording);
    ~PlcMappingWindow() override;

    virtual void cbRTypeChange();
    void cbDeviceTypeChange();
    void btConnectClick();
    void btDeleteClick();
    // The registers of the PLC chosen in the list, or else of the chosen grid row; reads only.
    void showRegisterMap();

protected:
    void formShow() override;
    bool formClose(int result) override;

    static QString GetItemCode(const QString& item);
    // The stored register type code for the register type text of the lists.
    virtual int registerTypeCode(const QString& text) const = 0;
    // The stored register type of a grid row from the text the grid shows; none when the text
    // stands for no code of this window (a row of a type only other programs write).
    virtual std::optional<int> shownRegisterType(const QString& text) const = 0;
    virtual bool offersOnlyDevicesReachedByPlc() const = 0;
    std::optional<history::OperLogStart> chosenMappingLog() const;
    virtual QVector<data::RegisterRow> registerRows() const = 0;
    virtual int bitsPerRegister() const = 0;
    // Runs on `query`, in the mapping's transaction, right after its insert.
    virtual void afterInsert(db::Query& query) { Q_UNUSED(query); }
    // Runs after an insert was attempted and the grid read again.
    virtual void afterConnect() {}
    // Runs after a delete, with the deleted row's PLC, register type and number.
    virtual void afterDelete(const QString& plc, int registerType, const QString& registerCode) {
        Q_UNUSED(plc);
        Q_UNUSED(registerType);
        Q_UNUSED(registerCode);
    }
    void clearDeviceSelections();
    void refreshGrid();
    // Fills a list with an item a row of a statement, nothing chosen.
    using ItemText = std::function<QString(const db::Query& row)>;
    void fillList(QComboBox& list, const QString& sql, const ItemText& item);
    // "0", "1", ... up to count - 1.
    static QStringList numberItems(int count);
    void runOnPick(QComboBox* list, void (PlcMappingWindow::*handler)());
    QAction* registerMapAction() const { return registerMap_; }

    db::KeysetQueryModel ADOQueryPLC;
    db::Query ADOQuery;
    db::OwnConnection ownConnection_;
    int funcCode_;  // as the window's changes are logged

    QTableView* DBGrid1;
    QComboBox* cbCode;
    QComboBox* cbRType;
    QComboBox* cbRCode;
    QComboBox* cbRBit;
    QComboBox* cbDeviceType;
    QComboBox* cbDeviceCode;
    QComboBox* cbDeviceParam;
    QPushButton* btConnect;
    QPushButton* btDelete;

private:
    bool selectionsComplete() const;
    bool storeMapping(const data::PlcMapping& mapping);
    void showFoundDevice(const QVariantList& key);
    std::optional<int> mapPlc() const;

    std::unique_ptr<ui::TitleSort> sort_;
    QAction* registerMap_;
};

}  // namespace tunnel::wiring
