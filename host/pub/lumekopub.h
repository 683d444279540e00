/*
 * LumekoPub: the host services the academic module reaches the host through.
 *
 * Plain C with C linkage, so that the module and any other program, in C or C++, can call it.
 *
 * Conventions
 * - Texts are UTF-8, zero-terminated. A null text argument reads as the empty text.
 * - A returned text belongs to the library and stays valid until the next call of the same
 *   function on the same thread; copy it to keep it. It is never null (the empty text instead).
 * - Data packets (GetUserRight, GetGradeList, GetGradeNames, GetClassNames) come back as the bytes
 *   of an encoded data packet (the wire format of the server's query results), valid until the next
 *   call of the same function on the same thread. Without a session, or when the server cannot be
 *   asked, they are the bytes of an empty packet (no fields, no rows), never zero bytes.
 * - An owner is the window a dialog belongs to: a QWidget* in this port; null for none.
 * - Colours are 0x00RRGGBB.
 * - Behind the interactive functions sits the provider the host installs. Without one they answer
 *   without asking anybody: message boxes answer "no" (or "cancel" where offered) and echo their
 *   text to the standard error stream, the wait indicator and help show nothing, the chooser
 *   answers "CANCEL", and WriteLogs writes its line to the standard error stream.
 * - The library is used from the host's user-interface thread. A server object may be used from
 *   another thread only when the host's link to the server allows it, and by one thread at a time.
 */
#ifndef LUMEKO_HOST_PUB_LUMEKOPUB_H
#define LUMEKO_HOST_PUB_LUMEKOPUB_H

#include "host/pub/pub_export.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Server objects ------------------------------------------------------------------------ */

/* A server object: a proxy of one of the six objects of the application server, whose methods are
 * called by name. Opaque. */
typedef struct LumekoServer LumekoServer;

/* Bytes owned by the library. */
typedef struct LumekoBytes {
    const unsigned char *data;
    size_t size;
} LumekoBytes;

/* Each returns a new server object, never null. Without a session the object exists but every call
 * on it fails (error code 5, not signed in). Release it with the matching ...Close function. */
LUMEKO_PUB_EXPORT LumekoServer *RemoteStudentQry(void);
LUMEKO_PUB_EXPORT LumekoServer *RemoteStudentUp(void);
LUMEKO_PUB_EXPORT LumekoServer *RemoteAchieveQry(void);
LUMEKO_PUB_EXPORT LumekoServer *RemoteAchieveUp(void);
LUMEKO_PUB_EXPORT LumekoServer *RemoteSysQry(void);
LUMEKO_PUB_EXPORT LumekoServer *RemoteSysUp(void);

/* Release a server object; null is allowed and does nothing. An object of another kind is
 * released all the same, and the mix-up is written to the host's log. */
LUMEKO_PUB_EXPORT void RemoteStudentQryClose(LumekoServer *server);
LUMEKO_PUB_EXPORT void RemoteStudentUpClose(LumekoServer *server);
LUMEKO_PUB_EXPORT void RemoteAchieveQryClose(LumekoServer *server);
LUMEKO_PUB_EXPORT void RemoteAchieveUpClose(LumekoServer *server);
LUMEKO_PUB_EXPORT void RemoteSysQryClose(LumekoServer *server);
LUMEKO_PUB_EXPORT void RemoteSysUpClose(LumekoServer *server);

/* Calls a method of the server object. `call` holds an encoded call (object, method, token,
 * arguments, by-reference slots); its object and token are ignored and replaced by the server
 * object's. `*reply` receives the encoded reply (result, by-reference values written back, error
 * code and message), valid until the next LumekoServerCall on the same thread; it is filled on
 * every path, also when the call bytes cannot be decoded. Returns the reply's error code: 0 when
 * the call succeeded. */
LUMEKO_PUB_EXPORT int LumekoServerCall(LumekoServer *server, const unsigned char *call, size_t size, LumekoBytes *reply);

/* Drops the cached grade list, grade names and class names; the next request asks the server. */
LUMEKO_PUB_EXPORT void RemoteCloseGradeData(void);

/* ---- The signed-in user's context ---------------------------------------------------------- */

