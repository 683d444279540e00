#pragma once
// The designer's property panel: what the chosen object or band is, each property an editor whose
// changes go straight into the template through the designer.

#include "toolkit/report/template.h"

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace lumeko::report {

class ReportDesigner;

class PropertyPanel : public QWidget {
    Q_OBJECT
public:
    explicit PropertyPanel(ReportDesigner *designer);
    // Shows the chosen object or band with the template's values.
    void load();
    void focusText();

private:
    QWidget *buildObjectPage();
    QWidget *buildBandPage();
    void loadObject(const ReportObject &o);
    void loadBand(const Band &b);
    void loadPicture();

    ReportDesigner *m_designer;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_nothing = nullptr;

    QFormLayout *m_objectForm = nullptr;
    QLabel *m_kind = nullptr;
    QLineEdit *m_name = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QComboBox *m_font = nullptr;
    QDoubleSpinBox *m_fontSize = nullptr;
    QWidget *m_fontStyle = nullptr;
    QCheckBox *m_bold = nullptr;
    QCheckBox *m_italic = nullptr;
    QComboBox *m_hAlign = nullptr;
    QComboBox *m_vAlign = nullptr;
    QWidget *m_textFlags = nullptr;
    QCheckBox *m_wordWrap = nullptr;
    QCheckBox *m_autoHeight = nullptr;
    QWidget *m_frameSides = nullptr;
    QCheckBox *m_frameLeft = nullptr;
    QCheckBox *m_frameTop = nullptr;
    QCheckBox *m_frameRight = nullptr;
    QCheckBox *m_frameBottom = nullptr;
    QDoubleSpinBox *m_frameWidth = nullptr;
    QWidget *m_pictureRow = nullptr;
    QCheckBox *m_keepAspect = nullptr;
    QDoubleSpinBox *m_x = nullptr;
    QDoubleSpinBox *m_y = nullptr;
    QDoubleSpinBox *m_width = nullptr;
    QDoubleSpinBox *m_height = nullptr;

    QFormLayout *m_bandForm = nullptr;
    QComboBox *m_bandKind = nullptr;
    QLineEdit *m_bandName = nullptr;
    QDoubleSpinBox *m_bandHeight = nullptr;
    QLineEdit *m_bandTable = nullptr;
    QLineEdit *m_bandGroupField = nullptr;
    QCheckBox *m_bandNewPage = nullptr;
};

// Paper, orientation and margins of the page, and the report's title.
class PageSetupDialog : public QDialog {
    Q_OBJECT
public:
    PageSetupDialog(const PageSetup &page, const QString &title, QWidget *parent = nullptr);
    PageSetup page() const;
    QString title() const;

private:
    void paperChosen();

    QLineEdit *m_title = nullptr;
    QComboBox *m_paper = nullptr;
    QDoubleSpinBox *m_paperWidth = nullptr;
    QDoubleSpinBox *m_paperHeight = nullptr;
    QRadioButton *m_portrait = nullptr;
    QRadioButton *m_landscape = nullptr;
    QDoubleSpinBox *m_margins[4] = {}; // left, top, right, bottom
};

} // namespace lumeko::report
