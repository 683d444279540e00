#pragma once
// TfrmInPicture ("导入照片"): the batch import of student photos in three steps. Picture files of a
// local folder are matched to the register's students by their names (without the extension),
// uploaded into the server's file store and recorded as the students' entrance or graduation
// photos.

#include "framework/achieve_export.h"

#include <QDialog>
#include <QImage>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace lumeko {
class DataSet;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmInPicture : public QDialog {
    Q_OBJECT
public:
    // `students` is the register's student table, the source of the matches; the grade, intake
    // year and class (empty: the whole grade) name the photo rows the import adds to.
    TfrmInPicture(DataSet *students, const QString &gradeCode, int inYear, const QString &classCode, QWidget *parent = nullptr);

    // ---- step 1 "照片导入设置"
    QComboBox *cbMatchKey;   // 学籍辅号, 姓名, 身份证号, 系统编码
    QComboBox *cbImageType;  // 入学照, 毕业照
    QCheckBox *chkReplace;   // 覆盖导入
    QLabel *lbNote;          // the size limit
    QLabel *lbLink;          // where a tool to shrink pictures can be had
    // ---- step 2 "照片文件源"
    QComboBox *cbFileType;
    QLineEdit *edFolder;
    QToolButton *btnFolder;
    QListWidget *lstFiles;
    QLabel *imgPreview;
    // ---- step 3 "导入结果"
    QListWidget *lstResult;

    QStackedWidget *pcSteps; // the three steps; the user moves with the buttons only
    QLabel *lbStep;
    QProgressBar *pbImport;
    QPushButton *btnPrior, *btnNext, *btnImport, *btnCancel;

    DataSet *cdsDataPic; // the photo rows of the grade (or class) and the chosen type

    int MaxImageSize = 100; // kilobytes
    QString LinkAddress;

    // Asks for the folder of the pictures (a folder dialog titled "选择文件夹"); tests answer it.
    std::function<QString(QWidget *owner, const QString &start)> chooseFolder;

    int step() const;
    // The student field the file names are matched against: sNo, sName, sPNO or sCode.
    QString matchField() const;
    // Shows a folder's pictures of the chosen file type.
    void setFolder(const QString &folder);
    // The picture files listed (without "..").
    QStringList listedFiles() const;
    // The picture in the preview; null when none.
    QImage previewImage() const { return m_preview; }
    QStringList resultLines() const;

public Q_SLOTS:
    void acNextExecute();
    void acPriorExecute();
    void acImportExecute();
    void acCancelExecute();
    void acFolderExecute();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void readSizeLimit();
    bool loadPhotoRows();
    void showStep(int index);
    void fillFileList();
    void fileActivated(QListWidgetItem *item);
    bool preview(const QString &path, QByteArray *bytes = nullptr);
    void showPreview();
    void log(const QString &line);
    void setButtonsEnabled(bool on);
    // Moves the student table to the student whose match field holds `value`.
    bool locateStudent(const QString &value);

    DataSet *m_students;
    QString m_gradeCode;
    int m_inYear;
    QString m_classCode;
    QImage m_preview;
};

} // namespace lumeko::achieve
