#pragma once
// TfrmAchieveDivClass ("教学分班"): the teaching classes of a grade, a subject taught in a class
// by its teacher, of which the teacher chooses at most one per subject: the score sheet then
// shows those classes and hands those subjects to its analyses.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace lumeko::achieve {

// The code of a teaching class: the class code (three characters) and the subject code, so that
// characters 4 to 7 name the subject.
LUMEKO_ACHIEVE_EXPORT QString teachingClassCode(const QString &classCode, const QString &subjectCode);
LUMEKO_ACHIEVE_EXPORT QString subjectOfTeachingClass(const QString &code);

class LUMEKO_ACHIEVE_EXPORT TfrmAchieveDivClass : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAchieveDivClass(QWidget *parent = nullptr);

    // The grade's course table lines (SubjectCode, ClassCode, ClassName, TeacherName) with the
    // subjects' names (SubjectCode, SubjectName); `ticked` teaching-class codes start ticked.
    void setTeachingClasses(const DataSet &lines, const DataSet &subjects, const QStringList &ticked = {});

    QListWidget *clbClasses;
    QPushButton *btnOK, *btnCancel; // "确定(&O)", "取消(&C)"

    // The ticked teaching-class codes, in list order.
    QStringList Chosen() const;

public Q_SLOTS:
    void btnOKClick();

private:
    void itemTicked(QListWidgetItem *item);
    bool m_filling = false;
};

} // namespace lumeko::achieve
