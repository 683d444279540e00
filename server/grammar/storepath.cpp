#include "server/grammar/storepath.h"

#include "server/grammar/compositekeys.h"
#include "server/grammar/scanner.h"

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

bool isSeparator(QChar c)
{
    return c == u'\\' || c == u'/';
}

bool isFileNameChar(QChar c)
{
    return isAsciiLetterOrDigit(c) || c == u'_' || c == u'-' || c == u'.';
}

void checkFileName(const Scanner &s, QStringView name, qsizetype at)
{
    if (name.size() > MaxStoreFileNameLength)
        s.failAt(at, u"expected a file name of at most %1 characters"_s.arg(MaxStoreFileNameLength));
    if (name.startsWith(u'.')) s.failAt(at, u"expected a file name not starting with \".\""_s);
    for (qsizetype i = 0; i < name.size(); ++i)
        if (!isFileNameChar(name[i]))
            s.failAt(at + i, u"expected a file name of letters, digits, \"_\", \"-\" and \".\""_s);
}

} // namespace

QString checkStorePath(QStringView path, QStringView callerSchoolId)
{
    const Scanner s(path, u"photo path"_s, 1024);
    if (!isSchoolId(callerSchoolId))
        throw ClientTextError(u"photo path"_s, u"the caller's school id cannot name a folder"_s, 0);
    for (qsizetype i = 0; i < path.size(); ++i)
        if (path[i].unicode() < 32 || path[i].unicode() == 127) s.failAt(i, u"control character in the path"_s);
    if (path.isEmpty()) s.failAt(0, u"expected StudentPics\\<school>\\<0|1>\\<file name>"_s);
    if (isSeparator(path[0])) s.failAt(0, u"absolute paths are refused"_s);
    if (path.size() >= 2 && path[1] == u':') s.failAt(0, u"drive letters are refused"_s);

    QList<Piece> segments;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        segments.append({path.mid(start, i - start), start});
        start = i + 1;
    }
    for (const Piece &segment : segments) {
        if (segment.text.isEmpty()) s.failAt(segment.pos, u"empty folder or file name"_s);
        if (segment.text == u"." || segment.text == u"..") s.failAt(segment.pos, u"\".\" and \"..\" are refused"_s);
        const qsizetype colon = segment.text.indexOf(u':');
        if (colon >= 0) s.failAt(segment.pos + colon, u"unexpected \":\""_s);
    }
    if (segments.size() != 4) s.failAt(0, u"expected StudentPics\\<school>\\<0|1>\\<file name>"_s);
    if (!equalsAsciiNoCase(segments[0].text, "StudentPics"_L1)) s.failAt(0, u"expected StudentPics"_s);
    if (segments[1].text != callerSchoolId) s.failAt(segments[1].pos, u"expected the caller's own school"_s);
    if (segments[2].text != u"0" && segments[2].text != u"1")
        s.failAt(segments[2].pos, u"expected photo type 0 or 1"_s);
    checkFileName(s, segments[3].text, segments[3].pos);
    return u"StudentPics/%1/%2/%3"_s.arg(segments[1].text, segments[2].text, segments[3].text);
}

QString checkStorePath(QStringView folder, QStringView fileName, QStringView callerSchoolId)
{
    QStringView base = folder;
    if (!base.isEmpty() && isSeparator(base.last())) base.chop(1);
    return checkStorePath(base.toString() + u'\\' + fileName.toString(), callerSchoolId);
}

} // namespace lumeko::server::grammar
