#include "scores/ufrmmarkhistory.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

TfrmMarkHistory::TfrmMarkHistory(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("成绩修改记录"));
    cdsHistory = new DataSet(this);
    auto *layout = new QVBoxLayout(this);
    grdHistory = new BandedGrid(this);
    grdHistory->setDataSet(cdsHistory);
    grdHistory->setReadOnly(true);
    grdHistory->setBandCaptionsVisible(false);
    const auto column = [](const char *field, const char *caption, int width) { return GridColumn::of(field, caption, width, true); };
    QList<GridColumn> columns{column("dChanged", "修改时间", 140), column("sName", "学生", 70),      column("SubjectName", "科目", 60),
                              column("OldScore", "原成绩", 60),    column("NewScore", "新成绩", 60), column("UserName", "修改人", 70),
                              column("sComputer", "计算机", 110)};
    columns[1].summary = SummaryKind::Count;
    columns[1].summaryFormat = QStringLiteral("共,0条");
    grdHistory->setColumns(columns);
    grdHistory->setFixedColumnCount(0);
    layout->addWidget(grdHistory, 1);
    auto *bottom = new QHBoxLayout;
    chkStudent = new QCheckBox(QStringLiteral("只看当前学生"), this);
    lbCount = new QLabel(this);
    bottom->addWidget(chkStudent);
    bottom->addWidget(lbCount, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关  闭"));
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(chkStudent, &QCheckBox::toggled, this, [this] { read(); });
    resize(640, 460);
    applyHostLook(this, false);
}

bool TfrmMarkHistory::load(const QString &examId, const QString &studentCode)
{
    m_examId = examId;
    m_student = studentCode;
    chkStudent->setEnabled(!studentCode.isEmpty());
    return read();
}

bool TfrmMarkHistory::read()
{
    const QString student = chkStudent->isChecked() ? m_student : QString();
    const CallResult r = loadTable(*cdsHistory, protocol::QMarkHistory, {in(pub::schoolId()), in(m_examId), in(student), var()});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    lbCount->setText(cdsHistory->isEmpty() ? QStringLiteral("没有成绩修改记录。") : QString());
    return true;
}

} // namespace lumeko::achieve
