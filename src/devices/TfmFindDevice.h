#pragma once

#include "data/CodeName.h"
#include "data/DeviceSearch.h"
#include "data/ModuleContext.h"
#include "platform/db/KeysetQueryModel.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

#include <QTimer>
#include <QVariantList>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tunnel::devices {

// Finds a device by any text, a stake range and its place inside or outside the tunnel, as the
// operator types; Enter or a double-click on a match closes it with OK and the match's key.
class TfmFindDevice : public ui::Form {
    Q_OBJECT
public:
    // `scope` narrows every search (the gateways, the devices a PLC reaches).
    TfmFindDevice(QWidget* owner, const data::ModuleContext& context,
                  data::DeviceSearch scope = {});

    // The key (DEVICETYPE, DEVICECODE) of the match chosen, once closed with OK.
    const QVariantList& chosenKey() const { return chosen_; }

    Q_INVOKABLE void searchNow();

protected:
    void formShow() override;

private:
    void searchSoon();
    std::optional<data::Stake> stakeOf(QLineEdit& edit);
    void chooseCurrent();
    QVariantList keyOf(int row) const;
    // Shows the new matches on the match the user chose since the last search, where it is
    // still one; else on the first.
    void showMatches(const std::optional<QVariantList>& chosen);

    data::ModuleContext context_;
    data::DeviceSearch scope_;
    db::Query catalogues_;
    data::CodeNameList types_;
    data::CodeNameList areas_;
    db::KeysetQueryModel matches_;
    QTimer pause_;
    QVariantList chosen_;
    // The match the user chose since the last search (a click while a search was waiting for
    // the typing to pause): the search that follows keeps it chosen.
    std::optional<QVariantList> chosenSinceSearch_;
    bool searching_ = false;
    data::TextSearch textSearch_ = data::TextSearch::Scan;

    QLineEdit* edText;
    QLineEdit* edStakeFrom;
    QLineEdit* edStakeTo;
    QComboBox* cbSide;
    QLabel* lbStakeHint;
    QLabel* lbNotFound;
    QTableView* DBGrid1;
    QPushButton* btOK;
    QPushButton* btCancel;
};

}  // namespace tunnel::devices
