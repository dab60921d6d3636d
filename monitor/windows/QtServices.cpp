#include "windows/QtServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

namespace rdxmon {

void QtMessageBoxes::information(const QString& text)
{
    QMessageBox box(QMessageBox::Information, kProgramTitle, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtMessageBoxes::question(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, kProgramTitle, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtFileDialogs::saveFileName(const QString& initialFolder, const QString& proposedName, const QString& filter,
                                    const QString& defaultSuffix)
{
    QFileDialog dialog(QApplication::activeWindow(), kProgramTitle, initialFolder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(translateFilter(filter));
    QString suffix = defaultSuffix;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!proposedName.isEmpty())
        dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString translateFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        static const QRegularExpression inParentheses(QStringLiteral("\\(([^()]*)\\)"));
        const QRegularExpressionMatch match = inParentheses.match(name);
        if (match.hasMatch() && !match.captured(1).trimmed().isEmpty())
            name = match.captured(1).trimmed();
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            for (const QString& variant :
                 {pattern.trimmed(), pattern.trimmed().toUpper(), pattern.trimmed().toLower()}) {
                if (!patterns.contains(variant))
                    patterns << variant;
            }
        }
        entries << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

}  // namespace rdxmon
