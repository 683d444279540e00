#pragma once
// TfrmPicView ("照片查看"): the entrance or graduation photo of the student focused in the register's
// grid; its buttons walk the students in the grid's order (as sorted and filtered there).

#include "framework/achieve_export.h"

#include <QDialog>
#include <QImage>

#include <functional>

class QLabel;
class QPushButton;

namespace lumeko {
class BandedGrid;
class DataSet;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmPicView : public QDialog {
    Q_OBJECT
public:
    // `mode` 0 shows entrance photos, 1 graduation photos; `grid` is the register's grid and
    // `photos` its photo index (sCode, imgtype, imgfile; indexed on "sCode;imgtype").
    TfrmPicView(int mode, BandedGrid *grid, DataSet *photos, QWidget *parent = nullptr);

    QLabel *imgPhoto;
    QPushButton *btnFirst, *btnPrior, *btnNext, *btnLast, *btnSaveAs, *btnQuit;

    // Asks where to save the picture, offering `suggested`; empty: not saved. Tests answer it.
    std::function<QString(QWidget *owner, const QString &suggested)> chooseSaveFile;

    int mode() const { return m_mode; }
    QString shownCode() const { return m_shownCode; }
    QImage picture() const { return m_picture; } // null when none is shown

public Q_SLOTS:
    // Shows the focused student's photo, unless that student is shown already.
    void showStudent();
    void acFirstExecute() { moveTo(0); }
    void acPriorExecute() { moveTo(1); }
    void acNextExecute() { moveTo(2); }
    void acLastExecute() { moveTo(3); }
    void acSaveAsExecute();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void moveTo(int how);
    void showPicture();

    int m_mode;
    BandedGrid *m_grid;
    DataSet *m_photos;
    QString m_shownCode; // the student shown last; none when the viewer is new
    QString m_shownName;
    QImage m_picture;
};

} // namespace lumeko::achieve
