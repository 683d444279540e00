#include "scores/ufrminputscore.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "scores/seatentry.h"
#include "scores/ufrmachievepage.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

TfrmInputScore::TfrmInputScore(TfrmAchievePage *page) : QWidget(page, Qt::Tool | Qt::WindowStaysOnTopHint), m_page(page)
{
    setWindowTitle(QStringLiteral("按座号+成绩录入"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    cbSubject = new QComboBox(this);
    cbClass = new QComboBox(this);
    edInput = new QLineEdit(this);
    form->addRow(QStringLiteral("考试科目："), cbSubject);
    form->addRow(QStringLiteral("学生班级："), cbClass);
    form->addRow(QStringLiteral("座号+成绩："), edInput);
    layout->addLayout(form);
    lbHelp = new QLabel(QStringLiteral("输入两位座号后紧跟成绩，按回车确认。如座号1、成绩86，请输入0186。"), this);
    lbHelp->setWordWrap(true);
    lbHelp->setStyleSheet(QStringLiteral("color: red;"));
    layout->addWidget(lbHelp);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnClose = new QPushButton(QStringLiteral("关    闭"), this);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    connect(edInput, &QLineEdit::returnPressed, this, &TfrmInputScore::enterScore);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    applyHostLook(this, false);
}

void TfrmInputScore::open()
{
    DataSet &sheet = *m_page->cdsData;
    // The score columns the teacher may change, by caption.
    cbSubject->clear();
    m_codes.clear();
    const BandedGrid &grid = *m_page->GridData;
    for (int c = 0; c < grid.columnCount(); ++c) {
        const GridColumn &col = grid.column(c);
        if (!col.field.startsWith(u"C_", Qt::CaseInsensitive) || col.tag == 1 || col.readOnly) continue;
        cbSubject->addItem(grid.columnCaption(c));
        m_codes << col.field.mid(2);
    }
    // The sheet in class and seat order while the box is open; the classes once each, in that order.
    m_formerOrder = sheet.indexFieldNames();
    sheet.setIndexFieldNames(QStringLiteral("ClassName;iClassNO"));
    cbClass->clear();
    for (qsizetype r = 0; r < sheet.recordCount(); ++r) {
        const QString name = sheet.valueAt(r, sheet.fieldIndex(u"ClassName")).toString();
        if (cbClass->findText(name) < 0) cbClass->addItem(name);
    }
    edInput->clear();
    show();
    raise();
    edInput->setFocus();
}

void TfrmInputScore::fail(const QString &message, int scoreStart)
{
    pub::msgError(message, this);
    edInput->setSelection(scoreStart, int(edInput->text().size()) - scoreStart);
    edInput->setFocus();
}

void TfrmInputScore::enterScore()
{
    if (edInput->text().trimmed().isEmpty()) return;
    const int subject = cbSubject->currentIndex();
    const QString code = subject >= 0 ? m_codes.value(subject) : QString();
    // Without a subject no score is valid.
    const auto entry = readSeatEntry(edInput->text(), code.isEmpty() ? -1 : m_page->subjectFullMark(code));
    if (const auto *refused = std::get_if<SeatEntryRefusal>(&entry)) return fail(refused->message, refused->wrongFrom);
    const auto [seat, score] = std::get<SeatScore>(entry);

    DataSet &sheet = *m_page->cdsData;
    const QString klass = cbClass->currentText();
    for (qsizetype r = 0; r < sheet.recordCount(); ++r) {
        if (sheet.valueAt(r, sheet.fieldIndex(u"ClassName")).toString() != klass || sheet.valueAt(r, sheet.fieldIndex(u"iClassNO")).toInt() != seat) continue;
        sheet.moveTo(r);
        sheet.edit();
        sheet.setValue(QStringLiteral("C_") + code, score);
        sheet.post();
        // The page checks the score and keeps the row's totals, as for a typed one.
        if (m_page->checkScore(QStringLiteral("C_") + code)) m_page->computeRowTotals();
        edInput->clear();
        return;
    }
    pub::msgHint(QStringLiteral("没找到与座号 <%1> 相匹配的学生！").arg(seat), this);
    edInput->clear();
}

void TfrmInputScore::closeEvent(QCloseEvent *event)
{
    if (m_page->cdsData->isActive()) m_page->cdsData->setIndexFieldNames(m_formerOrder);
    hide();
    event->ignore(); // reused: the page keeps one
}

} // namespace lumeko::achieve
