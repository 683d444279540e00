#pragma once
// TfrmStudentPage ("学籍档案"): the student register of one grade (or a whole school stage) of one
// intake year, optionally of one class.

#include "framework/ubasepage.h"

#include <QImage>

class QToolButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmStudentPage : public TBasePage {
    Q_OBJECT
public:
    explicit TfrmStudentPage(QWidget *parent = nullptr);

    // The page parameters.
    int PageInYear = 0;
    QString PageGradeCode;
    QString PageGradeName;
    QString CurrentFlag;
    QString ViewerList;
    QString PageClassCode;
    QString AreaFilter;

    DataSet *cdsState, *cdsClassName, *cdsGradeNames, *cdsGradeClass, *cdsFamily, *cdsStudentImage, *cdsMyAchieve, *cdsTeachers;
    bool PrintCard1 = false;
    bool PrintCard2 = false;

    QAction *acFamily, *acSetPass, *acChangeClass, *acImpPic, *acPic, *acOutPic, *acImport, *acDetail;
    QToolButton *tbPicture; // the photo button ("照片"), a drop-down of pmPicture
    QMenu *pmPicture;       // acPic, acOutPic, a separator, acImpPic

    void InitPage() override;
    QString ParameterProblem() const override;
    void LoadData() override;
    void SetReadOnly(bool readOnly) override;
    bool SaveData() override;
    void DeleteRecord() override;
    void InsertRecord() override;
    void BeforeReportPrint(const QString &entry) override;
    void AfterReportPrint(const QString &entry) override;
    QVariant ReportVariable(const QString &name, bool *found) override;
    void BindReport(report::ReportEngine &engine) override;

public Q_SLOTS:
    void acSetPassExecute();
    void acImportExecute();
    void acFamilyExecute();      // studentpagecommands.cpp
    void acChangeClassExecute(); // studentpagecommands.cpp
    void acPicExecute() { showPhotoViewer(0); }
    void acOutPicExecute() { showPhotoViewer(1); }
    void acImpPicExecute();

public:
    // The rows' check before saving; shows the first fault and answers false.
    bool validateRows();

    // A column's protection mark: 1 keeps it read-only while editing.
    int protectionOf(const QString &field) const;

private:
    void readParameters();
    bool loadLists();
    void createFields();
    void computeInternalColumns();
    void loadPhotoIndex();
    QList<wire::Argument> studentQuery() const;
    QString familyFilter() const;
    void completeNewRows();
    void showPhotoViewer(int mode);
    void applyColumnRules();
    QImage photo(const QString &student, int imageType);
};

} // namespace lumeko::achieve
