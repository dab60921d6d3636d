// The window "Channel name registration": one text box per channel of a
// page, three pages, left only through OK, which stores the names in the
// file and refreshes the main window.
#ifndef RDXMON_NAMES_SUBDISP_NAME_H
#define RDXMON_NAMES_SUBDISP_NAME_H

#include <array>

#include <QDialog>

#include "names/NamesHost.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace rdxmon {

class SubDisp_Name : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRows = 72;

    // Loads the window as start-up does: the rows of page 0 up to the
    // number of polled channels and the page buttons by the recorder count.
    // The names are filled in by NameLoad.
    SubDisp_Name(SharedState& state, MessageBoxes& messages, NamesHost& host, QWidget* parent = nullptr);
    // The start-up has told the operator about the names file already:
    // NameLoad does not tell it again (it still backs the file up before
    // the first write).
    void loadProblemTold() { loadProblemShown_ = true; }

    // Reads the names file into gChannel (creating it with the defaults when
    // missing), shows page 0 and refreshes the main window. A problem with
    // the file is told to the operator once per run.
    void NameLoad();

    // The menu command: NameLoad, then the window shown modally until OK.
    void showModally();

    // OK: keeps the page shown, writes the names file, refreshes the main
    // window and hides this window. When the file cannot be written the
    // operator is told, the window stays open and false is returned.
    bool cmdOK_Click();

    // Writes gChannel (names and selection flags) to the names file as it
    // stands; on failure tells the operator and returns false. The main
    // window's channel buttons use it after each toggle.
    bool SaveNames();

    // Shows page 0, 1 or 2, keeping the entries of the page shown before
    // (the page buttons).
    void showPage(int page);
    int mNamePage() const { return mNamePage_; }

    std::array<QLineEdit*, kRows> txtName{};
    std::array<QLabel*, kRows> Label2{};
    std::array<QLabel*, 3> Label1{};
    QLabel* Label52 = nullptr;
    // Below the hint: the bytes the box being edited takes of its 18, and
    // the characters in it that the names file cannot hold.
    QLabel* lblNameBytes = nullptr;
    QPushButton* DVsele1 = nullptr;
    QPushButton* DVsele2 = nullptr;
    QPushButton* DVsele3 = nullptr;
    QPushButton* cmdOK = nullptr;

protected:
    // The window has no close button and no cancel: OK is the way out (Escape
    // runs OK).
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void NameStore();
    // Fills the rows, their labels and the headings for the page.
    void displayPage(int page);
    // The 18-byte rule on every change of box r.
    void limitName(int row);
    // lblNameBytes for box r (-1: empty).
    void showNameBytes(int row);
    int channelCount() const;
    int recorderCount() const;

    SharedState& state_;
    MessageBoxes& messages_;
    NamesHost& host_;
    int mNamePage_ = 0;
    bool loadProblemShown_ = false;
    // The file read at the last load was damaged: it is copied before it is
    // written over.
    bool backUpBeforeSave_ = false;
    int bytesRow_ = -1;  // the box lblNameBytes speaks of
};

}  // namespace rdxmon

#endif
