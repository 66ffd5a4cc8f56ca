// The windows as an operator sees them on a host whose main window is small and in a corner:
// where they open, the font they get, and whether the values their widths were laid out for
// show whole.
#include "DeviceFixture.h"
#include "data/TdmPublicData.h"
#include "devices/TfmAddDevice.h"
#include "devices/TfmCmsConfig.h"
#include "devices/TfmConnectConfig.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmArea.h"
#include "history/TfmAvailability.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmQueryStatus.h"
#include "history/TfmTunnelView.h"
#include "platform/ui/Modal.h"
#include "wiring/TfmNetGateConfig.h"
#include "wiring/TfmNgConnect.h"
#include "wiring/TfmOmronPlcConfig.h"
#include "wiring/TfmPlcConfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <functional>
#include <set>

using namespace tunnel;
using test::child;
using test::click;

namespace {

using WindowFactory =
    std::function<std::unique_ptr<QDialog>(QWidget* owner, const data::ModuleContext&)>;

struct WindowCase {
    const char* name;
    WindowFactory create;
};

template <typename Window>
WindowFactory plain() {
    return [](QWidget* owner, const data::ModuleContext& context) {
        return std::make_unique<Window>(owner, context);
    };
}

template <typename Window>
WindowFactory forDevice(int type, int code) {
    return [type, code](QWidget* owner, const data::ModuleContext& context) {
        auto window = std::make_unique<Window>(owner, context);
        window->SetDevice(type, code);
        return window;
    };
}

const WindowCase kCentredWindows[] = {
    {"fmDeviceMainage", plain<devices::TfmDeviceMainage>()},
    {"fmAddDevice", forDevice<devices::TfmAddDevice>(5, 3)},
    {"fmConnectConfig", forDevice<devices::TfmConnectConfig>(5, 3)},
    {"fmArea",
     [](QWidget* owner, const data::ModuleContext& context) {
         return std::make_unique<history::TfmArea>(owner, context);
     }},
    {"fmQueryStatus", plain<history::TfmQueryStatus>()},
    {"fmDeviceAlert", plain<history::TfmDeviceAlert>()},
    {"fmTunnelView", plain<history::TfmTunnelView>()},
    {"fmAvailability", plain<history::TfmAvailability>()},
    {"fmNetGateConfig", plain<wiring::TfmNetGateConfig>()},
    {"fmPlcConfig", plain<wiring::TfmPlcConfig>()},
    {"fmOmronPlcConfig", plain<wiring::TfmOmronPlcConfig>()},
};

// Whether `text` shows unelided in a cell or field `width` pixels wide drawn with `font`,
// after the margins the style keeps on both sides.
bool showsWhole(const QFont& font, const QString& text, int width, int margins) {
    const QFontMetrics metrics(font);
    return metrics.elidedText(text, Qt::ElideRight, width - margins) == text;
}

class WindowLayout : public test::DeviceWindows {
protected:
    void SetUp() override {
        DeviceWindows::SetUp();
        hostWindow.setGeometry(0, 0, 220, 160);
        hostWindow.show();
    }

    QWidget hostWindow;
};

}  // namespace

TEST_P(WindowLayout, CentredWindowsOpenInTheScreensCentreWhateverTheirOwner) {
    const QPoint screenCentre = hostWindow.screen()->geometry().center();
    for (const WindowCase& c : kCentredWindows) {
        const auto window = c.create(&hostWindow, context());
        window->show();
        EXPECT_EQ(window->parentWidget(), &hostWindow) << c.name << " is owned by the host";
        // The frame is added around the client area once the window shows: a pixel or two.
        const QPoint offset = window->frameGeometry().center() - screenCentre;
        EXPECT_LE(offset.manhattanLength(), 4) << c.name << " is off the screen centre by ("
                                               << offset.x() << ", " << offset.y() << ")";
        window->close();
    }
    devices::TfmCmsConfig sign(&hostWindow, context());
    sign.show();
    EXPECT_EQ(sign.pos(), QPoint(314, 219)) << "the sign window keeps its design position";
}

TEST_P(WindowLayout, WindowsGetTheSongFaceAndTheDesignedValuesShowWhole) {
    for (const WindowCase& c : kCentredWindows) {
        const auto window = c.create(&hostWindow, context());
        const QString family = QFontInfo(window->font()).family();
        EXPECT_TRUE(family == QStringLiteral("宋体") || family == QStringLiteral("AR PL UMing CN"))
            << c.name << " got " << family.toStdString();
    }

    devices::TfmDeviceMainage list(&hostWindow, context());
    list.show();
    auto* grid = child<QTableView>(list, "DBGrid1");
    const int stakeColumn = 3;
    ASSERT_EQ(grid->model()->headerData(stakeColumn, Qt::Horizontal).toString(),
              QStringLiteral("桩号"));
    EXPECT_TRUE(
        showsWhole(grid->font(), QStringLiteral("K10+470"), grid->columnWidth(stakeColumn), 2 * 3));
    EXPECT_LE(grid->verticalHeader()->sectionSize(0), 20) << "rows as compact as designed";

    devices::TfmAddDevice editor(&hostWindow, context());
    editor.show();
    for (const char* name : {"seMili", "seMeter"}) {
        auto* spin = child<QSpinBox>(editor, name);
        spin->setValue(65535);
        auto* field = spin->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        EXPECT_TRUE(showsWhole(field->font(), QStringLiteral("65535"), field->width(), 2 * 2))
            << name << " field is " << field->width() << " px";
    }
}

