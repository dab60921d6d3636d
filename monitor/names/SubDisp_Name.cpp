#include "names/SubDisp_Name.h"

#include <algorithm>

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "names/ChannelNames.h"
#include "names/Cp932.h"
#include "startup/Lenient.h"
#include "startup/Pages.h"

namespace rdxmon {

namespace {

constexpr int kRowsPerColumn = 24;
constexpr int kRowsPerRecorder = kChannelsPerSlot;

}  // namespace

SubDisp_Name::SubDisp_Name(SharedState& state, MessageBoxes& messages, NamesHost& host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), state_(state), messages_(messages),
      host_(host)
{
    setObjectName(QStringLiteral("SubDisp_Name"));
    setWindowTitle(QStringLiteral("Channel name registration"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(1);
    for (int c = 0; c < 3; ++c) {
        Label1[c] = new QLabel(QStringLiteral("No.    Name"), this);
        Label1[c]->setObjectName(QStringLiteral("Label1_%1").arg(c));
        grid->addWidget(Label1[c], 0, 2 * c, 1, 2);
    }
    for (int r = 0; r < kRows; ++r) {
        const int column = r / kRowsPerColumn;
        const int inColumn = r % kRowsPerColumn;
        // One empty grid row after every recorder's six rows.
        const int gridRow = 1 + inColumn + inColumn / kRowsPerRecorder;
        Label2[r] = new QLabel(this);
        Label2[r]->setObjectName(QStringLiteral("Label2_%1").arg(r));
        txtName[r] = new QLineEdit(this);
        txtName[r]->setObjectName(QStringLiteral("txtName_%1").arg(r));
        txtName[r]->setMaxLength(kNameLength);
        txtName[r]->setMinimumWidth(txtName[r]->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 12);
        grid->addWidget(Label2[r], gridRow, 2 * column);
        grid->addWidget(txtName[r], gridRow, 2 * column + 1);
        connect(txtName[r], &QLineEdit::textChanged, this, [this, r] { limitName(r); });
        connect(txtName[r], &QLineEdit::textEdited, this, [this, r] { showNameBytes(r); });
        txtName[r]->installEventFilter(this);
    }
    for (int gap = 1; gap < kRowsPerColumn / kRowsPerRecorder; ++gap)
        grid->setRowMinimumHeight(gap * (kRowsPerRecorder + 1), 8);

    Label52 = new QLabel(QStringLiteral("Input a channel name with less than eighteen characters."), this);
    lblNameBytes = new QLabel(this);
    lblNameBytes->setObjectName(QStringLiteral("lblNameBytes"));
    lblNameBytes->setWordWrap(true);
    // Room for a warning from the start: the window does not grow as one is typed.
    lblNameBytes->setMinimumHeight(2 * lblNameBytes->fontMetrics().lineSpacing());
    DVsele1 = new QPushButton(QStringLiteral("01 to 12"), this);
    DVsele2 = new QPushButton(QStringLiteral("13 to 24"), this);
    DVsele3 = new QPushButton(QStringLiteral("25 to 31"), this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    connect(DVsele1, &QPushButton::clicked, this, [this] { showPage(0); });
    connect(DVsele2, &QPushButton::clicked, this, [this] { showPage(1); });
    connect(DVsele3, &QPushButton::clicked, this, [this] { showPage(2); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    // Escape leaves the window as OK does: there is no cancel, the names are
    // stored.
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, [this] { cmdOK_Click(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(DVsele1);
    buttons->addWidget(DVsele2);
    buttons->addWidget(DVsele3);
    buttons->addStretch();
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(Label52);
    layout->addWidget(lblNameBytes);
    layout->addLayout(buttons);

    // Window load: the rows of page 0 that are polled, the page buttons by
    // the number of recorders (fixed for the run).
    const int n = channelCount();
    for (int r = 0; r < kRows; ++r) {
        Label2[r]->setText(channelLabel(r));
        Label2[r]->setVisible(r < n);
        txtName[r]->setVisible(r < n);
    }
    const int c = recorderCount();
    DVsele1->setVisible(c > 12);
    DVsele2->setVisible(c > 12);
    DVsele3->setVisible(c > 24);
}

int SubDisp_Name::channelCount() const
{
    return lenientInt(state_.gChTotal);
}

int SubDisp_Name::recorderCount() const
{
    // The count polled in this run; a count changed on the communication
    // panel applies from the next start.
    return state_.gRecTotal;
}

void SubDisp_Name::NameLoad()
{
    NamesLoadResult loaded = loadChannelNames(state_.programFolder);
    state_.gChannel = loaded.table;
    backUpBeforeSave_ = !loaded.problem.isEmpty();
    if (!loaded.problem.isEmpty() && !loadProblemShown_) {
        loadProblemShown_ = true;
        messages_.information(loaded.problem);
    }
    // Page 0, without storing the boxes: they hold what the last visit showed.
    displayPage(0);
    host_.NameSet(host_.mPage());
    host_.Logdisp(host_.mPage());
}

void SubDisp_Name::showModally()
{
    NameLoad();
    exec();
}

void SubDisp_Name::NameStore()
{
    const int base = pages::firstChannel(mNamePage_);
    for (int r = 0; r < kRows && base + r < kChannelCount; ++r)
        state_.gChannel[base + r].Name = fitName(txtName[r]->text());
}

void SubDisp_Name::showPage(int page)
{
    NameStore();
    displayPage(page);
}

void SubDisp_Name::displayPage(int page)
{
    mNamePage_ = page;
    showNameBytes(-1);
    const int base = pages::firstChannel(page);
    const int n = channelCount();
    for (int r = 0; r < kRows; ++r) {
        const int i = base + r;
        if (i < kChannelCount) {
            txtName[r]->setText(state_.gChannel[i].Name);
            Label2[r]->setText(channelLabel(i));
        }
        const bool visible = i < n && i < kChannelCount;
        Label2[r]->setVisible(visible);
        txtName[r]->setVisible(visible);
    }
    const int c = recorderCount();
    Label1[0]->setVisible(true);
    Label1[1]->setVisible(c > pages::firstSlot(page) + 4);
    Label1[2]->setVisible(c > pages::firstSlot(page) + 8);
}

bool SubDisp_Name::SaveNames()
{
    QString error;
    // A file that could not be read whole is kept before it is written over.
    if (backUpBeforeSave_ && !backUpNamesFile(state_.programFolder, &error)) {
        messages_.information(error);
        return false;
    }
    if (saveChannelNames(state_.programFolder, state_.gChannel, &error)) {
        backUpBeforeSave_ = false;
        return true;
    }
    messages_.information(error);
    return false;
}

bool SubDisp_Name::cmdOK_Click()
{
    NameStore();
    if (!SaveNames())
        return false;
    host_.NameSet(host_.mPage());
    host_.Logdisp(host_.mPage());
    accept();
    return true;
}

void SubDisp_Name::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void SubDisp_Name::limitName(int row)
{
    QLineEdit* box = txtName[row];
    const QString text = box->text();
    const QString kept = cutToBytes(text, kNameLength);
    if (kept.size() == text.size())
        return;
    const int cursor = std::min<int>(box->cursorPosition(), static_cast<int>(kept.size()));
    box->setText(kept);  // runs this again, which finds nothing more to cut
    box->setCursorPosition(cursor);
    if (row == bytesRow_)
        showNameBytes(row);
}

bool SubDisp_Name::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        const auto it = std::find(txtName.begin(), txtName.end(), watched);
        if (it != txtName.end())
            showNameBytes(static_cast<int>(it - txtName.begin()));
    }
    return QDialog::eventFilter(watched, event);
}

void SubDisp_Name::showNameBytes(int row)
{
    bytesRow_ = row;
    if (row < 0) {
        lblNameBytes->clear();
        return;
    }
    const QString text = txtName[row]->text();
    const int used = LenMbcs(text);
    QString words = QStringLiteral("%1: %2 of %3 bytes used, %4 left.")
                        .arg(Label2[row]->text())
                        .arg(used)
                        .arg(kNameLength)
                        .arg(std::max(kNameLength - used, 0));
    QString lost = unstorableCharacters(text);
    const bool undecoded = lost.contains(QChar::ReplacementCharacter);
    lost.remove(QChar::ReplacementCharacter);
    if (!lost.isEmpty())
        words += QStringLiteral(" \u201c%1\u201d cannot be stored in the names file and would be saved as \"?\".")
                     .arg(lost);
    if (undecoded) {
        const int i = std::min(pages::channelAt(mNamePage_, row), kChannelCount - 1);
        ChannelRecord shown = state_.gChannel[i];
        shown.Name = fitName(text);
        words += keepsFileBytes(shown)
            ? QStringLiteral(" \u201c\ufffd\u201d marks bytes of the file that are no text; they are kept "
                             "as they are while this name is left unchanged.")
            : QStringLiteral(" \u201c\ufffd\u201d marks bytes of the file that are no text; changed, "
                             "the name is saved with \"?\" in their place.");
    }
    lblNameBytes->setText(words);
    lblNameBytes->setStyleSheet(lost.isEmpty() && !undecoded ? QString() : QStringLiteral("color: #b00000;"));
}

}  // namespace rdxmon
