#pragma once
// TPubImportSet: the import wizard the register, teacher and score pages share. Step 1 chooses the
// source (text copied from a spreadsheet, or an .xlsx/.xls file) and how rows are matched; step 2
// maps the columns onto the page's fields; step 3 merges the rows into the page's table and shows
// what was added, overwritten and left out. A preview runs step 3 on copies first.

#include "framework/import/importmerge.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTableView;

namespace lumeko::achieve {

class ImportGridModel;

class LUMEKO_ACHIEVE_EXPORT TPubImportSet : public QDialog {
    Q_OBJECT
public:
    explicit TPubImportSet(QWidget *parent = nullptr);
    ~TPubImportSet() override;

    // What the page hands over; call prepare() after setting it and the caption.
    ImportTarget target;
    QString Caption;
    void prepare();

    // Step 1 "参数设置"
    QRadioButton *rbClipboard, *rbExcel;
    QLineEdit *edFile;
    QPushButton *btnFile;
    QComboBox *cbSheet; // the worksheet of the chosen file
    QComboBox *cbSplit;
    QCheckBox *cbFirstRow;
    QListWidget *clbKeys;
    QCheckBox *cbOverride, *cbAddData, *cbNameUnique, *cbWLFBImp, *cbImpLoginName;
    QComboBox *cbPinyin, *cbDateSep, *cbDateFormat;
    QLabel *lblStreamNote, *lblTeacherNote;
    // Step 2 "栏位设置"
    QTableView *sgData;
    // Step 3 "导入日志"
    QPlainTextEdit *mmLog, *mmDuplicates;

    QLabel *lblStep;
    QPushButton *btnPrior, *btnNext, *btnPreview, *btnImport, *btnCancel;

    int step() const; // 0, 1, 2
    // The column titles (the mapped captions) and the data rows on step 2.
    QStringList titles() const;
    const QList<QStringList> &rows() const;
    void setTitle(int column, const QString &caption); // column 0 is the first data column
    QStringList captions() const { return m_captions; }
    ImportOptions options() const;

public Q_SLOTS:
    void nextStep();
    void priorStep();
    void importData();
    void previewData();
    void chooseFile();
    void listSheets();

private:
    void buildStep1(QWidget *page);
    void buildStep2(QWidget *page);
    void buildStep3(QWidget *page);
    void showStep(int step);
    bool readSource();
    bool checkMapping();
    void enterLog();
    void keyToggled(QListWidgetItem *item);
    void updateNameUnique();
    void rebuildDateFormats();
    ImportOutcome merge(const ImportTarget &where);
    void appendLog(const QStringList &lines);

    QStackedWidget *m_steps;
    ImportGridModel *m_model;
    QStringList m_captions;
    bool m_finished = false;
    bool m_teacherData = false;
    bool m_previewed = false;
};

} // namespace lumeko::achieve
