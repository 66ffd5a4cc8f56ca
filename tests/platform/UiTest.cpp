#include "platform/db/DbError.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ErrorReport.h"
#include "platform/ui/ExactCaption.h"
#include "platform/ui/FileDetailsInChinese.h"
#include "platform/ui/Form.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Modal.h"
#include "support/MessageRecorder.h"
#include "support/ModalScripts.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>

using namespace tunnel;
using test::MessageRecorder;

TEST(MessageBoxes, AreRecordedWithTextCaptionAndFlagsAndAnswered) {
    MessageRecorder recorder;
    recorder.answer(ui::IdNo);
    EXPECT_EQ(ui::messageBox(QStringLiteral("确实删除该选中区域吗?"), QStringLiteral("提示"),
                             ui::mb::YesNoCancel | ui::mb::IconWarning),
              ui::IdNo);
    EXPECT_EQ(ui::messageBox(QStringLiteral("确定要删除此设备吗？"), QStringLiteral("警告"), 0x31),
              ui::IdOk);
    ui::showMessage(QStringLiteral("没有发现主程序中的Frame_HaveRight函数"));
    ASSERT_EQ(recorder.messages().size(), 3);
    EXPECT_EQ(recorder.messages()[0].flags, 0x33U);
    EXPECT_EQ(recorder.messages()[2].caption, ui::applicationTitle());
    EXPECT_EQ(recorder.messages()[2].flags, 0U);
}

// The real box, as an operator sees it: each button set with the labels of a Chinese Windows
// desktop, and the id of the button pressed.
TEST(MessageBoxes, ButtonsReadAsOnAChineseDesktopAndAnswerTheirIds) {
    struct Case {
        unsigned flags;
        QStringList labels;
        int pressed;
        int id;
    };
    const Case cases[] = {
        {ui::mb::Ok, {QStringLiteral("确定")}, 0, ui::IdOk},
        {ui::mb::OkCancel, {QStringLiteral("确定"), QStringLiteral("取消")}, 1, ui::IdCancel},
        {ui::mb::AbortRetryIgnore,
         {QStringLiteral("中止(&A)"), QStringLiteral("重试(&R)"), QStringLiteral("忽略(&I)")},
         2,
         ui::IdIgnore},
        {ui::mb::YesNoCancel,
         {QStringLiteral("是(&Y)"), QStringLiteral("否(&N)"), QStringLiteral("取消")},
         1,
         ui::IdNo},
        {ui::mb::YesNo, {QStringLiteral("是(&Y)"), QStringLiteral("否(&N)")}, 0, ui::IdYes},
        {ui::mb::RetryCancel, {QStringLiteral("重试(&R)"), QStringLiteral("取消")}, 0, ui::IdRetry},
    };
    for (const Case& c : cases) {
        QStringList labels;
        QString details;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons()) {
                if (box->buttonRole(button) != QMessageBox::ActionRole) {
                    labels.append(button->text());
                }
            }
            details = box->detailedText();
            QList<QAbstractButton*> ordered;
            for (QAbstractButton* button : box->buttons()) {
                if (c.labels.contains(button->text())) {
                    ordered.append(button);
                }
            }
            std::sort(ordered.begin(), ordered.end(), [&](auto* a, auto* b) {
                return c.labels.indexOf(a->text()) < c.labels.indexOf(b->text());
            });
            ordered[c.pressed]->click();
        });
        const int id = ui::messageBox(ui::MessageRequest{
            QStringLiteral("文字"), QStringLiteral("提示"), c.flags | ui::mb::IconQuestion, nullptr,
            QStringLiteral("select 1")});
        std::sort(labels.begin(), labels.end());
        QStringList expected = c.labels;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(labels, expected) << "flags " << c.flags;
        EXPECT_EQ(id, c.id) << "flags " << c.flags;
        EXPECT_EQ(details, QStringLiteral("select 1"));
    }
}

TEST(DefaultErrorReport, ShowsTheErrorsOwnTextAndEndsTheHandler) {
    MessageRecorder recorder;
    bool reachedEnd = false;
    const bool completed = ui::guarded([&] {
        throw db::DbError(QStringLiteral("no such table: AREA"), QStringLiteral("1"), false,
                          QStringLiteral("SELECT * FROM AREA"));
        reachedEnd = true;
    });
    EXPECT_FALSE(completed);
    EXPECT_FALSE(reachedEnd);
    ASSERT_EQ(recorder.messages().size(), 1);
    EXPECT_EQ(recorder.messages()[0].text, QStringLiteral("no such table: AREA"));
    EXPECT_EQ(recorder.messages()[0].details, QStringLiteral("SELECT * FROM AREA"));
    EXPECT_EQ(recorder.messages()[0].caption, ui::applicationTitle());
    EXPECT_EQ(recorder.messages()[0].flags, ui::mb::IconStop);

    EXPECT_FALSE(ui::guarded([] { throw std::runtime_error("plain failure"); }));
    EXPECT_EQ(recorder.messages().back().text, QStringLiteral("plain failure"));
    EXPECT_TRUE(ui::guarded([] {}));
    EXPECT_EQ(recorder.messages().size(), 2);
}

