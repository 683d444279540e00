#include "students/ufrmchangeclass.h"

#include "framework/servercall.h"
#include "host/pub/pub.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

#include <algorithm>

namespace lumeko::achieve {

TfrmChangeClass::TfrmChangeClass(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("调整班级"));
    cbGrade = new QComboBox(this);
    cbClass = new QComboBox(this);
    for (QComboBox *c : {cbGrade, cbClass}) c->setMinimumWidth(180);
    chkAdminClass = new QCheckBox(QStringLiteral("行政班级"), this);
    chkAdminClass->setChecked(true);
    auto *buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("确   定"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(QStringLiteral("取   消"), QDialogButtonBox::RejectRole);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("目标年级："), cbGrade);
    form->addRow(QStringLiteral("目标班级："), cbClass);
    form->addRow(QString(), chkAdminClass);
    form->addRow(buttons);
    connect(cbGrade, &QComboBox::activated, this, [this](int index) { chooseGrade(index); });
    connect(buttons, &QDialogButtonBox::accepted, this, &TfrmChangeClass::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TfrmChangeClass::addGrade(const QString &gradeCode, const QString &text)
{
    cbGrade->addItem(text, gradeCode);
    // Nothing is chosen until the page or the user chooses.
    cbGrade->setCurrentIndex(m_chosen);
}

bool TfrmChangeClass::chooseGrade(int index, bool quiet)
{
    const QString text = cbGrade->itemText(index);
    const QString year = text.left(4);
    const bool isYear = year.size() == 4 && std::all_of(year.begin(), year.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (index < 0 || index >= cbGrade->count() || !isYear) {
        cbGrade->setCurrentIndex(m_chosen);
        if (!quiet && index >= 0) pub::msgError(QStringLiteral("【%1】没有入学年份，不能选作目标年级！").arg(text), this);
        return false;
    }
    m_chosen = index;
    cbGrade->setCurrentIndex(index);
    InYear = year.toInt();
    GradeCode = cbGrade->itemData(index).toString();
    cbClass->clear();
    pub::ServerObject students = pub::ServerObject::studentQry();
    QList<wire::Argument> args = {in(pub::schoolId()), var(qint64(InYear)), var(GradeCode), var()};
    const wire::Reply reply = students.call(protocol::QGradeClassNames, args);
    if (const auto *p = std::get_if<wire::DataPacket>(&args[3].value); reply.ok() && p) {
        const int code = p->fieldIndex(u"ClassCode"), name = p->fieldIndex(u"ClassName");
        for (qsizetype r = 0; r < p->rowCount(); ++r) cbClass->addItem(p->value(r, name).toString(), p->value(r, code));
    } else {
        pub::writeLog(QStringLiteral("调整班级: ") + reply.message);
    }
    cbClass->setCurrentIndex(-1);
    return true;
}

QString TfrmChangeClass::gradeText() const { return cbGrade->currentIndex() < 0 ? QString() : cbGrade->currentText(); }
QString TfrmChangeClass::classCode() const { return cbClass->currentIndex() < 0 ? QString() : cbClass->currentData().toString(); }
QString TfrmChangeClass::classText() const { return cbClass->currentIndex() < 0 ? QString() : cbClass->currentText(); }

void TfrmChangeClass::confirm()
{
    if (chkAdminClass->isChecked()) {
        if (m_chosen < 0 || cbGrade->currentIndex() < 0) {
            pub::msgHint(QStringLiteral("请选择目标年级！"), this);
            cbGrade->setFocus();
            return;
        }
        if (cbClass->currentIndex() < 0) {
            pub::msgHint(QStringLiteral("请选择目标班级！"), this);
            cbClass->setFocus();
            return;
        }
    }
    accept();
}

} // namespace lumeko::achieve
