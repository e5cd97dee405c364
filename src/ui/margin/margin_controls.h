// The link-margin window's small control makers: named, as the tests and the access keys
// find them.
#pragma once

#include <QString>

#include <vector>

class QDoubleSpinBox;
class QPushButton;
class QTableWidget;
class QWidget;

namespace vrq::ui {

QDoubleSpinBox* SpinBox(QWidget* parent, const QString& name, double min, double max, double value,
                        double step, int decimals, const QString& suffix);
// A button that is never a dialog's automatic default.
QPushButton* Button(QWidget* parent, const QString& name, const QString& text);

// A read-only table whose columns are sized once, to the wider of each header and the widest
// text the column will hold (sizing to the contents on every change would lay out every cell
// again at each poll); the last column takes the rest.
struct Column {
    QString header;
    QString widest;
};
QTableWidget* Table(QWidget* parent, const QString& name, const std::vector<Column>& columns);
// Sets a row's cells, adding the items it lacks.
void SetRow(QTableWidget* table, int row, const QStringList& cells);

}  // namespace vrq::ui
