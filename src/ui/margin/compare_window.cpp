#include "ui/margin/compare_window.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <memory>

#include "ui/margin/margin_shared.h"
#include "ui/margin/plot_view.h"
#include "ui/plot/plot_painter.h"

namespace vrq::ui {

CompareWindow::CompareWindow(std::vector<margin::SavedRun> runs, QWidget* owner)
    : QWidget(owner, Qt::Window), runs_(std::move(runs)) {
    setObjectName(QStringLiteral("frmCompare"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    const auto differences = margin::CompareDifferences(runs_);
    auto* lblDifferences = new QLabel(this);
    lblDifferences->setObjectName(QStringLiteral("lblDifferences"));
    lblDifferences->setWordWrap(true);
    if (differences.empty()) {
        lblDifferences->setText(
            QStringLiteral("The runs were measured alike (rate, target, confidence, dwell)."));
    } else {
        QStringList lines;
        for (const std::string& d : differences) {
            lines << Sentence("not alike: " + d);
        }
        lblDifferences->setText(lines.join('\n'));
        lblDifferences->setStyleSheet(QStringLiteral("color: #a01010; font-weight: bold;"));
    }
    layout->addWidget(lblDifferences);
    auto* table = new QLabel(Qs(margin::CompareTable(runs_)), this);
    table->setObjectName(QStringLiteral("lblCompareTable"));
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(table);
    auto* scroll = new QScrollArea(this);
    auto* plots = new QWidget(scroll);
    auto* plotsLayout = new QVBoxLayout(plots);
    for (const int channel : margin::ChannelsOf(runs_)) {
        auto model = std::make_shared<margin::BathtubModel>(margin::CompareOverlay(runs_, channel));
        auto* view =
            new PlotView(QStringLiteral("plotCompare%1").arg(QChar(device::ChannelLetter(channel))),
                         plot::BathtubSize(*model, 12), plots);
        view->setMinimumSize(plot::BathtubSize(*model, 12));
        view->SetPaint([model](QPainter& p, const QRect& r) { plot::PaintBathtub(p, r, *model); });
        plotsLayout->addWidget(view);
    }
    scroll->setWidget(plots);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 1);
    resize(900, 760);
}

}  // namespace vrq::ui
