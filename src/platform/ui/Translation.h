#pragma once

namespace tunnel::ui {

// Makes Qt's own texts (edit fields' context menus, the calendar) Chinese, as the rest of the
// user interface is, unless the application already speaks a language of its own choosing.
// Returns whether Qt's Chinese translation is in force afterwards.
bool useQtChineseTexts();

// Takes back what useQtChineseTexts installed: the translator must not outlive the module
// that owns it when a host unloads the plug-in.
void dropQtChineseTexts();

}  // namespace tunnel::ui