// A window's caption is exact because the host's title is taken away while it shows; the boxes
// that window raises meanwhile (an error at its show, a refusal in a file dialog) still carry the
// host's title, never the executable's name.
TEST(DefaultErrorReport, IsCaptionedWithTheHostsTitleWhileAWindowShows) {
    MessageRecorder recorder;
    QGuiApplication::setApplicationDisplayName(QStringLiteral("隧道监控系统"));
    ui::Form window(QStringLiteral("fmProbe"), QStringLiteral("探测"), nullptr);
    struct ReportAtShow : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show) {
                ui::guarded([] { throw std::runtime_error("at show"); });
                ui::showMessage(QStringLiteral("plain"));
            }
            return false;
        }
    } probe;
    window.installEventFilter(&probe);
    window.show();
    {
        const ui::ExactCaption outer;
        const ui::ExactCaption inner;
        ui::reportError(QStringLiteral("nested"));
    }
    ui::reportError(QStringLiteral("after"));
    QGuiApplication::setApplicationDisplayName(QCoreApplication::applicationName());
    ui::reportError(QStringLiteral("no title set"));

    ASSERT_EQ(recorder.messages().size(), 5);
    for (int box = 0; box < 4; ++box) {
        EXPECT_EQ(recorder.messages()[box].caption, QStringLiteral("隧道监控系统"))
            << recorder.messages()[box].text.toStdString();
    }
    EXPECT_EQ(recorder.messages()[4].caption, QCoreApplication::applicationName());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("探测"));
}

TEST(ModalRunner, ScriptsDriveNestedWindowsAndReturnTheirResults) {
    test::ModalScripts scripts;
    QDialog outer;
    outer.setObjectName(QStringLiteral("fmOuter"));
    int innerResult = -1;
    scripts.expect(QStringLiteral("fmOuter"), [&](QDialog& dialog) {
        EXPECT_TRUE(dialog.isVisible());
        QDialog inner(&dialog);
        inner.setObjectName(QStringLiteral("fmInner"));
        innerResult = ui::runModal(inner);
        dialog.accept();
        return ui::mrCancel;  // already closed with OK: the window's own result stands
    });
    scripts.expect(QStringLiteral("fmInner"), [](QDialog&) { return ui::mrOK; });
    EXPECT_EQ(ui::runModal(outer), ui::mrOK);
    EXPECT_EQ(innerResult, ui::mrOK);
    EXPECT_FALSE(outer.isVisible());
    EXPECT_TRUE(scripts.allUsed());

    QDialog stray;
    stray.setObjectName(QStringLiteral("fmStray"));
    EXPECT_EQ(ui::runModal(stray), ui::mrCancel);
    EXPECT_EQ(scripts.unexpected(), QStringList{QStringLiteral("fmStray")});
}

// A whole date typed into a date field is taken as typed, over the field's whole text chosen or
// over its first part as Tab leaves it, in either of its formats.
TEST(DatePicker, AWholeTypedDateIsTaken) {
    for (const bool longFormat : {false, true}) {
        for (const bool allChosen : {true, false}) {
            QWidget window;
            QDateEdit* picker = ui::datePicker(&window, "dtpBegin", 10, 30, 160, longFormat);
            picker->setDate(QDate(2020, 5, 17));
            window.show();
            QApplication::setActiveWindow(&window);
            picker->setFocus();
            auto* field = picker->findChild<QLineEdit*>();
            ASSERT_NE(field, nullptr);
            if (allChosen) {
                field->selectAll();
            }
            QTest::keyClicks(picker, QStringLiteral("2026-11-01"));
            QTest::keyClick(picker, Qt::Key_Tab);
            EXPECT_EQ(picker->date(), QDate(2026, 11, 1))
                << "long " << longFormat << ", all chosen " << allChosen << ": "
                << field->text().toStdString();
        }
    }
}

