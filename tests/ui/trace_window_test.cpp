// The bus trace window offscreen: rows follow the recording in batches, the filter, pause
// and clear, the selected row's raw reports, copying and saving, one window that records
// only while it is open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "trace_fixture.h"
#include "ui/common/tool_windows.h"
#include "ui/main_window_fixture.h"
#include "ui/trace/frm_trace.h"

namespace vrq::test {
namespace {

class TraceWindowTest : public TraceTest {
  protected:
    TraceWindowTest() {
        auto scripted = std::make_unique<ScriptedPresenter>();
        presenter = scripted.get();
        window->SetMessagePresenter(std::move(scripted));
    }
    template <typename T>
    T* Find(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton); }
    int Rows() {
        window->Refresh();
        return window->Model().rowCount();
    }
    void SelectRow(int row) {
        auto* table = Find<QTableView>("tblTrace");
        table->setCurrentIndex(table->model()->index(row, 0));
    }
    QString Column(int row, ui::TraceColumn column) {
        return window->Model().index(row, static_cast<int>(column)).data().toString();
    }

    ui::TraceRecorder recorder{hub, clock};
    std::unique_ptr<ui::FrmTrace> window = std::make_unique<ui::FrmTrace>(recorder);
    ScriptedPresenter* presenter = nullptr;  // owned by the window
};

TEST_F(TraceWindowTest, RowsFollowTheRecordingWithTheFilterPauseAndClear) {
    Session().SetLed(true);
    Read(0x03);  // a drain of the LED's acknowledgement, then the read
    EXPECT_EQ(window->Model().rowCount(), 0) << "rows come in batches, not per exchange";
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Column(2, ui::TraceColumn::Request), "read 0x03 at 0x44");

    Click("chkRegistersOnly");
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Column(0, ui::TraceColumn::Request), "read 0x03 at 0x44");
    Session().SetLed(false);
    Write(0x03, {0x92});
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Column(1, ui::TraceColumn::Request), "write 0x03 = 0x92 at 0x44");
    Click("chkRegistersOnly");
    EXPECT_EQ(Rows(), 6);

    Click("cmdPause");
    Read(0x03);
    EXPECT_EQ(Rows(), 6);
    EXPECT_TRUE(window->StatusText().endsWith("; paused")) << window->StatusText().toStdString();
    Click("cmdPause");
    Read(0x03);
    EXPECT_EQ(Rows(), 7);
    EXPECT_EQ(window->StatusText(), "7 exchanges, 0 dropped (the last 100000 are kept)");

    Click("cmdClear");
    EXPECT_EQ(window->Model().rowCount(), 0);
    EXPECT_EQ(window->StatusText(), "0 exchanges, 0 dropped (the last 100000 are kept)");
    Read(0x03);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Column(0, ui::TraceColumn::Time), "0.000");
}

TEST_F(TraceWindowTest, TheSelectedRowShowsItsRawReportsAndCopies) {
    Write(0x03, {0x92});
    Read(0x03);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(window->RawText(), "");
    SelectRow(1);
    EXPECT_TRUE(
        window->RawText().startsWith("Request (host to board)\n00  00 02 01 89 03 00 00 00"))
        << window->RawText().toStdString();
    EXPECT_TRUE(window->RawText().contains("\n00  00 00 92 00 00"));

    auto* table = Find<QTableView>("tblTrace");
    table->selectAll();
    window->CopyRows();
    EXPECT_EQ(QApplication::clipboard()->text(),
              "0.000\t0\twrite 0x03 = 0x92 at 0x44\tInput Control\tOK\t0.000\n"
              "0.000\t0\tread 0x03 at 0x44\tInput Control\tOK: 92\t0.000\n");

    // Clear takes the selected row away, and its reports with it.
    SelectRow(0);
    Click("cmdClear");
    EXPECT_EQ(window->RawText(), "");
}

// The program sets its font in pixels, where a point size reads as -1.
TEST_F(TraceTest, RawReportsAreAsLargeAsTheTableInAFontSetInPixels) {
    const QFont before = QApplication::font();
    QFont pixels = before;
    pixels.setPixelSize(15);
    QApplication::setFont(pixels);
    ui::TraceRecorder recorder{hub, clock};
    ui::FrmTrace window(recorder);
    QApplication::setFont(before);
    const auto* raw = window.findChild<QPlainTextEdit*>(QStringLiteral("txtRaw"));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->font().pixelSize(), 15);
}

