#pragma once
// Helpers of the preview and designer tests: scripted answers to the windows' questions, reading
// a PDF back, sample templates, and screenshots.

#include "toolkit/report/template.h"
#include "toolkit/report/ui/reportdialogs.h"

#include <QStringList>
#include <QTemporaryDir>

class QWidget;

namespace lumeko::report::testing {

// Installs scripted dialogs for the life of the object and records what they were asked.
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();

    QMessageBox::StandardButton answer = QMessageBox::Cancel; // to every yes/no/cancel question
    QString fileName;            // returned by the open and save file dialogs ("" cancels)
    QStringList texts;           // answered one by one by the text questions (none left: cancel)
    std::function<bool(QPrinter *)> printer; // the printer dialog; unset cancels

    QStringList questions;       // every question and error shown, in order
    QStringList errors;
    QStringList fileCaptions;

private:
    ReportDialogs m_saved;
};

// The text of a PDF file as pdftotext reads it, blanks removed (Chinese text comes out spaced).
QString pdfText(const QString &path);

// A one-student-per-page record card: a title, the school as a variable, framed label/value
// memos, a photo, and a family band.
ReportTemplate recordCard();

// Saves a picture of a widget under $LUMEKO_SHOTS (when set), to be looked at by a person.
void keepScreenshot(QWidget *widget, const QString &name);

} // namespace lumeko::report::testing
