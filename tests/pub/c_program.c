/* A plain C program against the host services, with no provider installed and no Qt application:
 * every function must answer, and questions must get their cautious answer. Prints the failed
 * checks and the counts; exits 1 when any failed. */

#define _POSIX_C_SOURCE 200809L

#include "host/pub/lumekopub.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

static int passed = 0;
static int failed = 0;

#define CHECK(cond)                                                                      \
    do {                                                                                 \
        if (cond) {                                                                      \
            ++passed;                                                                    \
        } else {                                                                         \
            ++failed;                                                                    \
            printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #cond);                     \
        }                                                                                \
    } while (0)

static int is_empty(const char *text) { return text != NULL && text[0] == '\0'; }

int main(void)
{
    /* Context without a session. */
    CHECK(is_empty(GetSchoolId()));
    CHECK(is_empty(GetUserName()));
    CHECK(GetUserType() == 0);
    CHECK(IsViewAllGrade() == 0 && IsViewAllClass() == 0);
    CHECK(is_empty(GetTypeList("StudType")));
    CHECK(strcmp(GetGradeType("2301"), "Senior") == 0);
    CHECK(is_empty(GetAppPath()));

    /* Packets are encoded empty packets, never zero bytes. */
    LumekoBytes rights = GetUserRight();
    CHECK(rights.data != NULL && rights.size > 0);
    LumekoBytes classes = GetClassNames();
    CHECK(classes.data != NULL && classes.size == rights.size);

    /* Questions answer no, or cancel where it is offered. */
    CHECK(LumekoMsgBoxConfirm("确定要删除吗？", NULL) == LUMEKO_ANSWER_NO);
    CHECK(LumekoMsgBox("数据已修改，是否保存？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO_CANCEL, NULL) == LUMEKO_ANSWER_CANCEL);
    CHECK(LumekoMsgBox("是否覆盖？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO, NULL) == LUMEKO_ANSWER_NO);
    ShowWaiting(NULL, NULL);
    HideWait();
    ShowOpenDlgForm(NULL, "0");
    CHECK(strcmp(GetParams(), "CANCEL") == 0);

    /* A server object exists but cannot reach a server; undecodable bytes are said to be so. */
    LumekoServer *sys = RemoteSysQry();
    CHECK(sys != NULL);
    LumekoBytes reply = {NULL, 0};
    const unsigned char junk[] = {0x01};
    CHECK(LumekoServerCall(sys, junk, sizeof junk, &reply) == 1);
    CHECK(reply.data != NULL && reply.size > 0);
    RemoteSysQryClose(sys);

    /* The cipher and wide strings. */
    const char *cipher = EncStr("123456", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
    CHECK(strncmp(cipher, "enc1:", 5) == 0 && strlen(cipher) > 40);
    uint16_t *wide = LumekoAllocWideStringUtf8("成绩");
    CHECK(wide != NULL && LumekoWideStringLength(wide) == 2 && wide[0] == 0x6210 && wide[1] == 0x7EE9 && wide[2] == 0);
    LumekoFreeWideString(wide);

    /* The log and the texts of message boxes go to the standard error stream. */
    FILE *captured = tmpfile();
    int saved = dup(fileno(stderr));
    fflush(stderr);
    dup2(fileno(captured), fileno(stderr));
    WriteLogs("C程序的日志");
    LumekoMsgBoxHint("提示文字", NULL);
    fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    rewind(captured);
    char text[1024];
    size_t n = fread(text, 1, sizeof text - 1, captured);
    text[n] = '\0';
    fclose(captured);
    CHECK(strstr(text, "lumeko: C程序的日志\n") != NULL);
    CHECK(strstr(text, "lumeko: [提示] 提示文字\n") != NULL);

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