TEST_F(TraceWindowTest, SavesTheRowsItShowsAndSaysWhenItCannot) {
    Session().SetLed(true);
    Write(0x03, {0x92});
    Click("chkRegistersOnly");
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("trace.csv"));
    ASSERT_TRUE(window->SaveText(csv));
    QFile csvFile(csv);
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(csvFile.readAll().count("\r\n"), 2) << "header and the write, not the LED or drain";

    presenter->Script({link::AnswerOk});
    EXPECT_FALSE(window->SaveText(dir.filePath(QStringLiteral("no/such/folder/trace.csv"))));
    ASSERT_EQ(presenter->messages.size(), 1U);
    EXPECT_TRUE(presenter->messages[0].text.starts_with("Cannot save "));
}

TEST_F(TraceWindowTest, KeepsTheLastHundredThousandRowsAndSaysHowManyWereDropped) {
    board::ExchangeObserver& feed = *Session().Observer();
    board::Exchange e;
    const int total = static_cast<int>(ui::kTraceCapacity) + 5;
    for (int i = 0; i < total; ++i) {
        e.board = i;
        feed.OnExchange(e);
    }
    EXPECT_EQ(Rows(), static_cast<int>(ui::kTraceCapacity));
    EXPECT_EQ(window->Model().Exchange(0)->board, 5);
    EXPECT_EQ(window->StatusText(), "100000 exchanges, 5 dropped (the last 100000 are kept)");

    SelectRow(0);
    for (int i = 0; i < 10; ++i) {
        e.board = total + i;
        feed.OnExchange(e);
    }
    EXPECT_EQ(Rows(), static_cast<int>(ui::kTraceCapacity));
    EXPECT_EQ(window->Model().Exchange(0)->board, 15);
    EXPECT_EQ(window->Model().Exchange(static_cast<int>(ui::kTraceCapacity) - 1)->board, total + 9);
    EXPECT_EQ(window->StatusText(), "100000 exchanges, 15 dropped (the last 100000 are kept)");
}

// ---------------------------------------------------------------- one window, while open

// The recording runs from the start of the session: a window opened after some work shows
// it, and one closed and opened again has missed nothing.
TEST_F(TraceTest, OneWindowShowingARecordingThatRunsWhetherItIsOpenOrNot) {
    ui::TraceRecorder recorder{hub, clock};
    Read(0x03);
    ui::ToolWindows tools;
    ui::FrmTrace* first = tools.Show<ui::FrmTrace>(recorder);
    EXPECT_EQ(tools.Show<ui::FrmTrace>(recorder), first);
    EXPECT_EQ(first->Model().rowCount(), 1) << "what came before the window opened";

    first->close();
    EXPECT_EQ(tools.Find<ui::FrmTrace>(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Write(0x03, {0x92});  // while no window is open
    ui::FrmTrace* second = tools.Show<ui::FrmTrace>(recorder);
    EXPECT_EQ(second->Model().rowCount(), 2);
}

// No cell is cut short, however late in the session or long the register's name; the last
// column takes what width is left.
TEST_F(TraceWindowTest, ColumnsFitTheirContent) {
    Advance(std::chrono::seconds(232393));
    Write(0x06, {0x01});
    Read(0x05);
    window->resize(1400, 400);
    window->show();
    ASSERT_EQ(Rows(), 2);
    auto* table = Find<QTableView>("tblTrace");
    const QFontMetrics metrics(table->font());
    for (int row = 0; row < 2; ++row) {
        for (int c = 0; c + 1 < ui::kTraceColumnCount; ++c) {
            const QString text = Column(row, static_cast<ui::TraceColumn>(c));
            EXPECT_GE(table->columnWidth(c), metrics.horizontalAdvance(text)) << text.toStdString();
        }
    }
    EXPECT_TRUE(table->horizontalHeader()->stretchLastSection());
}

}  // namespace
}  // namespace vrq::test
