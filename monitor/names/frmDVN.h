// The recorder address window "Recorder address setting": the address of
// each recorder slot, twelve slots to a page, kept in gDevAddr and stored in
// "RDX512DVN.SET" by OK. It is shown without blocking the main window and is
// left only through OK.
#ifndef RDXMON_NAMES_FRMDVN_H
#define RDXMON_NAMES_FRMDVN_H

#include <array>
#include <optional>

#include <QWidget>

#include "names/AddressTable.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace rdxmon {

class frmDVN : public QWidget {
    Q_OBJECT
public:
    // Loads the window: gDevAddr from the program folder's address file (or
    // the defaults), the entries of page 0. A file that is short or cannot
    // be read is reported once and kept as it is; the first OK copies it to
    // "RDX512DVN.SET.bak" before writing the addresses.
    frmDVN(SharedState& state, MessageBoxes& messages, QWidget* parent = nullptr);
    // The same with the address file loaded (and any problem told) by the
    // start-up.
    frmDVN(SharedState& state, MessageBoxes& messages, const AddressLoadResult& loaded, QWidget* parent = nullptr);

    // Page buttons: keep the shown page's entries in gDevAddr, show page p.
    void DVsele_Click(int index);
    // OK: keep the shown page, write the file, hide. When the file cannot be
    // written the operator is told and the window stays open.
    void Command1_Click();
    // The menu command: page "01 to 12" with its own numbers and entries,
    // shown without blocking.
    void showFromMenu();

    int page() const { return mAddrPage; }

    std::array<QComboBox*, 12> dn{};
    std::array<QLabel*, 12> Label1{};
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    std::array<QPushButton*, 3> DVsele{};
    QPushButton* Command1 = nullptr;

protected:
    // The window manager's close button is not offered; a close request from
    // outside the program is refused, the program's own closing is not.
    void closeEvent(QCloseEvent* event) override;

private:
    void keepShownPage();
    int rowsOnPage(int page) const;

    SharedState& state_;
    MessageBoxes& messages_;
    int mAddrPage = 0;
    std::optional<QString> loadedProblem_;  // told by the first constructor
    bool backUpBeforeSave_ = false;
};

}  // namespace rdxmon

#endif
