#pragma once
// TfrmPubLocate ("快速查找"): moves the page's current row to the next row whose chosen field
// matches a text, by the pinyin initials of its characters, as a whole text, or anywhere in it.
// It stays beside the page without blocking it; its close button only hides it.

#include "framework/locatesearch.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmPubLocate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPubLocate(QWidget *page);

    // "sName-姓名,sNo-学籍辅号": field names and the captions the chooser shows.
    void setFieldList(const QString &fields);
    void bindTable(DataSet *table) { m_search.setTable(table); }

    QComboBox *cbFields;
    QLineEdit *edText;
    QCheckBox *chkInitials;
    QCheckBox *chkWholeText;
    QPushButton *btnFind;
    QPushButton *btnClose;

public Q_SLOTS:
    void find();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QStringList m_fields;
    LocateSearch m_search;
};

} // namespace lumeko::achieve
