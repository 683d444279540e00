#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/seeds/<target>/.

The binary seeds are CBOR, encoded here by hand in the forms the wire codec reads:
  data packet    [1, [[name, type, size, flags]...], rowCount, [[value...] per field]]
  change packet  [1, [[name, type, size, flags]...], [[status, [old...], [new...]]...]]
  call           [1, object, method, token, [argument...], [by-reference index...]]
  reply          [1, result, [[index, value]...], error code, error message]
Field types: 1 text, 2 integer, 3 float, 4 boolean, 5 date-time (ms since the epoch), 6 date (days
since 1970-01-01), 7 blob. Arguments tag dates 1004 ("yyyy-MM-dd"), date-times 27000, data packets
27001 and change packets 27002.

Run from anywhere: python3 fuzz/make_seeds.py
"""

import datetime
import pathlib
import struct

SEEDS = pathlib.Path(__file__).resolve().parent / "seeds"

# ---- CBOR ------------------------------------------------------------------------------------------


def head(major, n):
    if n < 24:
        return bytes([major << 5 | n])
    if n < 0x100:
        return bytes([major << 5 | 24, n])
    if n < 0x10000:
        return bytes([major << 5 | 25]) + n.to_bytes(2, "big")
    if n < 0x100000000:
        return bytes([major << 5 | 26]) + n.to_bytes(4, "big")
    return bytes([major << 5 | 27]) + n.to_bytes(8, "big")


def integer(v):
    return head(0, v) if v >= 0 else head(1, -1 - v)


def text(s):
    b = s.encode("utf-8")
    return head(3, len(b)) + b


def text_chunked(*parts):
    """An indefinite-length text made of the given chunks."""
    return b"\x7f" + b"".join(text(p) for p in parts) + b"\xff"


def blob(b):
    return head(2, len(b)) + b


def array(items):
    return head(4, len(items)) + b"".join(items)


def double(x):
    return b"\xfb" + struct.pack(">d", x)


def half(x):
    return b"\xf9" + struct.pack(">e", x)


def tag(n, item):
    return head(6, n) + item


NULL = b"\xf6"
TRUE = b"\xf5"
FALSE = b"\xf4"

# ---- values ------------------------------------------------------------------------------------------

TEXT, INTEGER, FLOAT, BOOLEAN, DATETIME, DATE, BLOB = 1, 2, 3, 4, 5, 6, 7
KEY, REQUIRED, READONLY = 1, 2, 4
EPOCH = datetime.date(1970, 1, 1)


def days(y, m, d):
    return (datetime.date(y, m, d) - EPOCH).days


def msecs(y, mo, d, h=0, mi=0, s=0, ms=0):
    dt = datetime.datetime(y, mo, d, h, mi, s, tzinfo=datetime.timezone.utc)
    return int(dt.timestamp()) * 1000 + ms


def value(kind, v):
    """One field value in the packet encoding; None is null."""
    if v is None:
        return NULL
    if kind == TEXT:
        return text(v)
    if kind in (INTEGER, DATE, DATETIME):
        return integer(v)
    if kind == FLOAT:
        return double(v)
    if kind == BOOLEAN:
        return TRUE if v else FALSE
    if kind == BLOB:
        return blob(v)
    raise ValueError(kind)


def fields(defs):
    return array([array([text(n), integer(t), integer(s), integer(f)]) for n, t, s, f in defs])


def data_packet(defs, rows):
    columns = [array([value(d[1], row[i]) for row in rows]) for i, d in enumerate(defs)]
    return array([integer(1), fields(defs), integer(len(rows)), array(columns)])


def change_packet(defs, changes):
    out = []
    for status, old, new in changes:
        old_items = [value(d[1], old[i]) for i, d in enumerate(defs)] if old is not None else []
        new_items = [value(d[1], new[i]) for i, d in enumerate(defs)] if new is not None else []
        out.append(array([integer(status), array(old_items), array(new_items)]))
    return array([integer(1), fields(defs), array(out)])


def call(obj, method, token, args, refs):
    return array([integer(1), text(obj), text(method), text(token), array(args), array([integer(i) for i in refs])])


def reply(result, refs, code, message):
    return array([integer(1), result, array([array([integer(i), v]) for i, v in refs]), integer(code), text(message)])


# ---- the student tables --------------------------------------------------------------------------------

STUDENT_FIELDS = [
    ("sCode", TEXT, 38, KEY),
    ("sName", TEXT, 20, REQUIRED),
    ("ClassCode", TEXT, 4, 0),
    ("iClassNo", INTEGER, 0, 0),
    ("Score", FLOAT, 0, 0),
    ("Selected", BOOLEAN, 0, 0),
    ("dBirthday", DATE, 0, 0),
    ("tModified", DATETIME, 0, READONLY),
    ("Photo", BLOB, 0, 0),
]

GUID1 = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"
GUID2 = "{0D5E3A52-1C7B-4E09-9A3F-2B6C8D4E5F60}"
GUID3 = "{A1B2C3D4-E5F6-4789-8ABC-DEF012345678}"

STUDENT_ROWS = [
    [GUID1, "张三", "0701", 3, 88.5, False, days(2000, 5, 1), msecs(2012, 9, 1, 8, 0, 0, 250), b"\x89PNG\r\n"],
    [GUID2, "李四", "0702", 1, 92.0, True, days(2000, 1, 9), msecs(2012, 9, 2), None],
    [GUID3, "欧阳明", "0701", 2, None, False, None, None, b""],
]

SMALL_FIELDS = [("GradeCode", TEXT, 2, 0), ("iCount", INTEGER, 0, 0)]


def datapacket_seeds():
    yield "students", data_packet(STUDENT_FIELDS, STUDENT_ROWS)
    yield "empty_table", data_packet(STUDENT_FIELDS, [])
    yield "no_fields", data_packet([], [])
    yield "negative_and_large", data_packet(SMALL_FIELDS, [["07", -42], ["08", 2**62], ["09", None]])
    # A column of half-precision floats and a chunked text: both legal, both unusual.
    yield "half_floats_chunked_text", array([
        integer(1),
        array([array([text("Score"), integer(FLOAT), integer(0), integer(0)]),
               array([text("sName"), integer(TEXT), integer(20), integer(0)])]),
        integer(2),
        array([array([half(1.5), half(-0.0)]), array([text_chunked("王", "小明"), NULL])]),
    ])


def changepacket_seeds():
    old = STUDENT_ROWS[0]
    new = list(old)
    new[4] = 91.0
    new[5] = True
    yield "modified", change_packet(STUDENT_FIELDS, [(1, old, new)])
    yield "inserted_deleted", change_packet(STUDENT_FIELDS, [(2, None, STUDENT_ROWS[1]), (3, STUDENT_ROWS[2], None)])
    yield "no_rows", change_packet(SMALL_FIELDS, [])
    yield "small", change_packet(SMALL_FIELDS, [(1, ["07", 1], ["07", 2]), (2, None, ["08", None])])


def envelope_seeds():
    packet = data_packet(STUDENT_FIELDS, STUDENT_ROWS[:2])
    changes = change_packet(SMALL_FIELDS, [(1, ["07", 1], ["07", 2])])
    yield "call_plain", call("StudentQry", "QStudByGrade", "", [text("07"), integer(2012)], [])
    yield "call_every_kind", call(
        "AchieveUp", "UpStudent", "3f2a9c0e-session",
        [NULL, text("三 班"), integer(-5), double(88.5), TRUE, tag(1004, text("2000-05-01")),
         tag(27000, integer(msecs(2012, 9, 1, 8, 30, 0, 125))), blob(b"\x00\x01\x02"),
         tag(27001, packet), tag(27002, changes), half(0.5)],
        [1, 9])
    yield "call_no_args", call("Login", "SignIn", "", [], [])
    yield "reply_packet", reply(tag(27001, packet), [(1, integer(3)), (4, text("已保存"))], 0, "")
    yield "reply_failure", reply(NULL, [], 7, "数据库错误: disk full")


FILTER_SEEDS = [
    "Selected=True",
    "GradeCode like '1%' and bCurGrade='Y'",
    "sParFunId='40' or sParFunId='00'",
    "iClassNo=3 and sSex='女'",
    "not (Score >= 60.5) or Score is null",
    "dBirthday < '2000-03-01' and InYear in (2011, 2012)",
    "[sName] not like '张_' and sName <> 'O''Neil'",
    "tModified >= '2012-09-01T08:00:00' and Photo is not null",
    "ClassCode = GradeCode or iClassNo != InYear",
    "Selected",
]

COMMATEXT_SEEDS = [
    '2012,0701,"三 班",',
    '"a ""quoted"" item", b ,,c',
    "  0701 0702\t0703  ",
    '""',
    ",",
    '"unterminated, item',
]


# Question scores: line 1 the question list (subject full mark, then number and full mark of each
# question), line 2 the four candidates' subject scores, then a marking system's sheet as pasted.
QUESTIONS_SEEDS = [
    ("two_questions",
     "10,1,4,2,6\n9,6,,7.5\n"
     "学号\t姓名\t第1题\t第2题\r\n2026001\t张三\t4\t5\r\n2026002\t李四\t2\t3\r\n"
     "2026003\t王五\t1\t2\r\n9999999\t无名\t1\t1\r\n"),
    ("halves_and_parts",
     "150,1,3,2,3,13(1),6,13(2),8,二.1,12\n30.5,19,,12.25\n"
     "学号\t第1题\t第2题\t第13(1)题\t第13(2)题\t第二.1题\r\n"
     "2026001\t3\t1.5\t5.5\t8\t12.5\r\n2026002\t0\t3\t4\t\t12\r\n2026004\t1\t1\t2.25\t4\t4\r\n"),
    ("names_as_key_and_quotes",
     '100,"1 ",5,"2",5,3,2\n5,10\n'
     '姓名\t学号\t第1题\t第 2 题\r\n"欧阳明"\t2026004\t2\t3\r\n张三\t 2026001 \t5\t5\r\n2026001\t张三\t4\t1\r\n'),
    # Sub-questions by letter, and scores a marking system averaged over three markers.
    ("parts_and_thirds",
     "30,13a,7.5,13b,7.5,14,15\n20.67,9,15\n"
     "学号\t第13a题\t第13b题\t第14题\r\n2026001\t5.333\t2.337\t13\r\n2026002\t4.5\t4.5\t\r\n2026003\t7.5\t0\t7.5\r\n"),
    # One question worth the whole subject: a composition.
    ("composition", "60,作文,60\n52.5,60,0\n学号\t第作文题\r\n2026001\t52.5\r\n2026002\t60\r\n2026003\t0\r\n"),
    ("refused_list", "10,1,4,1,3,\"2,3\",2,4,11,5,0\n\n"),
    ("bad_cell", "20,1,10,2,10\n8\n学号\t第1题\t第2题\r\n2026001\t4\t四\r\n2026002\t1\t1\r\n"),
]

# Requests to the score query page, "%%" between them; "$T" is the token of the last sign-in.
SIGN_IN_A = 'POST /query/api/signin\ncontent-type: application/json\nhost: query.school\norigin: http://query.school\n\n' \
            '{"sno": "2026010101", "password": "xm-2026!"}'
WITH_COOKIE = "\ncookie: lumeko_query=$T\n"
QUERYPAGE_SEEDS = [
    ("signed_in_reads", "\n%%\n".join([
        SIGN_IN_A,
        "GET /query/api/me" + WITH_COOKIE,
        "GET /query/api/exams" + WITH_COOKIE,
        "GET /query/api/exams/1" + WITH_COOKIE,
        "GET /query/api/exams/2" + WITH_COOKIE,
        "POST /query/api/signout\ncontent-type: application/json" + WITH_COOKIE + "\n{}",
        "GET /query/api/me" + WITH_COOKIE,
    ])),
    ("wrong_passwords_then_wait", "\n%%\n".join(
        ['POST /query/api/signin\ncontent-type: application/json\n\n{"sno": "2026010101", "password": "guess%d"}' % i for i in range(6)]
        + ["WAIT 16", SIGN_IN_A, "GET /query/api/exams/1" + WITH_COOKIE, "WAIT 31", "GET /query/api/exams/1" + WITH_COOKIE])),
    ("pages_and_paths", "\n%%\n".join([
        "GET /query", "GET /query/", "HEAD /query/query.js", "GET /query/query.css", "GET /query/../index.html",
        "POST /query/index.html", "GET /query/api/nothing", "GET /query/api/exams/0001", "GET /query/api/exams/-1",
        "DELETE /query/api/me", "GET /query/api/me\ncookie: lumeko_query=" + "0" * 64,
    ])),
    ("foreign_and_malformed", "\n%%\n".join([
        'POST /query/api/signin\ncontent-type: text/plain\n\n{"sno": "2026010101", "password": "xm-2026!"}',
        'POST /query/api/signin\ncontent-type: application/json\nhost: query.school\norigin: http://evil.example\n\n{"sno": "2026010101", "password": "xm-2026!"}',
        'POST /query/api/signin\ncontent-type: application/json\nsec-fetch-site: cross-site\n\n{"sno": "2026010101", "password": "xm-2026!"}',
        'POST /query/api/signin\ncontent-type: application/json\n\n{"sno": 2026010101, "password": ["xm-2026!"]}',
        'POST /query/api/signin\ncontent-type: application/json\n\n{"sno": "  ", "password": "x"',
        'POST /query/api/signin\ncontent-type: application/json\n\n{"sno": "9999999999", "password": "x"}',
        'POST /query/api/signin\ncontent-type: application/json\n\n{"sno": "2026010102", "password": "xm-2026!"}',
        "GET /query/api/signin",
    ])),
    ("over_https", "\n%%\n".join([
        'POST /query/api/signin tls\ncontent-type: application/json; charset=utf-8\nhost: query.school\norigin: https://query.school\n'
        'sec-fetch-site: same-origin\n\n{"sno": " 2026010101 ", "password": "xm-2026!"}',
        "GET /query/api/exams tls\ncookie: theme=dark; lumeko_query=$T",
        'POST /query/api/signin tls\ncontent-type: application/json\ncookie: lumeko_query=$T\n\n{"sno": "2026010101", "password": "xm-2026!"}',
        "GET /query/api/me tls\ncookie: lumeko_query=$T",
    ])),
]


# The seat-and-score box: the first byte picks the full mark (0: 100, 1: 150, 3: 10, 4: 0.5).
SEATENTRY_SEEDS = [b"\x000186", b"\x000290.456", b"\x01 12150 ", b"\x03099.995", b"\x0400.5", b"\x00a186",
                   b"\x0001", b"\x00-186", b"\x0002nan", b"\x0003101", b"\x00\xef\xbc\x90\xef\xbc\x9186"]


def write(target, name, data):
    folder = SEEDS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    for name, data in datapacket_seeds():
        write("fuzz_datapacket", name + ".cbor", data)
    for name, data in changepacket_seeds():
        write("fuzz_changepacket", name + ".cbor", data)
    for name, data in envelope_seeds():
        write("fuzz_envelope", name + ".cbor", data)
    for i, expression in enumerate(FILTER_SEEDS):
        write("fuzz_filter", "expr_%02d.txt" % i, expression.encode("utf-8"))
    for i, line in enumerate(COMMATEXT_SEEDS):
        write("fuzz_commatext", "text_%02d.txt" % i, line.encode("utf-8"))
    for name, text in QUESTIONS_SEEDS:
        write("fuzz_questions", name + ".txt", text.encode("utf-8"))
    for i, typed in enumerate(SEATENTRY_SEEDS):
        write("fuzz_seatentry", "typed_%02d.bin" % i, typed)
    for name, text in QUERYPAGE_SEEDS:
        write("fuzz_querypage", name + ".txt", text.encode("utf-8"))


if __name__ == "__main__":
    main()
