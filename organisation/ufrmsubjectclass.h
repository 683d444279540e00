#pragma once
// TfrmSubjectClass ("科目教学班级"): the classes of a grade in which one of its subjects is taught,
// and who teaches it in each: the course table's lines of that subject. Opened from the grade's
// subjects; the subject can be changed to another subject of the grade.

#include "framework/ubasebatch.h"

class QComboBox;
class QLabel;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmSubjectClass : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmSubjectClass(QWidget *parent = nullptr);

    QLabel *lblGrade;     // "年级科目：2026级七年级"
    QComboBox *cbSubject; // "科目：" the grade's subjects

    // Parameters: intake year, grade code, grade name, ..., and the subject's code last.
    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void SetReadOnly(bool readOnly) override;

    QString subjectCode() const;

private:
    int m_inYear = 0;
    QString m_gradeCode;
};

} // namespace lumeko::achieve
