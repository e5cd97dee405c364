// The register definitions dialog: one option button per register of the working set and a
// text box with the selected register's reference text. Modeless and ownerless: one of the
// main window's tool windows.
#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <array>

class QCloseEvent;
class QKeyEvent;

namespace vrq::ui {

class FrmRegDef : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kButtonCount = 14;
    static constexpr const char* kInvalidRegisterText = "Please select a valid register.";

    FrmRegDef();
    ~FrmRegDef() override;

    // Shows the reference text of button index (0..13); any other index says so.
    void registertext(int index);
    // Appends line and terminator to the end of the text box.
    void Writeregdef(const QString& line, const QString& terminator);

    // The text box's content with its line breaks as the dialog wrote them (CR LF); the
    // widget itself keeps one paragraph per line.
    QString Text1Content() const;
    int SelectedButton() const;

  public slots:
    void Form_Load();
    void regbutton_Click(int index);
    void OKButton_Click();
    void CancelButton_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Children as members, declared parents first so that each is destroyed before its parent.
    QPlainTextEdit Text1_{this};
    QGroupBox regsel_{this};
    std::array<QRadioButton, kButtonCount> regbutton_;  // re-parented into regsel_
    QButtonGroup group_{this};
    QPushButton CancelButton_{this};
    QPushButton OKButton_{this};
};

}  // namespace vrq::ui
