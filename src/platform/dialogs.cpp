#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

namespace platform
{

namespace
{

DialogScript* script = nullptr;

int scriptedAnswer(DialogRecord record, int emptyAnswer)
{
    script->shown.push_back(std::move(record));
    if (script->whileShown)
        script->whileShown();
    if (script->answers.empty())
        return emptyAnswer;
    const int answer = script->answers.front();
    script->answers.pop_front();
    return answer;
}

QStringList scriptedFiles(DialogRecord record)
{
    script->shown.push_back(std::move(record));
    if (script->fileAnswers.empty())
        return {};
    QStringList answer = script->fileAnswers.front();
    script->fileAnswers.pop_front();
    return answer;
}

QMessageBox::Icon iconOf(unsigned flags)
{
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

void EnableDialogScriptForTesting(DialogScript* newScript)
{
    script = newScript;
}

int MessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags)
{
    if (script)
        return scriptedAnswer({DialogRecord::Message, text, caption, flags, {}}, IDOK);
    QMessageBox box(iconOf(flags), caption, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    // A message may name a path or address to copy.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDOK;
    }
}

int AskYesNo(QWidget* parent, const QString& text, const QString& caption,
             const QString& yesCaption, const QString& noCaption, bool noIsDefault)
{
    const unsigned flags = MB_YESNO | (noIsDefault ? MB_DEFBUTTON2 : 0u);
    if (script)
        return scriptedAnswer({DialogRecord::Confirmation, text, caption, flags, {}}, IDNO);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(yesCaption);
    box.button(QMessageBox::No)->setText(noCaption);
    if (noIsDefault)
        box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
}

void Beep()
{
    if (script) {
        ++script->beeps;
        return;
    }
    QApplication::beep();
}

QStringList GetOpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                             const QString& filter)
{
    if (script)
        return scriptedFiles({DialogRecord::OpenFiles, title, folder, 0, filter});
    return QFileDialog::getOpenFileNames(parent, title, folder, filter, nullptr,
                                         QFileDialog::HideNameFilterDetails);
}

QStringList GetExistingDirectories(QWidget* parent, const QString& title, const QString& folder,
                                   const QString& acceptLabel)
{
    if (script)
        return scriptedFiles({DialogRecord::Directories, title, folder, 0, {}});
    // Qt's own dialog allows choosing several folders at once; the native one cannot.
    QFileDialog dialog(parent, title, folder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!acceptLabel.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    for (auto* view : dialog.findChildren<QListView*>(QStringLiteral("listView")))
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (auto* view : dialog.findChildren<QTreeView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

} // namespace platform