LUMEKO_PUB_EXPORT const char *GetSchoolId(void);
LUMEKO_PUB_EXPORT const char *GetSchoolName(void);
LUMEKO_PUB_EXPORT const char *GetSchoolType(void);
LUMEKO_PUB_EXPORT const char *GetUserCode(void);
LUMEKO_PUB_EXPORT const char *GetUserName(void);
LUMEKO_PUB_EXPORT const char *GetUserID(void);
/* Comma text of the user's role numbers 1..6. */
LUMEKO_PUB_EXPORT const char *GetUserRole(void);
/* 1 = not restricted by rights; 0 without a session. */
LUMEKO_PUB_EXPORT int GetUserType(void);
/* 1 or 0. */
LUMEKO_PUB_EXPORT int IsViewAllGrade(void);
LUMEKO_PUB_EXPORT int IsViewAllClass(void);

/* Fields sFunKey, sFunName, sID, sImg, sDeskImg, sParFunId, sFunId; read once per session. */
LUMEKO_PUB_EXPORT LumekoBytes GetUserRight(void);
/* Fields GradeCode, InYear, sYear, TeacherCode, SubTeacherCode, bCurGrade, SchoolCode. Cached. */
LUMEKO_PUB_EXPORT LumekoBytes GetGradeList(void);
/* Fields sKeyId (grade code), sValue (name), sType (school section), ... Cached. */
LUMEKO_PUB_EXPORT LumekoBytes GetGradeNames(void);
/* Fields ClassCode, ClassName, AliasName, sArea, sType. Cached. */
LUMEKO_PUB_EXPORT LumekoBytes GetClassNames(void);

/* The values of a registry list ("StudType", "Nation", ...) as comma text, in their order. */
LUMEKO_PUB_EXPORT const char *GetTypeList(const char *listName);
/* The report folder prefix of a grade: "Primary", "Junior" or "Senior" for a grade code whose first
 * character is "0", "1" or "2"; the empty text for any other code. */
LUMEKO_PUB_EXPORT const char *GetGradeType(const char *gradeCode);

/* ---- The host --------------------------------------------------------------------------------- */

/* The host's folder, ending in "/". */
LUMEKO_PUB_EXPORT const char *GetAppPath(void);
/* The title of the host's main window. */
LUMEKO_PUB_EXPORT const char *GetAppName(void);
LUMEKO_PUB_EXPORT const char *GetLocalComputer(void);
/* Point size of the user-interface font. */
LUMEKO_PUB_EXPORT int GetAppFontSize(void);

/* ---- Appearance ------------------------------------------------------------------------------- */

LUMEKO_PUB_EXPORT uint32_t GetContentColor(void);
LUMEKO_PUB_EXPORT uint32_t GetFrameColor(void);
LUMEKO_PUB_EXPORT uint32_t GetHotTrackColor(void);
LUMEKO_PUB_EXPORT uint32_t GetTitleBackColor(void);
LUMEKO_PUB_EXPORT uint32_t GetTitleFontColor(void);

/* Where the style's images live: a Qt resource prefix (":/lumeko/style/") or a folder, ending in
 * "/". It holds the tool bar icons by name ("Edit", "Insert", ..., greyed "Edit1", ...) in the
 * sizes 16, 24, 32 and 48 as "<size>/<name>.png", the bitmaps "ClnBG.png" and "ToolBG.png", and the
 * application icon "AppIcon" in the same layout as the tool bar icons. */
LUMEKO_PUB_EXPORT const char *GetLumekoStyle(void);

/* Fills `imageList` (a QList<QIcon>*, emptied first) with one icon per comma-separated name, in
 * the order of the names, from the style `style` (null or empty: GetLumekoStyle()). A name the
 * style does not hold gives an empty icon, so that icon i is always the i-th name's. Returns the
 * number of icons found; -1 when imageList is null. */
LUMEKO_PUB_EXPORT int LoadIconList(const char *style, const char *names, void *imageList);

/* ---- Dialogs --------------------------------------------------------------------------------- */

/* The kind (icon and title) of LumekoMsgBox. */
enum LumekoMsgKind {
    LUMEKO_MSG_HINT = 0,
    LUMEKO_MSG_WARN = 1,
    LUMEKO_MSG_QUESTION = 2, /* what the module's save questions pass */
    LUMEKO_MSG_ERROR = 3,
    LUMEKO_MSG_CONFIRM = 4
};

