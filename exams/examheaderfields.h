#pragma once
// The fields of an exam header that the wizard and the management page both show: the 3 × 8
// totals (rows 全总分, 主总分, 基总分; columns 满分 优秀 优良 及格 较差 间距 上限 下限) with the two
// check boxes that switch the main and base totals on, and the six-role group of edit rights.

#include "domain/examrules.h"
#include "toolkit/data/dataset.h"

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QWidget;

namespace lumeko::achieve {

class ExamHeaderFields {
public:
    // `teacherCaption` is the last role's caption ("任课教师" in the wizard, "任课老师" on the page).
    ExamHeaderFields(QWidget *parent, const QString &teacherCaption);

    QWidget *totals;   // the 3 × 8 grid
    QGroupBox *rights; // "编辑权限"
    QDoubleSpinBox *edTotal[3][8];
    QCheckBox *chkMain, *chkBase;
    QCheckBox *chkRight[6]; // 教务管理员 科目组长 年级长 班主任 备课组长 任课教师 (bits 0 … 5)

    void showTotals(const domain::ExamTotals &t);
    // The header's totals, total switches and rights.
    void showHeader(DataSet &header);
    // Into the header (in edit or insert): the fields that differ from what it holds.
    void writeHeader(DataSet &header);
    void setEditable(bool on);

private:
    bool m_editable = true;
};

} // namespace lumeko::achieve
