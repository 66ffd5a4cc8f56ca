#pragma once

#include "data/ModuleContext.h"
#include "data/TunnelView.h"
#include "platform/ui/Form.h"

#include <QHash>

#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;

namespace tunnel::db {
class Database;
}

namespace tunnel::history {

class TunnelStrip;

// The tunnel at a glance: every device at its stake in its current state (TunnelStrip), the
// newest state changes and alerts beside it, both kept current as other programs write (a look
// a second, reading only what is new). It only reads.
class TfmTunnelView : public ui::Form {
    Q_OBJECT
public:
    TfmTunnelView(QWidget* owner, const data::ModuleContext& context);
    // Opens centred on a device (type, number).
    TfmTunnelView(QWidget* owner, const data::ModuleContext& context, int deviceType,
                  int deviceCode);
    ~TfmTunnelView() override;

    // One look for what other programs wrote (the timer's step).
    void poll();
    void btFindClick();
    void btExportClick();
    // The chosen device's menu: its timeline and operation log, and, with the configuration
    // right, its editor and connection settings.
    void fillDeviceMenu(QMenu& menu, int device);
    // Whether every device's latest rows have come (the picture shows the register's states
    // until they have).
    bool latestRowsRead() const { return !latest_; }

protected:
    void formShow() override;
    void resizeEvent(QResizeEvent* event) override;
    // F11: full screen and back, for a wall display.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layOut();
    void readAll();
    void takeDevices(QVector<data::TunnelDevice> devices);
    void listUnplaced();
    void readRegisterAgain();
    void takeLatestRowsWhenRead();
    void sayHowMany();
    void fillTypes(const data::CodeNameList& types);
    void listEvent(const data::TunnelEvent& event, bool newest);
    void apply(const data::TunnelEvent& event);
    void openTimeline(int device);
    template <typename Window>
    void openDeviceForm(int device);
    void showDeviceMenu(int device, const QPoint& at);
    void centreOnListed(QListWidget& list, int row);
    // The picture and what is wrong now, after the devices' states changed.
    void showDevices();
    void showWhatIsWrong();
    QString deviceText(int type, int code) const;
    std::optional<int> indexOf(int type, int code) const;

    data::ModuleContext context_;
    std::optional<std::pair<int, int>> centreOn_;
    std::shared_ptr<db::Database> db_;
    std::unique_ptr<data::TunnelFeed> feed_;
    std::unique_ptr<data::LatestRowsReading> latest_;
    QVector<data::TunnelDevice> devices_;
    QHash<qint64, int> indexes_;  // device (type << 32 | number) to its index
    QHash<int, QString> typeNames_;
    bool lost_ = false;

    QComboBox* cbType;
    QLineEdit* edSearch;
    QPushButton* btFind;
    QPushButton* btExport;
    QPushButton* btClose;
    TunnelStrip* pbTunnel;
    QLabel* lEvents;
    QListWidget* lbEvents;
    QLabel* lCounts;
    QLabel* lWrong;
    QListWidget* lbWrong;
    QLabel* lUnplaced;
    QListWidget* lbUnplaced;
    QLabel* lStatus;
    QTimer* timer_;
    QTimer* latestTimer_;  // looks whether the latest rows have come
};

}  // namespace tunnel::history
