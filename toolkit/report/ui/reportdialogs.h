#pragma once
// The questions the preview and the designer put to the user: yes/no/cancel, errors, file names,
// a line of text and the printer. By default Qt's standard dialogs ask; an application that routes
// its messages through services of its own, and tests that script the answers, install functions
// here. An empty function means the standard dialog.

#include "toolkit/report/report_export.h"

#include <QMessageBox>
#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace lumeko::report {

struct LUMEKO_REPORT_EXPORT ReportDialogs {
    // Returns the button chosen among `buttons` (QMessageBox::Yes, No, Cancel).
    std::function<QMessageBox::StandardButton(QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons)> ask;
    std::function<void(QWidget *parent, const QString &text)> error;
    // An existing file to read, or a file to write; empty when the user cancelled.
    std::function<QString(QWidget *parent, const QString &caption, const QString &start, const QString &filter)> openFileName;
    std::function<QString(QWidget *parent, const QString &caption, const QString &start, const QString &filter)> saveFileName;
    // A line of text; false when the user cancelled.
    std::function<bool(QWidget *parent, const QString &caption, const QString &label, QString *text)> askText;
    // Lets the user choose and set up the printer; false when the user cancelled.
    std::function<bool(QWidget *parent, QPrinter *printer, int pageCount)> choosePrinter;
};

// The dialogs in use; change them in place.
LUMEKO_REPORT_EXPORT ReportDialogs &reportDialogs();

namespace dialogs {
QMessageBox::StandardButton ask(QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons);
void error(QWidget *parent, const QString &text);
QString openFileName(QWidget *parent, const QString &caption, const QString &start, const QString &filter);
QString saveFileName(QWidget *parent, const QString &caption, const QString &start, const QString &filter);
bool askText(QWidget *parent, const QString &caption, const QString &label, QString *text);
bool choosePrinter(QWidget *parent, QPrinter *printer, int pageCount);
} // namespace dialogs

} // namespace lumeko::report
