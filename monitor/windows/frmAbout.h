// The version window "Version information".
#ifndef RDXMON_WINDOWS_FRMABOUT_H
#define RDXMON_WINDOWS_FRMABOUT_H

#include <QDialog>
#include <QIcon>

class QFrame;
class QLabel;
class QPushButton;

namespace rdxmon {

// The program's icon (the resource ":/rdxmon/rdxmon.png").
QIcon ProgramIcon();

// Modal over its parent; OK closes it. Made anew for each showing. With a
// files folder, a line under the version names it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr, const QString& filesFolder = QString());

    QLabel* lblTitle;
    QLabel* Lbl_Type;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblFolder;  // the folder of the run's files; hidden without one
    QLabel* Image1;
    QFrame* Line1;  // the etched separator: a grey line over a white one
    QPushButton* cmdOK;
};

// The "Version information" command: shows frmAbout modally over parent and
// returns when it is closed.
void ShowVersionInformation(QWidget* parent, const QString& filesFolder = QString());

}  // namespace rdxmon

#endif