INSTANTIATE_TEST_SUITE_P(SQLite, WindowLayout, ::testing::Values(db::Engine::SQLite),
                         test::engineName);

namespace {

// The rows a window's grid has when it first shows, for the keys that act on them.
void activate(QWidget& window, QWidget* focus) {
    QApplication::setActiveWindow(&window);
    if (focus != nullptr) {
        focus->setFocus();
    }
}

}  // namespace

// Escape closes none of the windows that have no cancel button (what was typed or
// assigned stays), and Enter in an edit box presses no button.
TEST_P(WindowLayout, EscapeAndEnterDoWhatThePartsGiveThem) {
    data::TdmPublicData lookup(context().connectionString);
    lookup.DataModuleCreate();
    std::vector<WindowCase> windows(std::begin(kCentredWindows), std::end(kCentredWindows));
    windows.push_back({"fmNgConnect", [](QWidget* owner, const data::ModuleContext& c) {
                           auto window = std::make_unique<wiring::TfmNgConnect>(owner, c);
                           window->SetGateway(1);
                           return window;
                       }});
    for (const auto& [name, create] : windows) {
        const auto window = create(&hostWindow, context());
        window->show();
        activate(*window, window->focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible()) << name << " closed on Escape";
        window->close();
    }

    devices::TfmAddDevice editor(&hostWindow, context());
    editor.show();
    auto* physics = child<QLineEdit>(editor, "edPhysics");
    activate(editor, physics);
    QTest::keyClicks(physics, QStringLiteral("A01"));
    QTest::keyClick(physics, Qt::Key_Return);
    EXPECT_TRUE(editor.isVisible()) << "Enter in an edit box pressed a button";
    EXPECT_EQ(allDevices().size(), 3);
    auto* cancel = child<QPushButton>(editor, "Button2");
    activate(editor, cancel);
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_EQ(editor.result(), ui::mrCancel) << "Enter presses the focused button";
}

// The message-sign window names its buttons: Escape is 取消, one Enter from any of its
// controls is 确定.
TEST_P(WindowLayout, TheSignWindowTakesEscapeAndOneEnterFromEveryControl) {
    devices::TfmCmsConfig escaped(&hostWindow, context());
    escaped.DeviceCode = 5;
    escaped.show();
    activate(escaped, escaped.focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), ui::mrCancel);
    EXPECT_FALSE(escaped.isVisible());

    devices::TfmCmsConfig probe(&hostWindow, context());
    QStringList controls;
    for (QWidget* control : probe.findChildren<QWidget*>()) {
        if (control->focusPolicy() & Qt::TabFocus && !control->objectName().isEmpty() &&
            !qobject_cast<QPushButton*>(control) && control->parentWidget() != nullptr &&
            !control->parentWidget()->inherits("QAbstractSpinBox") &&
            !control->parentWidget()->inherits("QComboBox")) {
            controls.append(control->objectName());
        }
    }
    ASSERT_FALSE(controls.isEmpty());
    for (const QString& name : controls) {
        devices::TfmCmsConfig sign(&hostWindow, context());
        sign.DeviceCode = 5;
        sign.show();
        child<QComboBox>(sign, "cbPicSize")->setEditText(QStringLiteral("16"));
        auto* control = sign.findChild<QWidget*>(name);
        activate(sign, control);
        QTest::keyClick(control, Qt::Key_Return);
        EXPECT_EQ(sign.result(), ui::mrOK) << name.toStdString() << " needs more than one Enter";
        sign.close();
    }
}

// Read-only grids give Tab to the window's tab order; the area table keeps it between cells.
// The designed grids with a row indicator show one, the others none; titles are in the window's
// face and not bold.
TEST_P(WindowLayout, GridsTakeTabAndShowIndicatorsAsThePartsSay) {
    const std::set<QString> indicated = {
        QStringLiteral("fmDeviceMainage/DBGrid1"), QStringLiteral("fmNetGateConfig/DBGrid1"),
        QStringLiteral("fmNetGateConfig/DBGrid2"), QStringLiteral("fmQueryStatus/DBGrid"),
        QStringLiteral("fmArea/DBGrid1")};
    for (const WindowCase& c : kCentredWindows) {
        const auto window = c.create(&hostWindow, context());
        window->show();
        for (QTableView* grid : window->findChildren<QTableView*>()) {
            const QString name = QString::fromLatin1(c.name) + u'/' + grid->objectName();
            activate(*window, grid);
            QTest::keyClick(grid, Qt::Key_Tab);
            const bool area = QString::fromLatin1(c.name) == u"fmArea";
            EXPECT_EQ(QApplication::focusWidget() == grid, area) << name.toStdString();
            EXPECT_EQ(grid->verticalHeader()->isVisible(), indicated.count(name) > 0)
                << name.toStdString();
            EXPECT_FALSE(grid->horizontalHeader()->highlightSections()) << name.toStdString();
            EXPECT_EQ(grid->horizontalHeader()->font().family(), window->font().family());
        }
        window->close();
    }
}

