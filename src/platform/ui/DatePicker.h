#pragma once

#include <QDateEdit>

namespace tunnel::ui {

// A date field with a calendar that behaves as date pickers do on the platform the windows come
// from: Tab and Shift+Tab leave the field (Qt's walk the year, month and day first), and
// Alt+Down or F4 opens the calendar (Qt's Alt+Down lowers the date). A whole date typed over
// the field's text is taken, in its own format or as "2026-11-01", "2026/11/1", "2026.11.1" or
// "20261101" (Qt's takes only a section at a time).
class DatePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

    QValidator::State validate(QString& input, int& pos) const override;

protected:
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;
    QDateTime dateTimeFromText(const QString& text) const override;

private:
    void openCalendar();
};

}  // namespace tunnel::ui
