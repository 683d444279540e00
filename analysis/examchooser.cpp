#include "analysis/examchooser.h"

#include "host/pub/pub.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {
constexpr int kExamRole = Qt::UserRole + 1;

ChosenExam examOf(const QListWidgetItem *item)
{
    const QStringList k = item->data(kExamRole).toStringList();
    return {k.value(0), k.value(1), k.value(2), item->text()};
}
} // namespace

bool sameExam(const ChosenExam &a, const ChosenExam &b)
{
    return a.gradeCode == b.gradeCode && a.examCode == b.examCode && a.pageName == b.pageName;
}

int chosenInsertPosition(const QList<int> &chosenPlaces, int addedPlace)
{
    if (addedPlace < 0) return int(chosenPlaces.size());
    int position = 0;
    for (int i = 0; i < chosenPlaces.size(); ++i)
        if (chosenPlaces[i] >= 0 && chosenPlaces[i] < addedPlace) position = i + 1;
    return position;
}

ExamChooser::ExamChooser(QWidget *parent) : QWidget(parent)
{
    rbGrade = new QRadioButton(QStringLiteral("本年级考试"), this);
    rbIntake = new QRadioButton(QStringLiteral("本届所有年级考试"), this);
    rbGrade->setChecked(true);
    lbExams = new QListWidget(this);
    lbChosen = new QListWidget(this);
    btnAdd = new QPushButton(QStringLiteral("==>"), this);
    btnRemove = new QPushButton(QStringLiteral("<=="), this);
    btnUp = new QPushButton(QStringLiteral("↑上移"), this);
    btnDown = new QPushButton(QStringLiteral("↓下移"), this);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    auto *kinds = new QHBoxLayout;
    kinds->addWidget(rbGrade);
    kinds->addWidget(rbIntake);
    kinds->addStretch(1);
    grid->addLayout(kinds, 0, 0, 1, 3);
    grid->addWidget(lbExams, 1, 0, 4, 1);
    grid->addWidget(btnAdd, 1, 1);
    grid->addWidget(btnRemove, 2, 1);
    grid->addWidget(btnUp, 3, 1);
    grid->addWidget(btnDown, 4, 1);
    auto *chosenBox = new QGroupBox(QStringLiteral("已选考试"), this);
    (new QVBoxLayout(chosenBox))->addWidget(lbChosen);
    grid->addWidget(chosenBox, 1, 2, 4, 1);

    connect(rbGrade, &QRadioButton::toggled, this, [this] { load(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { add(lbExams->currentItem()); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { remove(lbChosen->currentItem()); });
    connect(lbExams, &QListWidget::itemDoubleClicked, this, &ExamChooser::add);
    connect(lbChosen, &QListWidget::itemDoubleClicked, this, &ExamChooser::remove);
    connect(btnUp, &QPushButton::clicked, this, [this] { move(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { move(1); });
}

void ExamChooser::load()
{
    lbExams->clear();
    if (!source) return;
    const std::optional<QList<ChosenExam>> exams = source(rbIntake->isChecked());
    if (!exams) return;
    const QList<ChosenExam> already = chosen();
    for (const ChosenExam &e : *exams) {
        bool listed = false;
        for (int i = 0; i < lbExams->count() && !listed; ++i)
            listed = sameExam(examOf(lbExams->item(i)), e);
        if (listed) continue;
        auto *item = new QListWidgetItem(e.label, lbExams);
        item->setData(kExamRole, QStringList{e.gradeCode, e.examCode, e.pageName});
        for (const ChosenExam &c : already)
            if (sameExam(c, e)) item->setHidden(true);
    }
    bool currentChosen = false;
    for (const ChosenExam &c : already)
        currentChosen = currentChosen || sameExam(c, current);
    for (int i = 0; i < lbExams->count() && !currentChosen; ++i)
        if (sameExam(examOf(lbExams->item(i)), current)) {
            add(lbExams->item(i));
            currentChosen = true;
        }
}

int ExamChooser::placeOf(const ChosenExam &e) const
{
    for (int i = 0; i < lbExams->count(); ++i)
        if (sameExam(examOf(lbExams->item(i)), e)) return i;
    return -1;
}

void ExamChooser::add(QListWidgetItem *item)
{
    if (!item || item->isHidden()) return;
    int at = lbChosen->count();
    if (keepHeldOrder) {
        QList<int> places;
        for (const ChosenExam &c : chosen())
            places << placeOf(c);
        at = chosenInsertPosition(places, lbExams->row(item));
    }
    auto *copy = new QListWidgetItem(item->text());
    copy->setData(kExamRole, item->data(kExamRole));
    lbChosen->insertItem(at, copy);
    item->setHidden(true);
    lbChosen->setCurrentItem(copy);
}

void ExamChooser::remove(QListWidgetItem *item)
{
    if (!item) return;
    const ChosenExam e = examOf(item);
    if (sameExam(e, current)) {
        pub::msgWarn(QStringLiteral("对不起，此次对比考试不能取消！"), window());
        return;
    }
    for (int i = 0; i < lbExams->count(); ++i)
        if (sameExam(examOf(lbExams->item(i)), e)) lbExams->item(i)->setHidden(false);
    delete lbChosen->takeItem(lbChosen->row(item));
}

void ExamChooser::move(int by)
{
    const int row = lbChosen->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= lbChosen->count()) return;
    QListWidgetItem *item = lbChosen->takeItem(row);
    lbChosen->insertItem(to, item);
    lbChosen->setCurrentRow(to);
}

QList<ChosenExam> ExamChooser::chosen() const
{
    QList<ChosenExam> out;
    for (int i = 0; i < lbChosen->count(); ++i)
        out << examOf(lbChosen->item(i));
    return out;
}

} // namespace lumeko::achieve
