#pragma once
// The exams an analysis compares: this grade's or the whole intake's ("本年级考试",
// "本届所有年级考试"), the list to pick from and the chosen list in order ("==>", "<==", "↑上移",
// "↓下移", double clicks), the current exam always among the chosen.

#include "framework/achieve_export.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

namespace lumeko::achieve {

// One exam as the lists show it.
struct ChosenExam {
    QString gradeCode, examCode, pageName;
    QString label; // grade name + "." + exam name
    bool operator==(const ChosenExam &) const = default;
};
LUMEKO_ACHIEVE_EXPORT bool sameExam(const ChosenExam &a, const ChosenExam &b);

// Where an exam added to the chosen list goes when the list keeps the order the exams were held
// in: after the chosen exams held before it. Places are positions in the offered list, −1 unknown.
LUMEKO_ACHIEVE_EXPORT int chosenInsertPosition(const QList<int> &chosenPlaces, int addedPlace);

class LUMEKO_ACHIEVE_EXPORT ExamChooser : public QWidget {
    Q_OBJECT
public:
    explicit ExamChooser(QWidget *parent = nullptr);

    QRadioButton *rbGrade, *rbIntake;
    QListWidget *lbExams, *lbChosen;
    QPushButton *btnAdd, *btnRemove, *btnUp, *btnDown;

    // The exams of the grade (false) or of the intake (true), in the order they were held; nothing
    // when they could not be read (the source has told the teacher).
    std::function<std::optional<QList<ChosenExam>>(bool intake)> source;
    ChosenExam current;         // never removed from the chosen list
    bool keepHeldOrder = false; // an added exam goes to its place rather than to the end

    // Lists the offered exams anew (those chosen stay chosen and hidden), then chooses the current
    // exam when it is not chosen yet.
    void load();
    void add(QListWidgetItem *item);
    void remove(QListWidgetItem *item);
    void move(int by);
    QList<ChosenExam> chosen() const;

private:
    int placeOf(const ChosenExam &e) const;
};

} // namespace lumeko::achieve
