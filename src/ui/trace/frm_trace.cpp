#include "ui/trace/frm_trace.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <set>
#include <string>

#include "device/register_file.h"
#include "ui/trace/trace_text.h"

namespace vrq::ui {
FrmTrace::FrmTrace(TraceRecorder& recorder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      recorder_(recorder),
      dialogs_(std::make_unique<QtFileDialogs>()),
      presenter_(std::make_unique<QtMessagePresenter>()) {
    setObjectName(QStringLiteral("frmTrace"));
    setWindowTitle(QStringLiteral("Bus Trace"));
    resize(1200, 560);

    chkRegistersOnly_.setObjectName(QStringLiteral("chkRegistersOnly"));
    chkRegistersOnly_.setText(QStringLiteral("&Register traffic only"));
    cmdPause_.setObjectName(QStringLiteral("cmdPause"));
    cmdPause_.setText(QStringLiteral("&Pause"));
    cmdPause_.setCheckable(true);
    cmdClear_.setObjectName(QStringLiteral("cmdClear"));
    cmdClear_.setText(QStringLiteral("C&lear"));
    cmdCopy_.setObjectName(QStringLiteral("cmdCopy"));
    cmdCopy_.setText(QStringLiteral("&Copy Rows"));
    cmdSaveText_.setObjectName(QStringLiteral("cmdSaveText"));
    cmdSaveText_.setText(QStringLiteral("Save as &Text..."));
    cmdSaveScript_.setObjectName(QStringLiteral("cmdSaveScript"));
    cmdSaveScript_.setText(QStringLiteral("Save as &Script..."));
    status_.setObjectName(QStringLiteral("lblStatus"));

    table_.setObjectName(QStringLiteral("tblTrace"));
    table_.setModel(&model_);
    table_.setSelectionBehavior(QAbstractItemView::SelectRows);
    table_.setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_.setWordWrap(false);
    table_.setAlternatingRowColors(true);
    table_.verticalHeader()->hide();
    // Fixed row heights, and column widths the window measures itself as rows come (the
    // view would measure 100,000 rows); the last column takes the rest of the width.
    table_.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_.verticalHeader()->setDefaultSectionSize(table_.fontMetrics().height() + 4);
    table_.horizontalHeader()->setStretchLastSection(true);
    const int digit = table_.fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QFontMetrics titles(table_.horizontalHeader()->font());
    for (int c = 0; c < kTraceColumnCount; ++c) {
        table_.setColumnWidth(
            c, titles.horizontalAdvance(
                   model_.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                   2 * digit);
    }

    raw_.setObjectName(QStringLiteral("txtRaw"));
    raw_.setReadOnly(true);
    raw_.setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // The table's size, in whichever unit it was given (the application sets pixels).
    if (const QFont& text = table_.font(); text.pointSizeF() > 0) {
        fixed.setPointSizeF(text.pointSizeF());
    } else {
        fixed.setPixelSize(text.pixelSize());
    }
    raw_.setFont(fixed);
    // A report line ("30  " and 16 bytes) without a horizontal scroll bar.
    raw_.setMinimumWidth(raw_.fontMetrics().horizontalAdvance(QString(52, QLatin1Char('0'))) +
                         raw_.verticalScrollBar()->sizeHint().width() + 12);

    split_.addWidget(&table_);
    split_.addWidget(&raw_);
    split_.setStretchFactor(0, 1);
    split_.setStretchFactor(1, 0);
    split_.setChildrenCollapsible(false);

    auto* buttons = new QHBoxLayout;  // owned by the window's layout
    buttons->addWidget(&chkRegistersOnly_);
    buttons->addWidget(&cmdPause_);
    buttons->addWidget(&cmdClear_);
    buttons->addWidget(&cmdCopy_);
    buttons->addWidget(&cmdSaveText_);
    buttons->addWidget(&cmdSaveScript_);
    buttons->addStretch(1);
    auto* column = new QVBoxLayout(this);  // owned by the window
    column->addLayout(buttons);
    column->addWidget(&split_, 1);
    column->addWidget(&status_);

    auto* copy = new QShortcut(QKeySequence::Copy, &table_);  // owned by the table
    copy->setContext(Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &FrmTrace::CopyRows);
    connect(&chkRegistersOnly_, &QCheckBox::clicked, this, &FrmTrace::chkRegistersOnly_Click);
    connect(&cmdPause_, &QPushButton::clicked, this, &FrmTrace::cmdPause_Click);
    connect(&cmdClear_, &QPushButton::clicked, this, &FrmTrace::cmdClear_Click);
    connect(&cmdCopy_, &QPushButton::clicked, this, &FrmTrace::CopyRows);
    connect(&cmdSaveText_, &QPushButton::clicked, this, &FrmTrace::cmdSaveText_Click);
    connect(&cmdSaveScript_, &QPushButton::clicked, this, &FrmTrace::cmdSaveScript_Click);
    connect(table_.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &FrmTrace::ShowRaw);
    // Rows removed from the top move the current row, or take it away.
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &FrmTrace::ShowRaw);
    connect(&model_, &QAbstractItemModel::modelReset, this, &FrmTrace::ShowRaw);
    connect(&model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) { FitColumns(first); });

    connect(&timer_, &QTimer::timeout, this, &FrmTrace::Refresh);
    timer_.start(kRefreshMs);
    Refresh();  // what was recorded before the window opened
}

FrmTrace::~FrmTrace() = default;

void FrmTrace::SetFileDialogs(std::unique_ptr<FileDialogs> dialogs) {
    dialogs_ = std::move(dialogs);
}

void FrmTrace::SetMessagePresenter(std::unique_ptr<MessagePresenter> presenter) {
    presenter_ = std::move(presenter);
}

void FrmTrace::Refresh() {
    QScrollBar* scroll = table_.verticalScrollBar();
    const bool atBottom = scroll->value() == scroll->maximum();
    const int before = model_.rowCount();
    model_.Refresh();
    // Following the newest rows unless the user scrolled up to read older ones.
    if (atBottom && model_.rowCount() != before) {
        table_.scrollToBottom();
    }
    UpdateStatus();
}

void FrmTrace::FitColumns(int first) {
    constexpr int kMostMeasured = 1000;
    const int rows = model_.rowCount();
    first = std::max(first, rows - kMostMeasured);
    const QFontMetrics metrics(table_.font());
    const int padding = 2 * table_.fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // Every column but the last, which stretches; widths only grow, so that the table does
    // not jump as rows scroll out.
    for (int c = 0; c + 1 < kTraceColumnCount; ++c) {
        int widest = table_.columnWidth(c) - padding;
        for (int row = std::max(first, 0); row < rows; ++row) {
            widest = std::max(widest,
                              metrics.horizontalAdvance(
                                  model_.data(model_.index(row, c), Qt::DisplayRole).toString()));
        }
        table_.setColumnWidth(c, widest + padding);
    }
}

void FrmTrace::UpdateStatus() {
    QString text = QStringLiteral("%1 exchanges, %2 dropped (the last %3 are kept)")
                       .arg(recorder_.Size())
                       .arg(recorder_.Dropped())
                       .arg(recorder_.Capacity());
    if (recorder_.Paused()) {
        text += QStringLiteral("; paused");
    }
    if (text != status_.text()) {
        status_.setText(text);
    }
}

void FrmTrace::ShowRaw() {
    const board::Exchange* exchange = model_.Exchange(table_.currentIndex().row());
    raw_.setPlainText(exchange == nullptr ? QString()
                                          : QString::fromStdString(RawReportsText(*exchange)));
}

void FrmTrace::chkRegistersOnly_Click() {
    model_.SetRegistersOnly(chkRegistersOnly_.isChecked());
    table_.scrollToBottom();
}

void FrmTrace::cmdPause_Click() {
    recorder_.SetPaused(cmdPause_.isChecked());
    UpdateStatus();
}

void FrmTrace::cmdClear_Click() {
    recorder_.Clear();
    Refresh();
}

void FrmTrace::CopyRows() {
    std::set<int> rows;
    for (const QModelIndex& index : table_.selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    std::string text;
    for (const int row : rows) {
        if (const board::Exchange* exchange = model_.Exchange(row)) {
            text += TabLine(*exchange, recorder_.Origin()) + "\n";
        }
    }
    if (!text.empty()) {
        QApplication::clipboard()->setText(QString::fromStdString(text));
    }
}

bool FrmTrace::Write(const QString& path, const std::string& content) {
    std::string error;
    if (device::WriteFileAtomically(path.toStdString(), content, error)) {
        return true;
    }
    presenter_->Show(this, "Cannot save " + path.toStdString() + ": " + error,
                     link::MessageButtons::Ok, link::kProgramTitle);
    return false;
}

bool FrmTrace::SaveText(const QString& path) {
    Refresh();
    return Write(path, TraceCsv(recorder_, model_.RegistersOnly()));
}

bool FrmTrace::SaveScript(const QString& path) {
    return Write(path, TraceScript(recorder_));
}

std::optional<QString> FrmTrace::AskSavePath(const QString& fileName, const QString& suffix,
                                             const QString& filter) {
    const auto chosen = dialogs_->GetSaveFileName(this, {{}, fileName, suffix, filter});
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    if (QFileInfo::exists(*chosen) &&
        presenter_->Show(this, chosen->toStdString() + " already exists. Replace it?",
                         link::MessageButtons::YesNo, link::kProgramTitle) != link::AnswerYes) {
        return std::nullopt;
    }
    return chosen;
}

void FrmTrace::cmdSaveText_Click() {
    if (const auto path = AskSavePath(QStringLiteral("bus-trace.csv"), QStringLiteral("csv"),
                                      QStringLiteral("CSV files (*.csv);;All files (*)"))) {
        SaveText(*path);
    }
}

void FrmTrace::cmdSaveScript_Click() {
    if (const auto path = AskSavePath(QStringLiteral("bus-trace-script.txt"), QStringLiteral("txt"),
                                      QStringLiteral("Batch files (*.txt);;All files (*)"))) {
        SaveScript(*path);
    }
}

void FrmTrace::closeEvent(QCloseEvent* event) {
    // Closed means gone (the recording goes on): the next opening builds a new window even
    // before this one is deleted.
    timer_.stop();
    QWidget::closeEvent(event);
}

}  // namespace vrq::ui
