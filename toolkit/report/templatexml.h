#pragma once
// The ".frf" file: a template as XML.
//
//   <report version="1" title="学生名单">
//     <page paper-width="210" paper-height="297" orientation="portrait"
//           margin-left="10" margin-top="10" margin-right="10" margin-bottom="10"/>
//     <band kind="MasterData" name="Master" height="26" table="cdsData" new-page-after="false">
//       <memo name="mm_1" x="20" y="0" width="80" height="26" font="宋体" size="9" bold="false"
//             align="left vcenter" frame="left top right bottom" frame-width="1" wrap="true"
//             auto-height="false">[sName]</memo>
//       <picture name="InPicture" x="…" y="…" width="…" height="…" keep-aspect="true">base64 PNG</picture>
//       <line x="…" y="…" width="…" height="0" frame-width="1"/>
//       <rectangle x="…" y="…" width="…" height="…" frame-width="1"/>
//     </band>
//   </report>
//
// Reading is strict: an unknown element or attribute, a number that is no number, a missing
// required attribute or malformed XML is a TemplateError naming the line and column.

#include "toolkit/report/template.h"

#include <QByteArray>
#include <stdexcept>

namespace lumeko::report {

class LUMEKO_REPORT_EXPORT TemplateError : public std::runtime_error {
public:
    // The message reads "file: line L, column C: problem", leaving out what is not known.
    TemplateError(const QString &problem, qint64 line = 0, qint64 column = 0, const QString &file = {});
    QString message() const { return QString::fromUtf8(what()); }
    const QString &problem() const { return m_problem; }
    qint64 line() const { return m_line; }
    qint64 column() const { return m_column; }

private:
    QString m_problem;
    qint64 m_line;
    qint64 m_column;
};

LUMEKO_REPORT_EXPORT ReportTemplate templateFromXml(const QByteArray &xml);
LUMEKO_REPORT_EXPORT QByteArray templateToXml(const ReportTemplate &report);
// Files: throw TemplateError naming the file when it cannot be read or written.
LUMEKO_REPORT_EXPORT ReportTemplate loadTemplate(const QString &path);
LUMEKO_REPORT_EXPORT void saveTemplate(const ReportTemplate &report, const QString &path);

} // namespace lumeko::report
