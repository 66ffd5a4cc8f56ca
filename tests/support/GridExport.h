#pragma once

#include "platform/db/KeysetQueryModel.h"
#include "platform/text/Csv.h"
#include "platform/ui/ResultActions.h"

#include <QBuffer>

namespace tunnel::test {

// What "导出CSV" writes for the grid's whole result, read back as a table.
inline text::CsvTable exportedCsv(db::KeysetQueryModel& model) {
    QBuffer written;
    written.open(QIODevice::WriteOnly);
    db::KeysetQueryModel::WalkPosition walk = model.startWalk();
    while (!walk.ended)
        ui::writeCsvRows(model, walk, written);
    return text::parseCsv(QString::fromUtf8(written.data()));
}

}  // namespace tunnel::test
