#include "names/frmDVN.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "names/AddressTable.h"
#include "startup/Lenient.h"

namespace rdxmon {

namespace {

constexpr int kRows = 12;
constexpr int kRowsPerColumn = 4;
constexpr int kColumnPitch = 170;
constexpr int kRowPitch = 30;
constexpr int kTop = 36;

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

}  // namespace

frmDVN::frmDVN(SharedState& state, MessageBoxes& messages, QWidget* parent)
    : frmDVN(state, messages, loadAddressTable(state.programFolder), parent)
{
    if (loadedProblem_)
        messages_.information(loadedProblem_.value());
}

frmDVN::frmDVN(SharedState& state, MessageBoxes& messages, const AddressLoadResult& loaded, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), state_(state), messages_(messages)
{
    setWindowTitle(QStringLiteral("Recorder address setting"));
    setFixedSize(3 * kColumnPitch + 20, kTop + kRowsPerColumn * kRowPitch + 56);

    QLabel** headings[3][2] = {{&Label2, &Label3}, {&Label4, &Label5}, {&Label6, &Label7}};
    for (int c = 0; c < 3; ++c) {
        const int x = 16 + c * kColumnPitch;
        *headings[c][0] = label(this, QStringLiteral("No."), x, 10, 40, 20);
        *headings[c][1] = label(this, QStringLiteral("address"), x + 50, 10, 80, 20);
    }
    QStringList addresses;
    for (int a = 1; a <= 32; ++a)
        addresses << QString::number(a);
    for (int r = 0; r < kRows; ++r) {
        const int x = 16 + (r / kRowsPerColumn) * kColumnPitch;
        const int y = kTop + (r % kRowsPerColumn) * kRowPitch;
        Label1[r] = label(this, format00(r + 1), x, y, 40, 24);
        dn[r] = new QComboBox(this);
        dn[r]->setEditable(true);
        dn[r]->setInsertPolicy(QComboBox::NoInsert);
        dn[r]->addItems(addresses);
        dn[r]->setGeometry(x + 50, y, 80, 24);
    }
    const QString captions[3] = {QStringLiteral("01 to 12"), QStringLiteral("13 to 24"), QStringLiteral("25 to 31")};
    const int buttonsTop = kTop + kRowsPerColumn * kRowPitch + 14;
    for (int p = 0; p < 3; ++p) {
        DVsele[p] = new QPushButton(captions[p], this);
        DVsele[p]->setGeometry(16 + p * 100, buttonsTop, 92, 28);
        connect(DVsele[p], &QPushButton::clicked, this, [this, p] { DVsele_Click(p); });
    }
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setGeometry(width() - 16 - 92, buttonsTop, 92, 28);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    // Escape leaves the window as OK does (the addresses are stored).
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, [this] { Command1_Click(); });

    // The table, then the entries of page 0.
    state_.gDevAddr = loaded.table;
    for (int r = 0; r < kRows; ++r)
        dn[r]->setCurrentText(QString::number(state_.gDevAddr[r]));
    if (!loaded.problem.isEmpty()) {
        backUpBeforeSave_ = true;
        loadedProblem_ = loaded.problem;
    }
}

int frmDVN::rowsOnPage(int page) const
{
    return page == 2 ? kSlotCount - 24 : kRows;
}

void frmDVN::keepShownPage()
{
    for (int r = 0; r < rowsOnPage(mAddrPage); ++r) {
        const int slot = 12 * mAddrPage + r;
        state_.gDevAddr[slot] = parseAddressEntry(dn[r]->currentText(), state_.gDevAddr[slot]);
    }
}

void frmDVN::DVsele_Click(int index)
{
    keepShownPage();
    mAddrPage = index;
    const int rows = rowsOnPage(index);
    const bool thirdColumn = index != 2;
    Label6->setVisible(thirdColumn);
    Label7->setVisible(thirdColumn);
    for (int r = 0; r < kRows; ++r) {
        const bool shown = r < rows;
        Label1[r]->setVisible(shown);
        dn[r]->setVisible(shown);
        if (!shown)
            continue;
        const int slot = 12 * index + r;
        Label1[r]->setText(format00(slot + 1));
        dn[r]->setCurrentText(QString::number(state_.gDevAddr[slot]));
    }
}

void frmDVN::Command1_Click()
{
    // Keeps the shown page; an entry that was not a number then shows the
    // address kept for its slot.
    DVsele_Click(mAddrPage);
    // A file that could not be read whole is kept before it is written over.
    if (backUpBeforeSave_) {
        backUpAddressFile(state_.programFolder);
    }
    QString error;
    if (!saveAddressTable(state_.programFolder, state_.gDevAddr, &error)) {
        messages_.information(QStringLiteral("The recorder addresses could not be saved to %1.\n%2\n"
                                             "The addresses stay in use; press OK again to retry.")
                                  .arg(kAddressFileName, error));
        return;
    }
    backUpBeforeSave_ = false;
    hide();
}

void frmDVN::showFromMenu()
{
    DVsele_Click(0);
    show();
    raise();
    activateWindow();
}

void frmDVN::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous()) {
        event->ignore();
    } else {
        event->accept();
    }
}

}  // namespace rdxmon
