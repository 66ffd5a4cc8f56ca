#pragma once

#include <QDateEdit>

namespace tunnel::ui {

// A date field with a calendar that behaves as date pickers do on the platform the windows come
// from: Tab and Shift+Tab leave the field (Qt's walk the year, month and day first), and
// Alt+Down or F4 opens the calendar (Qt's Alt+Down lowers the date).
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openCalendar();
};

}  // namespace tunnel::ui
