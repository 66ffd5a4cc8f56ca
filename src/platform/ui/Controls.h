#pragma once

#include <QList>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace tunnel::ui {

// The standard controls of the module's windows, placed at fixed positions as their windows
// lay them out, and named for tests and accessibility tools.
QLabel* label(QWidget* parent, const QString& text, int left, int top, int width = -1);
QPushButton* button(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width = 75, int height = 25);
// A drop-down list; `editable` allows typing, as a combo box does.
// A group box drawn as on the platform the windows were designed for: an etched frame around
// its whole rectangle (the frame line through the middle of the title), the title set in from
// the left edge. The style's own draws the frame under the title only, where a child filling
// the box hides it, and the title at the very edge.
void frameAsDesigned(QGroupBox& box);

QComboBox* dropDown(QWidget* parent, const char* name, int left, int top, int width,
                    const QStringList& items = {}, bool editable = false);
// A spin edit that brings any value set or typed to the nearest bound of its range.
QSpinBox* spinEdit(QWidget* parent, const char* name, int left, int top, int width, int minimum,
                   int maximum, int value);
QLineEdit* editBox(QWidget* parent, const char* name, int left, int top, int width);
QListWidget* listBox(QWidget* parent, const char* name, int left, int top, int width, int height);
// A date picker with a drop-down calendar, set to today; the date only, in the short form
// (2004-05-30) or the long one (2004年5月30日).
QDateEdit* datePicker(QWidget* parent, const char* name, int left, int top, int width,
                      bool longFormat);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width = 60);
QRadioButton* radioButton(QWidget* parent, const char* name, const QString& caption, int left,
                          int top, int width = 80);

// The sunken line that separates a window's button strip, across the whole window.
void bevelLine(QWidget* window, int top);

// Sets the keyboard's tab order to the order of `controls`.
void setTabOrder(const QList<QWidget*>& controls);

// The position of the first item whose code (the text before its first "-") is `code`; -1
// when none is.
int indexOfCode(const QComboBox& list, const QString& code);

}  // namespace tunnel::ui
