#pragma once
// TfrmGradeSubject ("年级科目设置"): which of the school's subjects a grade of an intake teaches,
// with each one's type (base, main or auxiliary), full-mark scheme and lesson-preparation leaders.
// A subject with scores in the grade keeps its tick. The classes a ticked subject is taught in are
// set from its "操作" link (TfrmSubjectClass). After a save the totals of the grade's open exams
// follow the subjects' types.

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class GradeChooser;

class LUMEKO_ACHIEVE_EXPORT TfrmGradeSubject : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmGradeSubject(QWidget *parent = nullptr);

    GradeChooser *grade;   // "年级："
    QAction *acTeachClass; // "设置教学班级": the classes of the current subject

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void SetReadOnly(bool readOnly) override;

    // Sums the eight marks of an exam's subjects (the rows of QExamSubjects that have a weight),
    // each rounded to a whole number with halves to even, into the all, main and base totals of
    // the exam's header (the current row of `header`). True when a total changed.
    static bool totalWholeMarks(DataSet &header, DataSet &subjects);

public Q_SLOTS:
    void acTeachClassExecute();

private:
    void selectionEdited();
    void showLinks();
    void refreshExamTotals();
};

} // namespace lumeko::achieve
