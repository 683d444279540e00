// The register page's family and class-change commands: each opens its dialog and, for the class
// change, moves the marked students where the dialog says.

#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "students/ufrmchangeclass.h"
#include "students/ufrmfamily.h"
#include "students/ufrmstudentpage.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>

#include <QComboBox>
#include <optional>

namespace lumeko::achieve {

void TfrmStudentPage::acFamilyExecute()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    const QString filter = cdsFamily->filter();
    const bool filtered = cdsFamily->filtered();
    {
        TfrmFamily dialog(cdsData, cdsFamily, dialogOwner(this));
        dialog.InitDialog();
        runModal(dialog);
    }
    // The page lists, prints and imports the families of all its students again.
    if (cdsFamily->isActive()) {
        cdsFamily->setFilter(filter);
        cdsFamily->setFiltered(filtered);
    }
}

void TfrmStudentPage::acChangeClassExecute()
{
    TfrmChangeClass dialog(dialogOwner(this));
    // The current grades of the page's school stage.
    DataSet grades;
    grades.setData(pub::gradeList());
    if (grades.fieldIndex(u"bCurGrade") >= 0) {
        grades.setIndexFieldNames(QStringLiteral("GradeCode;InYear"));
        grades.setFilter(QStringLiteral("bCurGrade='Y'"));
        grades.setFiltered(true);
        const QString stage = PageGradeCode.left(1);
        for (grades.first(); !grades.eof(); grades.next()) {
            const QString code = grades.value(u"GradeCode").toString();
            if (stage.isEmpty() || !code.startsWith(stage)) continue;
            const QString text = cdsGradeNames->isActive() && cdsGradeNames->locate(QStringLiteral("sKeyId"), {code})
                                     ? grades.value(u"InYear").toString() + QStringLiteral("级") + cdsGradeNames->value(u"sValue").toString()
                                     : QStringLiteral("无效年级");
            dialog.addGrade(code, text);
        }
    }
    if (const int own = dialog.cbGrade->findData(PageGradeCode); own >= 0) dialog.chooseGrade(own, true);
    if (runModal(dialog) != QDialog::Accepted) return;

    const bool move = dialog.chkAdminClass->isChecked();
    int moved = 0;
    bool reload = false;
    GridData->setUpdatesEnabled(false);
    std::optional<FrozenControls> frozen(std::in_place, *cdsData);
    if (move) {
        // By bookmark: a moved row may take another place in the register's order.
        QList<Bookmark> marked;
        for (cdsData->first(); !cdsData->eof(); cdsData->next())
            if (cdsData->value(u"Selected").toBool()) marked << cdsData->bookmark();
        for (const Bookmark row : marked) {
            if (!cdsData->gotoBookmark(row)) continue;
            cdsData->edit();
            cdsData->setValue(u"InYear", dialog.InYear);
            cdsData->setValue(u"GradeCode", dialog.GradeCode);
            cdsData->setValue(u"ClassCode", dialog.classCode());
            cdsData->setValue(u"Selected", false); // a mark is never stored as set
            cdsData->post();
            ++moved;
        }
    }
    if (move && cdsData->changeCount() > 0) {
        const CallResult r = saveTable(*cdsData, protocol::UpStudent);
        if (r.ok()) {
            pub::msgHint(QStringLiteral("成功调整 %1 个学生到【%2→%3】").arg(moved).arg(dialog.gradeText(), dialog.classText()), this);
        } else if (r.outcome == CallResult::Failed) {
            // Nothing was stored: the register shows again what the server holds.
            reportFailure(this, QStringLiteral("学籍档案"), r, Failure::Connection);
        }
        // Rows the server refused stay pending, as they are.
        reload = r.outcome != CallResult::Refused;
    }
    frozen.reset();
    GridData->setUpdatesEnabled(true);
    if (reload) LoadData();
}

} // namespace lumeko::achieve
