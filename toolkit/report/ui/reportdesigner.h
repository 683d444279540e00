#pragma once
// The report designer: opens a template (or starts an empty one), shows its page with the bands
// stacked and the objects in them, lets the user add, move, resize, edit and delete bands and
// objects, set up the page, preview with sample data, and save the ".frf" file.

#include "toolkit/report/template.h"

#include <QMainWindow>

class QAction;
class QGraphicsView;
class QLabel;
class QSpinBox;

namespace lumeko::report {

class DesignScene;
class DesignView;
class PropertyPanel;
class ReportPreview;
struct ObjectRef;

class LUMEKO_REPORT_EXPORT ReportDesigner : public QMainWindow {
    Q_OBJECT
public:
    explicit ReportDesigner(QWidget *parent = nullptr);
    ~ReportDesigner() override;

    // Opens the designer on a template file, or on a new template when `path` is empty, and
    // returns when the user closes it: 1 when the template was saved, 0 otherwise.
    // `folder` is where 另存为 first looks (a page's report folder).
    static int exec(const QString &path, QWidget *parent = nullptr, const QString &folder = {});

    // A new template: A4, a page header, a master data band over "cdsData", a page footer.
    void newTemplate();
    bool openFile(const QString &path, QString *error = nullptr);
    // Saves to the file and makes it the template's file.
    bool saveTo(const QString &path, QString *error = nullptr);

    const ReportTemplate &currentTemplate() const { return m_template; }
    QString filePath() const { return m_path; }
    bool isModified() const { return m_modified; }
    void setDefaultFolder(const QString &folder) { m_folder = folder; }
    bool canUndo() const { return !m_undo.isEmpty(); }

    // What is chosen: objects (band, index within the band), or a band by itself (-1: none).
    QList<QPair<int, int>> selectedObjects() const;
    int selectedBand() const;
    // Where an object is drawn on the view's viewport, for pointing at it.
    QRect objectOnViewport(int band, int object) const;
    QRect bandOnViewport(int band) const;
    QGraphicsView *view() const;
    // The commands by object name: acNew, acOpen, acSave, acSaveAs, acPageSetup, acPreview,
    // acClose, acUndo, acDelete, acAddMemo, acAddPicture, acAddLine, acAddRectangle, and
    // acAddBand<kind> (acAddBandMasterData, ...).
    QAction *action(const QString &objectName) const;

public Q_SLOTS:
    void selectObject(int band, int object, bool add = false);
    void selectBand(int band);
    void clearSelection();
    // Moves or resizes the chosen objects by report units.
    void moveSelection(double dx, double dy);
    void resizeSelection(double dw, double dh);
    void setObjectGeometry(int band, int object, const QRectF &rect);
    void setBandHeight(int band, double height);
    // Adds a band at its natural place among the others and chooses it; returns its index.
    int addBand(lumeko::report::BandKind kind, const QString &table = {}, const QString &groupField = {});
    // Adds an object to the chosen band (or the master data band) and chooses it; -1 without bands.
    int addObject(lumeko::report::ObjectKind kind);
    bool addPicture(const QString &file, QString *error = nullptr);
    void deleteSelection();
    void setPageSetup(const lumeko::report::PageSetup &page, const QString &title);
    void undo();
    bool save();   // to its file, or asks for one
    bool saveAs(); // asks for a file name
    // Lays the template out over sample data and opens the preview (not modal); null when the
    // template cannot be prepared (the reason was shown).
    ReportPreview *preview();
    bool pageSetup(); // the page setup dialog; true when accepted

Q_SIGNALS:
    void modifiedChanged(bool modified);
    void templateChanged();
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    friend class PropertyPanel;
    void buildActions();
    void loadTemplate(ReportTemplate report, const QString &path);
    void rememberForUndo(const QString &edit = {});
    void setModified(bool modified);
    void updateTitle();
    void updateActions();
    void rebuildScene(const QList<ObjectRef> &objects, int band);
    void commitMoves();
    void commitResize(ObjectRef ref, const QRectF &rect);
    void onSelectionChanged();
    void updateStatus();
    // Edits from the property panel: `edit` names the property so that typing merges into one undo step.
    void changeObject(const QString &edit, const std::function<void(ReportObject &)> &change);
    void changeBand(const QString &edit, const std::function<void(Band &)> &change);
    QString uniqueName(const QString &stem) const;
    int targetBand() const;
    bool askAddBand(BandKind kind);
    bool maybeSave();
    void setZoom(double zoom);

    ReportTemplate m_template;
    QString m_path;
    QString m_folder;
    bool m_modified = false;
    bool m_savedOnce = false;
    QList<ReportTemplate> m_undo;
    QString m_lastEdit; // the property typed into last, while it merges into one undo step
    QList<QPair<int, int>> m_shownObjects; // the selection the panel shows
    int m_shownBand = -1;
    DesignScene *m_scene = nullptr;
    DesignView *m_view = nullptr;
    PropertyPanel *m_panel = nullptr;
    QSpinBox *m_zoomBox = nullptr;
    QLabel *m_status = nullptr;
};

} // namespace lumeko::report
