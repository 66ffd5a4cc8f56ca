#pragma once

#include <QString>

namespace tunnel::ui {

// While it lives, the application's display name is empty: a window shown meanwhile gets its
// caption as the title bar's whole text. Qt appends the display name a host sets ("设备管理 —
// 隧道监控系统") to every title it gives the window system; the module's captions are whole.
class ExactCaption {
public:
    ExactCaption();
    ~ExactCaption();
    ExactCaption(const ExactCaption&) = delete;
    ExactCaption& operator=(const ExactCaption&) = delete;

private:
    QString displayName_;
    bool active_;
};

// The display name an ExactCaption has emptied, while one lives; otherwise empty. Boxes that
// carry the application's title take it from here meanwhile.
QString displayNameWhileEmptied();

}  // namespace tunnel::ui
