// The windows as an operator sees them on a host whose main window is small and in a corner:
// where they open, the font they get, and whether the values their widths were laid out for
// show whole.
#include "DeviceFixture.h"
#include "devices/TfmAddDevice.h"
#include "devices/TfmCmsConfig.h"
#include "devices/TfmConnectConfig.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmArea.h"
#include "history/TfmDeviceAlert.h"
#include "history/TfmQueryStatus.h"
#include "wiring/TfmNetGateConfig.h"
#include "wiring/TfmOmronPlcConfig.h"
#include "wiring/TfmPlcConfig.h"

#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>
#include <QTableView>

#include <functional>

using namespace tunnel;
using test::child;

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
