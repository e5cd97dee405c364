// The bus trace window: every exchange with the boards the recorder kept (the main window's
// records from the start of the session), one row each, with the selected row's raw reports
// beside the table. One of the main window's tool windows; it never talks to a board.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "ui/common/file_dialogs.h"
#include "ui/common/message_presenter.h"
#include "ui/trace/trace_log.h"
#include "ui/trace/trace_model.h"

class QCloseEvent;

namespace vrq::ui {

class FrmTrace : public QWidget {
    Q_OBJECT

  public:
    // How often new exchanges reach the table: often enough to look live, seldom enough
    // that a burst of exchanges costs one batch of rows.
    static constexpr int kRefreshMs = 100;

    // Shows what recorder records; the recorder outlives the window.
    explicit FrmTrace(TraceRecorder& recorder, QWidget* parent = nullptr);
    ~FrmTrace() override;

    // Tests answer the file dialogs and messages instead of a user.
    void SetFileDialogs(std::unique_ptr<FileDialogs> dialogs);
    void SetMessagePresenter(std::unique_ptr<MessagePresenter> presenter);

    // Writes the rows the table shows as CSV, or the batch file; false (after a message)
    // when the file could not be written.
    bool SaveText(const QString& path);
    bool SaveScript(const QString& path);
    // The selected rows, tab-separated, to the clipboard.
    void CopyRows();
    // Brings the table up to date with the recording now (the timer does it otherwise).
    void Refresh();

    const TraceModel& Model() const { return model_; }
    // What the status line says ("12 exchanges kept, 0 dropped").
    QString StatusText() const { return status_.text(); }
    QString RawText() const { return raw_.toPlainText(); }

  public slots:
    void chkRegistersOnly_Click();
    void cmdPause_Click();
    void cmdClear_Click();
    void cmdSaveText_Click();
    void cmdSaveScript_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ShowRaw();
    void UpdateStatus();
    // Asks for a file name, and whether to replace an existing file.
    std::optional<QString> AskSavePath(const QString& fileName, const QString& suffix,
                                       const QString& filter);
    bool Write(const QString& path, const std::string& content);

    // Widens the columns to fit the rows from first on (the newest thousand at most).
    void FitColumns(int first);

    TraceRecorder& recorder_;
    TraceModel model_{recorder_};
    std::unique_ptr<FileDialogs> dialogs_;
    std::unique_ptr<MessagePresenter> presenter_;
    QTimer timer_;
    // Children as members, declared parents first so that each is destroyed before its parent.
    QCheckBox chkRegistersOnly_{this};
    QPushButton cmdPause_{this};
    QPushButton cmdClear_{this};
    QPushButton cmdCopy_{this};
    QPushButton cmdSaveText_{this};
    QPushButton cmdSaveScript_{this};
    QLabel status_{this};
    QSplitter split_{this};
    QTableView table_;    // in split_
    QPlainTextEdit raw_;  // in split_
};

}  // namespace vrq::ui
