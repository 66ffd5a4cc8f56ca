#include "platform/ui/FileDialog.h"

#include "platform/db/DatabaseFiles.h"
#include "platform/ui/ExactCaption.h"
#include "platform/ui/FileDetailsInChinese.h"
#include "platform/ui/Form.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/NameOnlyIconProvider.h"

#include <QFileDialog>

namespace tunnel::ui {
namespace {

// Qt's own dialog rather than the desktop's, so that what it does with the files it lists is
// ours to decide, and in the windows' font, as they are.
class ModuleFileDialog : public QFileDialog {
public:
    ModuleFileDialog(QWidget* owner, const QString& caption, const QString& suggested,
                     const QString& filter, FileChoice choice,
                     std::function<QString(const QString&)> finalPath,
                     QAbstractFileIconProvider& icons)
        : QFileDialog(owner, caption, suggested, filter),
          choice_(choice),
          finalPath_(std::move(finalPath)) {
        setOption(QFileDialog::DontUseNativeDialog);
        setIconProvider(&icons);
        setProxyModel(new FileDetailsInChinese(this));
        setFont(designFont());
        if (choice == FileChoice::Save) {
            setAcceptMode(QFileDialog::AcceptSave);
        } else {
            setAcceptMode(QFileDialog::AcceptOpen);
            setFileMode(QFileDialog::ExistingFile);
        }
    }

    void accept() override {
        for (const QString& file : selectedFiles()) {
            if (refuseDatabaseFile(finalPath_(file), choice_, this)) {
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    FileChoice choice_;
    std::function<QString(const QString&)> finalPath_;
};

}  // namespace

bool refuseDatabaseFile(const QString& path, FileChoice choice, QWidget* owner) {
    if (!db::isDatabaseFile(path)) {
        return false;
    }
    const QString text =
        choice == FileChoice::Save
            ? QStringLiteral("“%1”是数据库的文件，写入它会毁坏数据库。请另选一个文件名。")
            : QStringLiteral("“%1”是数据库的文件，不是CSV文件，不能读取。请另选一个文件。");
    messageBox(text.arg(path), applicationTitle(), mb::IconWarning, owner);
    return true;
}

QString askForFile(QWidget* owner, const QString& caption, const QString& suggested,
                   const QString& filter, FileChoice choice,
                   const std::function<QString(const QString&)>& finalPath) {
    // Declared first: the dialog's model asks it from a thread of its own until it is gone.
    NameOnlyIconProvider icons;
    ModuleFileDialog dialog(owner, caption, suggested, filter, choice, finalPath, icons);
    const ExactCaption exact;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return finalPath(dialog.selectedFiles().front());
}

}  // namespace tunnel::ui
