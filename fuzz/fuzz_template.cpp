// Report template files, which schools edit, copy between computers and mail to each other: the
// reader must refuse a broken file with TemplateError and nothing else, and a template it accepts
// must come back equal from writing and reading it again.

#include "check.h"

#include "toolkit/report/templatexml.h"

#include <cstddef>
#include <cstdint>

using namespace lumeko::report;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    ReportTemplate t;
    try {
        t = templateFromXml(xml);
    } catch (const TemplateError &) {
        return 0;
    }
    ReportTemplate back;
    try {
        back = templateFromXml(templateToXml(t));
    } catch (const TemplateError &e) {
        lumeko::fuzz::fail("an accepted template reads back", e.message());
    }
    lumeko::fuzz::require(back == t, "an accepted template comes back equal from its file");
    return 0;
}