/* Buttons of LumekoMsgBox. */
enum LumekoMsgButtons {
    LUMEKO_BUTTONS_YES_NO = 1,
    LUMEKO_BUTTONS_YES_NO_CANCEL = 2
};

/* Answers. */
enum LumekoMsgAnswer {
    LUMEKO_ANSWER_YES = 1, /* also: the hint, warning or error was acknowledged */
    LUMEKO_ANSWER_NO = 2,
    LUMEKO_ANSWER_CANCEL = 3
};

LUMEKO_PUB_EXPORT void LumekoMsgBoxHint(const char *text, void *owner);
LUMEKO_PUB_EXPORT void LumekoMsgBoxWarn(const char *text, void *owner);
LUMEKO_PUB_EXPORT void LumekoMsgBoxError(const char *text, void *owner);
/* Yes/No: 1 yes, 2 no. */
LUMEKO_PUB_EXPORT int LumekoMsgBoxConfirm(const char *text, void *owner);
/* buttons 1: Yes/No → 1/2; buttons 2: Yes/No/Cancel → 1/2/3; any other value offers Yes/No. A kind
 * outside LumekoMsgKind is a question. */
LUMEKO_PUB_EXPORT int LumekoMsgBox(const char *text, int kind, int buttons, void *owner);

/* The wait indicator: a notice over the owner that does not block. Pairs nest: an inner
 * ShowWaiting changes the text, and the indicator stays until the HideWait of the outermost pair.
 * An empty text shows "正在处理数据，请稍候......". A HideWait without a ShowWaiting does nothing. */
LUMEKO_PUB_EXPORT void ShowWaiting(void *owner, const char *text);
LUMEKO_PUB_EXPORT void HideWait(void);

/* The help page of a help name (the page's or dialog's own name). */
LUMEKO_PUB_EXPORT void ShowHelpDlgForm(void *owner, const char *helpName);
/* The download of a grade's students from the national student registry; text "InYear|GradeCode". */
LUMEKO_PUB_EXPORT void ShowDownGradeDlgForm(void *owner, const char *text);
/* A chooser of the host; kind "0" chooses a grade. Its answer is read with GetParams: for a grade
 * the comma text "InYear,GradeCode,grade name,current flag (Y/N)", "CANCEL" when cancelled. */
LUMEKO_PUB_EXPORT void ShowOpenDlgForm(void *owner, const char *kind);
/* The answer of the last ShowOpenDlgForm; the empty text before the first and after a sign-out. */
LUMEKO_PUB_EXPORT const char *GetParams(void);

/* ---- Log and cipher -------------------------------------------------------------------------- */

/* Appends a line to the host's local log. */
LUMEKO_PUB_EXPORT void WriteLogs(const char *text);

/* The text enciphered with the key for storage: "enc1:" + base64 of a random nonce and the
 * XChaCha20-Poly1305 cipher text under BLAKE2b-256(key). The same text gives a different cipher
 * text each time; only the same key deciphers it. */
LUMEKO_PUB_EXPORT const char *EncStr(const char *text, const char *key);

/* ---- Wide strings ---------------------------------------------------------------------------- */

/* A UTF-16 string that one side allocates and the other frees (the module's exports hand texts to
 * the host this way). The pointer addresses the first code unit; the string is zero-terminated, and
 * the 32-bit count of its code units (without the terminator) is stored in the four bytes before
 * it. A negative length, one of 2^30 or more, or a lack of memory gives null. */
LUMEKO_PUB_EXPORT uint16_t *LumekoAllocWideString(const uint16_t *text, int32_t length);
/* The same from UTF-8 (null: the empty string). */
LUMEKO_PUB_EXPORT uint16_t *LumekoAllocWideStringUtf8(const char *text);
/* The count of code units; 0 for null. */
LUMEKO_PUB_EXPORT int32_t LumekoWideStringLength(const uint16_t *text);
/* Frees a string from LumekoAllocWideString; null is allowed. */
LUMEKO_PUB_EXPORT void LumekoFreeWideString(uint16_t *text);

#ifdef __cplusplus
}
#endif

#endif /* LUMEKO_HOST_PUB_LUMEKOPUB_H */
