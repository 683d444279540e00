#pragma once
// What the analysis dialogs share: check lists of items, the statistics range of student types,
// asking the server for one exam's statistics, and telling the teacher when that failed.

#include "framework/achieve_export.h"
#include "framework/remotetable.h"
#include "wire/packet.h"

#include <QList>
#include <QString>
#include <QStringList>

class QListWidget;
class QWidget;

namespace lumeko::achieve {

// ---- check lists (QListWidget items with check boxes; the item's data is its key)

LUMEKO_ACHIEVE_EXPORT void addCheckItems(QListWidget *list, const QStringList &captions, const QList<bool> &ticked, const QStringList &keys = {});
LUMEKO_ACHIEVE_EXPORT QList<bool> checkStates(const QListWidget *list);
LUMEKO_ACHIEVE_EXPORT void setCheckStates(QListWidget *list, const QList<bool> &ticked);
LUMEKO_ACHIEVE_EXPORT QList<bool> enabledStates(const QListWidget *list);
// The keys (or, without keys, the captions) of the ticked items, in list order.
LUMEKO_ACHIEVE_EXPORT QStringList checkedKeys(const QListWidget *list);
LUMEKO_ACHIEVE_EXPORT QStringList checkedCaptions(const QListWidget *list);

// The caption of the range item for the students the score page picked.
inline const QString kPickedStudents = QStringLiteral("已选名单");

// Fills a range list with the student types (registry list "STUDTYPE", each its value), all
// ticked, and "已选名单" last, unticked, enabled only with `pickedAllowed`. False, after telling
// the teacher, when the list could not be read.
LUMEKO_ACHIEVE_EXPORT bool fillStudentRange(QListWidget *range, bool pickedAllowed, QWidget *owner, const QString &caption);

// ---- QExamSum

struct ExamSumRequest {
    QString gradeCode, examCode, pageName, entryFlag;
    int inYear = 0;
    int kind = 0;
    bool kindByReference = false; // the comparison openers pass it so; the multi-exam one by value
    QString settings;
    QString filter; // the score page's student filter as filterArgument() makes it
};

struct ExamSumReply {
    CallResult call;
    wire::DataPacket fields; // the column definitions
    wire::DataPacket rows;
};

LUMEKO_ACHIEVE_EXPORT ExamSumReply askExamSum(const ExamSumRequest &request);

// Writes `logText` + the server's words to the host's log and tells the teacher what went wrong
// in his terms: nobody to count, or the connection.
LUMEKO_ACHIEVE_EXPORT void reportAnalysisFailure(QWidget *owner, const QString &logText, const CallResult &result);

} // namespace lumeko::achieve
