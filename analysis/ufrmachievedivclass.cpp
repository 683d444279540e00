#include "analysis/ufrmachievedivclass.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

QString teachingClassCode(const QString &classCode, const QString &subjectCode)
{
    return classCode.leftJustified(3, u' ', true) + subjectCode;
}

QString subjectOfTeachingClass(const QString &code)
{
    return code.mid(3, 4);
}

TfrmAchieveDivClass::TfrmAchieveDivClass(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("教学分班"));
    applyHostLook(this, true);
    clbClasses = new QListWidget(this);
    clbClasses->setMinimumSize(320, 320);
    btnOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    btnOK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("每个科目选一个教学班级："), this));
    layout->addWidget(clbClasses, 1);
    layout->addLayout(buttons);
    connect(clbClasses, &QListWidget::itemChanged, this, &TfrmAchieveDivClass::itemTicked);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchieveDivClass::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAchieveDivClass::setTeachingClasses(const DataSet &lines, const DataSet &subjects, const QStringList &ticked)
{
    m_filling = true;
    clbClasses->clear();
    const int subject = lines.fieldIndex(u"SubjectCode"), klass = lines.fieldIndex(u"ClassCode"), name = lines.fieldIndex(u"ClassName"),
              teacher = lines.fieldIndex(u"TeacherName");
    const int subjectCode = subjects.fieldIndex(u"SubjectCode"), subjectName = subjects.fieldIndex(u"SubjectName");
    for (qsizetype r = 0; r < lines.recordCount(); ++r) {
        const QString code = lines.valueAt(r, subject).toString();
        QString caption = code;
        for (qsizetype s = 0; s < subjects.recordCount() && subjectCode >= 0 && subjectName >= 0; ++s)
            if (subjects.valueAt(s, subjectCode).toString() == code) caption = subjects.valueAt(s, subjectName).toString();
        const QString who = teacher < 0 ? QString() : lines.valueAt(r, teacher).toString();
        auto *item = new QListWidgetItem(
            QStringLiteral("%1  %2%3").arg(caption, lines.valueAt(r, name).toString(), who.isEmpty() ? QString() : u'（' + who + u'）'), clbClasses);
        const QString id = teachingClassCode(lines.valueAt(r, klass).toString(), code);
        item->setData(Qt::UserRole, id);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(ticked.contains(id) ? Qt::Checked : Qt::Unchecked);
    }
    m_filling = false;
}

void TfrmAchieveDivClass::itemTicked(QListWidgetItem *item)
{
    if (m_filling || item->checkState() != Qt::Checked) return;
    const QString subject = subjectOfTeachingClass(item->data(Qt::UserRole).toString());
    for (int i = 0; i < clbClasses->count(); ++i) {
        const QListWidgetItem *other = clbClasses->item(i);
        if (other == item || other->checkState() != Qt::Checked) continue;
        if (subjectOfTeachingClass(other->data(Qt::UserRole).toString()) == subject) {
            m_filling = true;
            item->setCheckState(Qt::Unchecked);
            m_filling = false;
            pub::msgHint(QStringLiteral("同一科目只能选一个教学班级！"), this);
            return;
        }
    }
}

QStringList TfrmAchieveDivClass::Chosen() const
{
    QStringList out;
    for (int i = 0; i < clbClasses->count(); ++i)
        if (clbClasses->item(i)->checkState() == Qt::Checked) out << clbClasses->item(i)->data(Qt::UserRole).toString();
    return out;
}

void TfrmAchieveDivClass::btnOKClick()
{
    if (Chosen().isEmpty()) {
        pub::msgHint(QStringLiteral("请至少选一个教学班级！"), this);
        return;
    }
    accept();
}

} // namespace lumeko::achieve
