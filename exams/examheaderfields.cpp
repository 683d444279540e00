#include "exams/examheaderfields.h"

#include "exams/examsubjects.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

namespace lumeko::achieve {

namespace {
const char *const kTotalPrefix[3] = {"a", "m", "b"};

QString totalField(int row, int mark)
{
    return QString::fromLatin1(kTotalPrefix[row]) + QString::fromLatin1(ExamSubjects::kMarkFields[mark]);
}
} // namespace

ExamHeaderFields::ExamHeaderFields(QWidget *parent, const QString &teacherCaption)
{
    totals = new QWidget(parent);
    auto *grid = new QGridLayout(totals);
    grid->setContentsMargins(0, 0, 0, 0);
    const char *const heads[8] = {"满分", "优秀", "优良", "及格", "较差", "间距", "上限", "下限"};
    for (int m = 0; m < 8; ++m)
        grid->addWidget(new QLabel(QString::fromUtf8(heads[m]), totals), 0, m + 1);
    grid->addWidget(new QLabel(QStringLiteral("全总分"), totals), 1, 0);
    chkMain = new QCheckBox(QStringLiteral("主总分"), totals);
    chkBase = new QCheckBox(QStringLiteral("基总分"), totals);
    grid->addWidget(chkMain, 2, 0);
    grid->addWidget(chkBase, 3, 0);
    for (int t = 0; t < 3; ++t)
        for (int m = 0; m < 8; ++m) {
            edTotal[t][m] = new QDoubleSpinBox(totals);
            edTotal[t][m]->setRange(0, 99999);
            edTotal[t][m]->setDecimals(1);
            edTotal[t][m]->setButtonSymbols(QAbstractSpinBox::NoButtons);
            edTotal[t][m]->setMaximumWidth(64);
            grid->addWidget(edTotal[t][m], t + 1, m + 1);
        }
    // A total that is off cannot be typed into.
    for (QCheckBox *box : {chkMain, chkBase})
        QObject::connect(box, &QCheckBox::toggled, totals, [this] { setEditable(m_editable); });

    rights = new QGroupBox(QStringLiteral("编辑权限"), parent);
    auto *rl = new QGridLayout(rights);
    const QString roles[6] = {QStringLiteral("教务管理员"), QStringLiteral("科目组长"), QStringLiteral("年级长"),
                              QStringLiteral("班主任"),     QStringLiteral("备课组长"), teacherCaption};
    for (int i = 0; i < 6; ++i) {
        chkRight[i] = new QCheckBox(roles[i], rights);
        rl->addWidget(chkRight[i], i / 3, i % 3);
    }
}

void ExamHeaderFields::showTotals(const domain::ExamTotals &t)
{
    const domain::Marks *rows[3] = {&t.all, &t.main, &t.base};
    for (int r = 0; r < 3; ++r)
        for (int m = 0; m < 8; ++m)
            edTotal[r][m]->setValue((*rows[r])[ExamSubjects::kMarkOrder[m]]);
}

void ExamHeaderFields::showHeader(DataSet &header)
{
    for (int t = 0; t < 3; ++t)
        for (int m = 0; m < 8; ++m)
            edTotal[t][m]->setValue(header.value(totalField(t, m)).toDouble());
    chkMain->setChecked(header.value(u"hasMain").toBool());
    chkBase->setChecked(header.value(u"hasBase").toBool());
    const int set = int(header.value(u"ModifyRight").toLongLong());
    for (int i = 0; i < 6; ++i)
        chkRight[i]->setChecked(set & (1 << i));
}

void ExamHeaderFields::writeHeader(DataSet &header)
{
    const auto set = [&header](const QString &field, const QVariant &v) {
        if (header.value(field) != v) header.setValue(field, v);
    };
    for (int t = 0; t < 3; ++t)
        for (int m = 0; m < 8; ++m)
            set(totalField(t, m), edTotal[t][m]->value());
    set(QStringLiteral("hasMain"), chkMain->isChecked());
    set(QStringLiteral("hasBase"), chkBase->isChecked());
    int rightsSet = 0;
    for (int i = 0; i < 6; ++i)
        rightsSet |= chkRight[i]->isChecked() ? (1 << i) : 0;
    set(QStringLiteral("ModifyRight"), rightsSet);
}

void ExamHeaderFields::setEditable(bool on)
{
    m_editable = on;
    chkMain->setEnabled(on);
    chkBase->setEnabled(on);
    for (QCheckBox *c : chkRight)
        c->setEnabled(on);
    for (int t = 0; t < 3; ++t)
        for (int m = 0; m < 8; ++m)
            edTotal[t][m]->setEnabled(on && (t == 0 || (t == 1 ? chkMain->isChecked() : chkBase->isChecked())));
}

} // namespace lumeko::achieve
