#pragma once
// TfrmPubRptSet ("报表设置"): the page's report templates, to open the designer on one of them or
// on a new template.

#include "framework/achieve_export.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmPubRptSet : public QDialog {
    Q_OBJECT
public:
    TfrmPubRptSet(const QString &folder, QWidget *parent = nullptr);

    // "1. 学生名单": one line per ".frf" file of the folder, in the order the folder lists them.
    void fillList();

    QListWidget *lstReports;
    QPushButton *btnModify;
    QPushButton *btnNew;
    QPushButton *btnQuit;

    // Opens the designer on a template file, or on a new one for an empty path; tests replace it.
    std::function<void(const QString &path, const QString &folder, QWidget *owner)> openDesigner;

public Q_SLOTS:
    void modifyReport();
    void newReport();

private:
    QString m_folder;
};

} // namespace lumeko::achieve
