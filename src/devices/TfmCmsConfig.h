#pragma once

#include "data/ModuleContext.h"
#include "platform/db/Query.h"
#include "platform/ui/Form.h"

#include <QList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QSpinBox;

namespace tunnel::devices {

// The properties of one variable message sign (device type 12), written through the host.
class TfmCmsConfig : public ui::Form {
    Q_OBJECT
public:
    TfmCmsConfig(QWidget* owner, const data::ModuleContext& context);

    int DeviceCode = 0;

protected:
    void formShow() override;
    bool formClose(int result) override;

private:
    void LoadProperties();
    void checkNumbered(const QList<QCheckBox*>& boxes, const QString& entries);
    void checkCaptioned(const QList<QCheckBox*>& boxes, const QString& entries);

    data::ModuleContext context_;
    db::Query query_;
    QList<QCheckBox*> colours_;
    QList<QCheckBox*> fonts_;
    QList<QCheckBox*> sizes_;

    QGroupBox* RadioGroup1;
    QButtonGroup* mountings_;
    QGroupBox* GroupBox1;
    QSpinBox* seHeight;
    QSpinBox* seWidth;
    QComboBox* cbPicSize;
    QGroupBox* GroupBox2;
    QPushButton* Button1;
    QPushButton* Button2;
};

}  // namespace tunnel::devices