// Whatever display name the host gives the application, a window of the module shows exactly
// its caption: the name is empty while the window system gets the title, and back after.
TEST_P(WindowLayout, TitleBarsShowExactlyTheCaption) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("隧道监控系统"));
    QString nameAtShow = QStringLiteral("<not shown>");
    devices::TfmDeviceMainage list(&hostWindow, context());
    struct ShowProbe : QObject {
        QString* seen;
        explicit ShowProbe(QString* s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show) {
                *seen = QGuiApplication::applicationDisplayName();
            }
            return false;
        }
    } probe(&nameAtShow);
    list.installEventFilter(&probe);
    list.show();
    EXPECT_EQ(nameAtShow, QString());
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("隧道监控系统"));
    EXPECT_EQ(list.windowTitle(), QStringLiteral("设备管理"));
    QGuiApplication::setApplicationDisplayName(QCoreApplication::applicationName());
}

namespace {

// A table's column titles wider than their columns (the tables of the windows beyond the
// designed grids size their columns themselves).
QStringList cutColumnTitles(const QTableWidget& table, const QString& name) {
    QStringList cut;
    const QHeaderView& header = *table.horizontalHeader();
    for (int column = 0; column < table.columnCount(); ++column) {
        // The header's own measure of its title, margins and all.
        if (header.sectionSize(column) < header.sectionSizeHint(column)) {
            cut.append(name + QStringLiteral(" column “") +
                       table.horizontalHeaderItem(column)->text() + QStringLiteral("” cut"));
        }
    }
    return cut;
}

// What of a window's own controls is clipped: a control reaching outside its parent, a
// caption wider than its control, or a table's column title wider than its column.
QStringList clippedControls(QWidget& window) {
    QStringList clipped;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        QWidget* parent = control->parentWidget();
        const bool own = parent == &window || qobject_cast<QGroupBox*>(parent) != nullptr;
        if (!own || !control->isVisible()) {
            continue;
        }
        const QString name = control->objectName().isEmpty()
                                 ? QString::fromLatin1(control->metaObject()->className())
                                 : control->objectName();
        if (!parent->rect().contains(control->geometry())) {
            clipped.append(name + QStringLiteral(" outside its parent"));
        }
        QString caption;
        int room = control->width();
        if (auto* label = qobject_cast<QLabel*>(control)) {
            caption = label->wordWrap() ? QString() : label->text();
        } else if (qobject_cast<QCheckBox*>(control) != nullptr ||
                   qobject_cast<QRadioButton*>(control) != nullptr) {
            if (control->sizeHint().width() > room) {
                clipped.append(name + QStringLiteral(" caption cut"));
            }
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            caption = button->text().remove(u'&');
            room -= 8;  // the button's frame and margins
        } else if (auto* table = qobject_cast<QTableWidget*>(control)) {
            clipped += cutColumnTitles(*table, name);
        }
        if (!caption.isEmpty() && control->fontMetrics().horizontalAdvance(caption) > room) {
            clipped.append(name + QStringLiteral(" caption “") + caption + QStringLiteral("” cut"));
        }
    }
    return clipped;
}

}  // namespace

// Nothing of a window is clipped: each control inside its parent, each caption within its
// control, at the scale the suite runs at (ctest runs it again at 1.5 and 2).
TEST_P(WindowLayout, NothingIsClippedAtTheScreensScale) {
    std::vector<WindowCase> windows(std::begin(kCentredWindows), std::end(kCentredWindows));
    windows.push_back({"fmCmsConfig", plain<devices::TfmCmsConfig>()});
    for (const auto& [name, create] : windows) {
        const auto window = create(&hostWindow, context());
        window->show();
        EXPECT_EQ(clippedControls(*window), QStringList()) << name;
        // A window that sizes itself opens within the screen, every control reachable, down to
        // the smallest screen of a control room: 1366x768 at twice the scale (683x384 points).
        const QSize available = window->screen()->availableGeometry().size();
        if (window->minimumSize() != window->maximumSize() && available.width() >= 683) {
            EXPECT_LE(window->width(), available.width()) << name;
            EXPECT_LE(window->height(), available.height()) << name;
        }
        window->close();
    }
}
