/*
 * LumekoAchieve: the academic module's exports, called by the host application on its
 * user-interface thread.
 *
 * Plain C with C linkage, so that a host in any language can load the library and call them.
 *
 * - app: the host's main window (a QWidget* in this port); the module's message boxes and dialogs
 *   belong to it.
 * - parent: the host window a page is embedded in (a QWidget*); null where a page may stand free.
 * - params, extra: UTF-8 parameter texts, split by the page at commas with double-quote quoting.
 * - A page handle is a positive 32-bit number naming the page until ClosePage; 0 means no page.
 * - Wide-string slots: GetDLLTitle and GetDLLActions store a UTF-16 string allocated with
 *   LumekoAllocWideString (LumekoPub) into *slot, first freeing what the slot held with
 *   LumekoFreeWideString. The host frees the last one the same way.
 *
 * The page and dialog exports arrive with their pages; every one is declared here.
 */
#ifndef LUMEKO_FRAMEWORK_LUMEKOACHIEVE_H
#define LUMEKO_FRAMEWORK_LUMEKOACHIEVE_H

#include "framework/achieve_export.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Pages, embedded into parent. */
LUMEKO_ACHIEVE_EXPORT int32_t ShowStudentPage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowTeacherPage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowCourseTablePage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowAchievePage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowExamMrgPage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowPValPage(void *app, void *parent, const char *params);

/* A selection dialog, then a report or chart page; 0 when the dialog is cancelled. */
LUMEKO_ACHIEVE_EXPORT int32_t ShowTeacherSumPage(void *app, void *parent, const char *params, const char *extra);
LUMEKO_ACHIEVE_EXPORT int32_t ShowSubjectSumPage(void *app, void *parent, const char *params, const char *extra);
LUMEKO_ACHIEVE_EXPORT int32_t ShowClassSumPage(void *app, void *parent, const char *params, const char *extra);
LUMEKO_ACHIEVE_EXPORT int32_t ShowAchMutiPage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowDistSumPage(void *app, void *parent, const char *params, const char *extra);
LUMEKO_ACHIEVE_EXPORT int32_t ShowUpDownSumPage(void *app, void *parent, const char *params);
LUMEKO_ACHIEVE_EXPORT int32_t ShowUpDLinePage(void *app, void *parent, const char *params);

/* Modal dialogs. */
LUMEKO_ACHIEVE_EXPORT int32_t ShowPValForm(void *app, const char *params);
LUMEKO_ACHIEVE_EXPORT void ShowGradeForm(void *app);
LUMEKO_ACHIEVE_EXPORT void ShowDeptForm(void *app);
LUMEKO_ACHIEVE_EXPORT void ShowClassForm(void *app);
LUMEKO_ACHIEVE_EXPORT void ShowGradeClassFDlg(void *app, const char *params);
LUMEKO_ACHIEVE_EXPORT void ShowSubjectForm(void *app);
LUMEKO_ACHIEVE_EXPORT void ShowGradeSubjectFDlg(void *app, const char *params);
LUMEKO_ACHIEVE_EXPORT void ShowExamInfoForm(void *app);
LUMEKO_ACHIEVE_EXPORT void ShowExamDefFDlg(void *app, const char *params);
LUMEKO_ACHIEVE_EXPORT void ShowSysExamDefFDlg(void *app, const char *params);
LUMEKO_ACHIEVE_EXPORT void ShowGradeDefForm(void *app);
LUMEKO_ACHIEVE_EXPORT void ShowUpGradeForm(void *app);

/* Closing: 1 when the page closed, 0 for a bad handle or a page that keeps unsaved edits. */
LUMEKO_ACHIEVE_EXPORT uint8_t ClosePage(int32_t handle);
/* Closes every base page, newest first; pages that refuse stay open. */
LUMEKO_ACHIEVE_EXPORT void ClearAllRes(void);

/* The module's menu title ("更多"), and the page actions the signed-in user may open:
 * "key;name;id;image;desk image" items joined by ",". */
LUMEKO_ACHIEVE_EXPORT void GetDLLTitle(uint16_t **slot);
LUMEKO_ACHIEVE_EXPORT void GetDLLActions(uint16_t **slot);

#ifdef __cplusplus
}
#endif

#endif /* LUMEKO_FRAMEWORK_LUMEKOACHIEVE_H */
