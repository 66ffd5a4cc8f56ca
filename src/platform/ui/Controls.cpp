#include "platform/ui/Controls.h"

#include "platform/text/TextRules.h"
#include "platform/ui/DatePicker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyleOption>

namespace tunnel::ui {
namespace {

// A spin edit's text field from the frame to the arrows: the windows' spin edits were laid out
// with the narrow frame of the platform they were drawn for, and a 50-pixel box must still show
// five digits.
class SpinEditStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control == CC_SpinBox && part == SC_SpinBoxEditField) {
            // Between the frame's top and bottom lines, which the field's own background would
            // otherwise paint over (at a scale of 2 only the left edge and the arrows were
            // left); from one pixel in on the left, as designed, for the digits' room.
            const QRect arrows = QProxyStyle::subControlRect(control, option, SC_SpinBoxUp, widget);
            const int frame = proxy()->pixelMetric(PM_SpinBoxFrameWidth, option, widget);
            const QRect box = option->rect;
            return QRect(box.left() + 1, box.top() + frame, arrows.left() - box.left() - 1,
                         box.height() - 2 * frame);
        }
        return QProxyStyle::subControlRect(control, option, part, widget);
    }
};

// A group box as the windows' platform draws it: the frame round the whole box, its top line
// through the middle of the title, the title set in from the left and the line broken behind it.
class GroupFrameStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        const QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
        if (control != CC_GroupBox) {
            return rect;
        }
        if (part == SC_GroupBoxLabel) {
            return rect.translated(kTitleInset, 0);
        }
        if (part == SC_GroupBoxFrame) {
            const QRect label =
                QProxyStyle::subControlRect(control, option, SC_GroupBoxLabel, widget);
            return option->rect.adjusted(0, label.height() / 2, 0, 0);
        }
        return rect;
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || box == nullptr) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
        const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget);
        painter->save();
        painter->setClipRegion(QRegion(option->rect).subtracted(label.adjusted(-2, 0, 2, 0)));
        // Etched: a dark line and a light one beside it.
        painter->setPen(option->palette.color(QPalette::Mid));
        painter->drawRect(frame.adjusted(0, 0, -2, -2));
        painter->setPen(option->palette.color(QPalette::Light));
        painter->drawRect(frame.adjusted(1, 1, -1, -1));
        painter->restore();
        QStyleOptionGroupBox title(*box);
        title.subControls = SC_GroupBoxLabel;
        QProxyStyle::drawComplexControl(control, &title, painter, widget);
    }

private:
    static constexpr int kTitleInset = 8;
};

template <typename Control>
Control* placed(Control* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

}  // namespace

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width) {
    auto* l = new QLabel(text, parent);
    l->move(left, top);
    if (width > 0) {
        l->resize(width, l->sizeHint().height());
    } else {
        l->adjustSize();
    }
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height) {
    auto* b = placed(new QPushButton(caption, parent), name, left, top, width, height);
    b->setAutoDefault(false);
    return b;
}

void frameAsDesigned(QGroupBox& box) {
    // A style of the box's own: a style sheet would also change how its children take their
    // font.
    auto* style = new GroupFrameStyle;
    style->setParent(&box);
    box.setStyle(style);
}

QComboBox* dropDown(QWidget* parent, const char* name, int left, int top, int width,
                    const QStringList& items, bool editable) {
    auto* box = placed(new QComboBox(parent), name, left, top, width, 22);
    box->setEditable(editable);
    box->addItems(items);
    box->setCurrentIndex(-1);
    if (editable) {
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setEditText(QString());
    }
    return box;
}

QSpinBox* spinEdit(QWidget* parent, const char* name, int left, int top, int width, int minimum,
                   int maximum, int value) {
    auto* spin = placed(new QSpinBox(parent), name, left, top, width, 22);
    auto* style = new SpinEditStyle;
    style->setParent(spin);
    spin->setStyle(style);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return spin;
}

QLineEdit* editBox(QWidget* parent, const char* name, int left, int top, int width) {
    return placed(new QLineEdit(parent), name, left, top, width, 22);
}

QListWidget* listBox(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(left, top, width, height);
    return list;
}

QDateEdit* datePicker(QWidget* parent, const char* name, int left, int top, int width,
                      bool longFormat) {
    auto* picker = placed(new DatePicker(parent), name, left, top, width, 22);
    picker->setDisplayFormat(longFormat ? QStringLiteral("yyyy年M月d日")
                                        : QStringLiteral("yyyy-MM-dd"));
    return picker;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width) {
    return placed(new QCheckBox(caption, parent), name, left, top, width, 20);
}

QRadioButton* radioButton(QWidget* parent, const char* name, const QString& caption, int left,
                          int top, int width) {
    return placed(new QRadioButton(caption, parent), name, left, top, width, 20);
}

void bevelLine(QWidget* window, int top) {
    auto* line = new QFrame(window);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(0, top, window->width(), 2);
}

void setTabOrder(const QList<QWidget*>& controls) {
    for (qsizetype i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

int indexOfCode(const QComboBox& list, const QString& code) {
    for (int i = 0; i < list.count(); ++i) {
        if (text::codeBeforeDash(list.itemText(i)) == code) {
            return i;
        }
    }
    return -1;
}

}  // namespace tunnel::ui
