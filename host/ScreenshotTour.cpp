#include "ScreenshotTour.h"

#include "Functions.h"
#include "HostWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>

namespace tunnel::host {
namespace {

constexpr int kSettleMs = 300;
// The register exported and imported again.
const QString kRegisterFile =
    QStringLiteral("设备表.csv");  // lets a window load and paint its rows before the picture

// A window the module keeps open beside the host's (the overview), not modal.
QWidget* windowBeside() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr &&
            widget->objectName().startsWith(QStringLiteral("fm")) && !widget->isModal())
            return widget;
    }
    return nullptr;
}

QWidget* topModalWindow() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    QWidget* top = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isModal())
            top = widget;
    }
    return top != nullptr ? top : windowBeside();
}

void settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kSettleMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// The windows a window's buttons and menu entries open, for the pictures: the device list
// opens its three editors on a message sign, its timeline, the search, its log, and exports the
// register and imports it again (pictured up to the question before it); the wiring and PLC
// windows their maps.
QStringList childButtons(const QString& objectName) {
    if (objectName == u"fmDeviceMainage") {
        return {QStringLiteral("btEdit"),
                QStringLiteral("btConnect"),
                QStringLiteral("btProperty"),
                QStringLiteral("运行记录(&T)..."),
                QStringLiteral("查找(&F)..."),
                QStringLiteral("操作记录(&L)..."),
                QStringLiteral("导出设备表(&X)..."),
                QStringLiteral("导入设备表(&I)...")};
    }
    if (objectName == u"fmNetGateConfig") {
        return {QStringLiteral("btConnect"), QStringLiteral("端子图(&M)...")};
    }
    if (objectName == u"fmPlcConfig" || objectName == u"fmOmronPlcConfig") {
        return {QStringLiteral("位图(&M)...")};
    }
    return {};
}

// The timeline pictured over the demo's six weeks of history.
void prepareTimeline(QWidget& window) {
    auto* begin = window.findChild<QDateEdit*>(QStringLiteral("dtpBegin"));
    auto* query = window.findChild<QAbstractButton*>(QStringLiteral("btQuery"));
    if (begin == nullptr || query == nullptr)
        return;
    begin->setDate(QDate::currentDate().addDays(-42));
    query->click();
}

// The port assignment pictured with work in hand: the first type with a free device, that
// device, and its first parameter assigned to the first free terminal.
void prepareAssignment(QWidget& window) {
    auto* types = window.findChild<QComboBox*>(QStringLiteral("cbType"));
    auto* numbers = window.findChild<QComboBox*>(QStringLiteral("cbCode"));
    auto* terminals = window.findChild<QListWidget*>(QStringLiteral("lbPort"));
    auto* assign = window.findChild<QAbstractButton*>(QStringLiteral("btConnect"));
    if (types == nullptr || numbers == nullptr || terminals == nullptr || assign == nullptr)
        return;
    for (int type = 0; type < types->count() && numbers->count() == 0; ++type) {
        types->setCurrentIndex(type);
    }
    numbers->setCurrentIndex(0);
    terminals->setCurrentRow(0);
    assign->click();
}

void selectRowShowing(QWidget& window, const QString& text) {
    auto* grid = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    if (grid == nullptr || grid->model() == nullptr)
        return;
    for (int row = 0; row < grid->model()->rowCount(); ++row) {
        const QModelIndex cell = grid->model()->index(row, 0);
        if (cell.data().toString().trimmed() == text) {
            grid->setCurrentIndex(cell);
            return;
        }
    }
}

}  // namespace

ScreenshotTour::ScreenshotTour(HostWindow& window, const QDir& folder)
    : window_(window), folder_(folder) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
}

void ScreenshotTour::save(QWidget& widget, const QString& name) {
    const QString file = folder_.filePath(name + QStringLiteral(".png"));
    if (widget.grab().save(file)) {
        written_.append(file);
    }
}

void ScreenshotTour::capture(QWidget& window) {
    // Windows live on the stack of the handler that opens them, so the next window can come at
    // a destroyed one's address: a window is forgotten when it goes.
    captured_.insert(&window);
    QObject::connect(&window, &QObject::destroyed, &timer_, [this, address = &window] {
        captured_.remove(address);
        pendingButtons_.remove(address);
    });
    if (window.objectName() == u"fmNgConnect") {
        prepareAssignment(window);
    } else if (window.objectName() == u"fmDeviceTimeline") {
        prepareTimeline(window);
    }
    settle();
    if (auto* files = qobject_cast<QFileDialog*>(&window)) {
        // Typed as an operator types it: the folder, then the name in the dialog's own field.
        files->setDirectory(files_.path());
        if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            name->setText(kRegisterFile);
        }
        settle();
    }
    // The file dialogs and message boxes are Qt's, without names of ours.
    const QString title = window.objectName().isEmpty()
                              ? QString::fromLatin1(window.metaObject()->className())
                              : window.objectName();
    const QString name =
        shot_ == 0
            ? QStringLiteral("%1-%2").arg(code_, 2, 10, QChar(u'0')).arg(title)
            : QStringLiteral("%1-%2-%3").arg(code_, 2, 10, QChar(u'0')).arg(shot_).arg(title);
    ++shot_;
    save(window, name);
    const QStringList buttons = childButtons(window.objectName());
    if (!buttons.isEmpty()) {
        selectRowShowing(window, QStringLiteral("可变情报板"));
        pendingButtons_.insert(&window, buttons);
    }
}

// Clicks the next button outside this timer's callback: the window it opens runs a modal loop
// of its own, in which this timer must go on firing.
void ScreenshotTour::openNextChild(QWidget& window) {
    const QString name = pendingButtons_[&window].takeFirst();
    auto* button = window.findChild<QAbstractButton*>(name);
    // What no button opens is opened by the window's action of that title.
    QAction* action = nullptr;
    for (QAction* candidate : window.findChildren<QAction*>()) {
        if (candidate->text() == name)
            action = candidate;
    }
    clickingIn_ = &window;
    QTimer::singleShot(
        0, [this, button = QPointer<QAbstractButton>(button), action = QPointer<QAction>(action)] {
            if (button != nullptr)
                button->click();
            else if (action != nullptr)
                action->trigger();
            clickingIn_ = nullptr;
        });
}

void ScreenshotTour::poll() {
    QWidget* window = topModalWindow();
    if (window == nullptr)
        return;
    if (!captured_.contains(window)) {
        capture(*window);
        return;
    }
    if (window == clickingIn_)
        return;  // its button is about to open a window
    if (!pendingButtons_.value(window).isEmpty()) {
        openNextChild(*window);
        return;
    }
    pendingButtons_.remove(window);
    if (auto* files = qobject_cast<QFileDialog*>(window)) {
        static_cast<QDialog*>(files)->done(QDialog::Accepted);  // the file chosen, as typed
    } else if (auto* dialog = qobject_cast<QDialog*>(window)) {
        dialog->reject();
    } else {
        window->close();
    }
}

QStringList ScreenshotTour::run() {
    folder_.mkpath(QStringLiteral("."));
    window_.show();
    settle();
    save(window_, QStringLiteral("00-host"));
    timer_.start();
    for (const Function& function : pluginFunctions()) {
        code_ = function.code;
        shot_ = 0;
        window_.runFunction(function.code);
        // A window kept beside the host's returned at once: pictured and closed by the timer.
        QElapsedTimer open;
        open.start();
        while (windowBeside() != nullptr && open.elapsed() < 30'000) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
    timer_.stop();
    return written_;
}

}  // namespace tunnel::host
