#include "ui/margin/margin_controls.h"

#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>

namespace vrq::ui {

QDoubleSpinBox* SpinBox(QWidget* parent, const QString& name, double min, double max, double value,
                        double step, int decimals, const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setSingleStep(step);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QTableWidget* Table(QWidget* parent, const QString& name, const std::vector<Column>& columns) {
    auto* table = new QTableWidget(0, static_cast<int>(columns.size()), parent);
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics(table->font());
    const int padding = 3 * table->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, table);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const Column& column = columns[static_cast<std::size_t>(i)];
        table->setHorizontalHeaderItem(i, new QTableWidgetItem(column.header));
        const int text = std::max(metrics.horizontalAdvance(column.header),
                                  metrics.horizontalAdvance(column.widest));
        table->setColumnWidth(i, text + padding + metrics.horizontalAdvance(QLatin1Char('M')));
    }
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    if (table->rowCount() <= row) {
        table->setRowCount(row + 1);
    }
    for (int column = 0; column < cells.size() && column < table->columnCount(); ++column) {
        QTableWidgetItem* item = table->item(row, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            table->setItem(row, column, item);
        }
        if (item->text() != cells[column]) {
            item->setText(cells[column]);
        }
    }
}

}  // namespace vrq::ui
