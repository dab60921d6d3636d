// The real message boxes and save dialog of the window layer.
#ifndef RDXMON_WINDOWS_QTSERVICES_H
#define RDXMON_WINDOWS_QTSERVICES_H

#include <QString>

#include "startup/Services.h"

namespace rdxmon {

// Message boxes titled with the program's title, over the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    void information(const QString& text) override;
    bool question(const QString& text) override;
};

// The save dialog.
class QtFileDialogs : public FileDialogs {
public:
    QString saveFileName(const QString& initialFolder, const QString& proposedName, const QString& filter,
                         const QString& defaultSuffix) override;
};

// Translates a filter in the "description|pattern|description|pattern"
// notation into Qt's ("name (patterns)" entries separated by ";;"). A name
// in parentheses inside the description is used as the name; every pattern
// is offered in upper and lower case: "*.CSV(CSV files)|*.CSV" becomes
// "CSV files (*.CSV *.csv)".
QString translateFilter(const QString& filter);

}  // namespace rdxmon

#endif
