// Message boxes, the beep and the standard file dialogs, behind one seam: tests queue the answers
// and no test ever blocks on a modal dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace platform
{

// Flags and results as the original message-box call takes and returns them.
enum MessageBoxFlags : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100, // the second button, No, is the default
};
enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows a modal message box with plain text; returns the button pressed.
int MessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags);

// A Yes/No confirmation with the buttons captioned `yesCaption` and `noCaption`; returns IDYES
// or IDNO. `noIsDefault`: Enter answers No, for questions whose Yes cannot be undone.
int AskYesNo(QWidget* parent, const QString& text, const QString& caption,
             const QString& yesCaption, const QString& noCaption, bool noIsDefault = false);

void Beep();

// The file dialogs; an empty result means the user cancelled. A filter entry shows its text
// without the pattern group that ends it, so "Images (*.jpg;*.png) (*.jpg *.png)" reads
// "Images (*.jpg;*.png)". `acceptLabel`, when given, captions the button that chooses.
QStringList GetOpenFileNames(QWidget* parent, const QString& title, const QString& folder,
                             const QString& filter);
QStringList GetExistingDirectories(QWidget* parent, const QString& title, const QString& folder,
                                   const QString& acceptLabel = QString());

// What a test sees of each dialog that would have been shown.
struct DialogRecord {
    enum Kind { Message, Confirmation, OpenFiles, Directories } kind;
    QString text;    // message text, or the dialog title
    QString caption; // message caption, or the start folder
    unsigned flags = 0;
    QString filter; // the filter of a dialog that opens files
};

// Test seam: once enabled, dialogs are recorded and answered from the queues instead of shown,
// and beeps are counted. An empty queue answers IDOK for messages, IDNO for confirmations and an
// empty list (cancel) for file dialogs.
struct DialogScript {
    std::deque<int> answers;
    std::deque<QStringList> fileAnswers;
    std::vector<DialogRecord> shown;
    int beeps = 0;
    // Runs while a scripted message or confirmation is up, where a real one runs its own event
    // loop; unset, nothing runs.
    std::function<void()> whileShown;
};
void EnableDialogScriptForTesting(DialogScript* script); // nullptr disables

} // namespace platform