// A date field as on the platform the windows come from: Tab and Shift+Tab leave it (not walk
// its year, month and day), Alt+Down and F4 open its calendar and leave the date as it was.
TEST(DatePicker, TabLeavesTheFieldAndAltDownOpensTheCalendar) {
    QWidget window;
    auto* before = new QLineEdit(&window);
    QDateEdit* picker = ui::datePicker(&window, "dtpBegin", 10, 30, 100, false);
    auto* after = new QLineEdit(&window);
    after->move(10, 60);
    window.show();
    QApplication::setActiveWindow(&window);
    for (const auto& [key, modifiers, expected] :
         {std::tuple{Qt::Key_Tab, Qt::NoModifier, static_cast<QWidget*>(after)},
          std::tuple{Qt::Key_Backtab, Qt::ShiftModifier, static_cast<QWidget*>(before)}}) {
        picker->setFocus();
        QTest::keyClick(picker, key, modifiers);
        EXPECT_EQ(QApplication::focusWidget(), expected) << key;
    }
    const QDate shown(2026, 3, 15);
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Down, Qt::AltModifier}, std::pair{Qt::Key_F4, Qt::NoModifier}}) {
        picker->setDate(shown);
        picker->setFocus();
        QTest::keyClick(picker, key, modifiers);
        auto* calendar = picker->findChild<QCalendarWidget*>();
        ASSERT_NE(calendar, nullptr) << key;
        EXPECT_TRUE(calendar->isVisible()) << key;
        EXPECT_EQ(picker->date(), shown) << key;
        calendar->window()->hide();
    }
}

// A file dialog's sizes and times read in Chinese on a machine of any locale; a folder keeps
// its empty size.
TEST(FileDialogList, SizesAndTimesReadInChinese) {
    QTemporaryDir folder;
    QFile small(folder.filePath(QStringLiteral("a.csv")));
    ASSERT_TRUE(small.open(QIODevice::WriteOnly));
    small.write(QByteArray(100, 'x'));
    small.close();
    QFile larger(folder.filePath(QStringLiteral("b.csv")));
    ASSERT_TRUE(larger.open(QIODevice::WriteOnly));
    larger.write(QByteArray(2048, 'x'));
    larger.close();
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("c")));
    QFileSystemModel files;
    bool loaded = false;
    QObject::connect(&files, &QFileSystemModel::directoryLoaded,
                     [&](const QString& path) { loaded = loaded || path == folder.path(); });
    files.setRootPath(folder.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 5000));
    ui::FileDetailsInChinese details;
    details.setSourceModel(&files);
    const auto shown = [&](const char* name, int column) {
        const QModelIndex file = details.mapFromSource(files.index(folder.filePath(name)));
        return details.data(file.siblingAtColumn(column), Qt::DisplayRole).toString();
    };
    EXPECT_EQ(shown("a.csv", 1), QString::fromUtf8("100 字节"));
    EXPECT_EQ(shown("b.csv", 1), QStringLiteral("2.00 KiB"));
    EXPECT_EQ(shown("c", 1), QString());
    EXPECT_EQ(shown("a.csv", 3),
              QLocale(QLocale::Chinese, QLocale::China)
                  .toString(QFileInfo(small).lastModified(), QStringLiteral("yyyy/M/d HH:mm")));
}

// A box with a short text is as wide as its caption needs, so that the window manager does not
// cut the title to "…".
TEST(MessageBoxes, AShortTextKeepsTheCaptionWhole) {
    const QString caption = QString::fromUtf8("隧道监控系统 - 设备运行记录统计");
    int width = 0;
    int captionWidth = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        width = box->width();
        captionWidth = QFontMetrics(box->font()).horizontalAdvance(caption);
        box->buttons().front()->click();
    });
    ui::messageBox(QString::fromUtf8("共 12 条"), caption, ui::mb::Ok, nullptr);
    EXPECT_GT(width, captionWidth + 100);
}

// A spin edit's field lies between its frame's lines (the frame drawn whole; on the left one
// pixel in, as designed), and a 50-pixel box, as the windows were laid out, still shows five
// digits.
TEST(SpinEdits, TheFieldStaysInsideTheFrameAndShowsFiveDigits) {
    QWidget form;
    form.setFont(ui::designFont());
    QSpinBox* spin = ui::spinEdit(&form, "seCycle", 8, 8, 50, 0, 99999, 99999);
    form.show();
    auto* field = spin->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    const int frame = spin->style()->pixelMetric(QStyle::PM_SpinBoxFrameWidth, nullptr, spin);
    const QRect inside = spin->rect().adjusted(1, frame, -frame, -frame);
    EXPECT_TRUE(inside.contains(field->geometry()))
        << "field " << field->geometry().x() << "," << field->geometry().y() << " "
        << field->geometry().width() << "x" << field->geometry().height();
    EXPECT_LE(field->fontMetrics().horizontalAdvance(QStringLiteral("99999")), field->width());
}
