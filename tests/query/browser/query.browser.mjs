// The score query page in a real browser: lumeko-server serves a new demo school, headless
// Chromium (Debian's, through puppeteer-core) signs in as one of its students and reads what a
// parent would, and the numbers on the screen are compared with the database. The school then
// hides the exam, someone tries other ids, a name holding markup is shown, and five wrong
// passwords lock a number. With LUMEKO_SHOTS set, pictures at phone and desktop width go there.
//
//   LUMEKO_SERVER=build/bin/lumeko-server CHROMIUM=/usr/bin/chromium node --test query.browser.mjs

import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const serverBin = process.env.LUMEKO_SERVER;
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const shots = process.env.LUMEKO_SHOTS || '';

let dir, dbPath, server, base, browser, page, students, serverLog = '';
const pageErrors = [];

// --- the database, read and changed as the school's own tools would ------------------------------

const SQLITE = `
import json, sqlite3, sys
db = sqlite3.connect(sys.argv[1], timeout=30)
cur = db.execute(sys.argv[2], json.loads(sys.argv[3]))
rows = cur.fetchall()
db.commit()
print(json.dumps(rows))
`;

function sql(query, params = []) {
  return JSON.parse(execFileSync('python3', ['-c', SQLITE, dbPath, query, JSON.stringify(params)], { encoding: 'utf8' }));
}

// A score as the page writes it: at most two decimals, no trailing zeros.
const scoreText = (v) => String(Math.round(v * 100) / 100);

// What the page must show of one exam for one student (display type 3: scores and grade ranks).
function expectedReport(studentCode, examId) {
  const [[school, grade, inYear, code, pageName, hasMain, hasBase]] = sql(
    'SELECT "SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "hasMain", "hasBase" FROM "CJ_ExamTotal" WHERE "Id" = ?', [examId]);
  const steps = Object.fromEntries(sql('SELECT "sKeyId", "sValue" FROM "XT_RegList" WHERE "sListName" = \'CreditGrade\''));
  const subjects = sql(
    `SELECT COALESCE(s."SubjectName", es."SubjectCode"), COALESCE(gs."FullMark", es."FullMark"), m."score", m."gradeOrder"
       FROM "CJ_ExamSubject" es
       LEFT JOIN "XJ_Subject" s ON s."SchoolCode" = es."SchoolCode" AND s."SubjectCode" = es."SubjectCode"
       LEFT JOIN "XJ_GradeSubject" gs ON gs."SchoolCode" = es."SchoolCode" AND gs."InYear" = es."InYear" AND gs."GradeCode" = es."GradeCode"
            AND gs."SubjectCode" = es."SubjectCode"
       LEFT JOIN "CJ_Mark" m ON m."examId" = ? AND m."StudentCode" = ? AND m."SubjectCode" = es."SubjectCode"
      WHERE es."SchoolCode" = ? AND es."GradeCode" = ? AND es."InYear" = ? AND es."ExamCode" = ? AND es."PageName" = ?
      ORDER BY es."SubjectCode"`,
    [examId, studentCode, school, grade, inYear, code, pageName]);
  const rows = subjects.map(([name, full, score, rank]) => [
    name,
    score === null ? '—' : full === 5 ? steps[String(score)] : scoreText(score),
    score === null || rank === null ? '—' : String(rank),
  ]);
  const [[full, fullOrder, main, mainOrder, baseTotal, baseOrder]] = sql(
    'SELECT "FullTotal", "FullOrder", "MainTotal", "MainOrder", "BaseTotal", "BaseOrder" FROM "CJ_ExamStudent" WHERE "examId" = ? AND "StudentCode" = ?',
    [examId, studentCode]);
  const total = (name, v, r) => [name, v === null ? '—' : scoreText(v), v === null || r === null ? '—' : String(r)];
  rows.push(total('全总分', full, fullOrder));
  if (hasBase) rows.push(total('基总分', baseTotal, baseOrder));
  if (hasMain) rows.push(total('主总分', main, mainOrder));
  return rows;
}

function studentCodeOf(sno) {
  return sql('SELECT "sCode" FROM "XJ_Student" WHERE "sNO" = ?', [sno])[0][0];
}

// --- the browser's side ----------------------------------------------------------------------------

async function shot(p, name) {
  if (!shots) return;
  fs.mkdirSync(shots, { recursive: true });
  await p.screenshot({ path: path.join(shots, `${name}.png`), fullPage: true });
}

async function newPage(context, width, height) {
  const p = await context.newPage();
  await p.setViewport({ width, height, deviceScaleFactor: width < 600 ? 2 : 1, isMobile: width < 600, hasTouch: width < 600 });
  p.on('pageerror', (e) => pageErrors.push(String(e)));
  p.on('console', (m) => {
    // A refused policy means the page broke its own rules (an inline script or style).
    if (/Content Security Policy|Refused to/.test(m.text())) pageErrors.push(m.text());
  });
  return p;
}

const visible = (p, selector) => p.waitForSelector(selector, { visible: true, timeout: 10000 });
const text = (p, selector) => p.$eval(selector, (e) => e.textContent);

async function signIn(p, sno, password) {
  await p.$eval('#signInMessage', (e) => { e.textContent = ''; });
  await p.$eval('#sno', (e) => { e.value = ''; });
  await p.type('#sno', sno);
  await p.type('#password', password);
  await p.click('#signInButton');
}

async function reportRows(p) {
  return p.$$eval('#reportSubjects tr, #reportTotals tr', (trs) => trs.map((tr) => [...tr.children].map((c) => c.textContent)));
}

async function listedExams(p) {
  return p.$$eval('#examList button.exam', (bs) => bs.map((b) => ({ id: b.dataset.id, name: b.querySelector('.exam-name').textContent })));
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

async function waitForHealth(url) {
  for (let i = 0; i < 100; ++i) {
    try {
      if ((await fetch(url + '/health')).ok) return;
    } catch { /* not listening yet */ }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error('lumeko-server did not start:\n' + serverLog);
}

before(async () => {
  assert.ok(serverBin, 'LUMEKO_SERVER names the lumeko-server program');
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumeko-query-'));
  dbPath = path.join(dir, 'school.db');
  const init = execFileSync(serverBin, ['init', '--db', 'sqlite:' + dbPath, '--demo'], { encoding: 'utf8' });
  // The student sign-ins follow the teachers' in what init prints.
  const listed = init.split('students and parents sign in')[1] || '';
  students = listed.split('\n').slice(1).filter((l) => l.startsWith('  ')).map((l) => {
    const [sno, password, name] = l.trim().split('\t');
    return { sno, password, name };
  });
  assert.ok(students.length >= 2, 'init --demo lists the students who can sign in:\n' + init);

  const port = await freePort();
  base = `http://127.0.0.1:${port}`;
  server = spawn(serverBin, ['serve', '--db', 'sqlite:' + dbPath, '--listen', `127.0.0.1:${port}`, '--files', path.join(dir, 'files'), '--threads', '8'],
                 { stdio: ['ignore', 'pipe', 'pipe'] });
  server.stdout.on('data', (d) => { serverLog += d; });
  server.stderr.on('data', () => {}); // the access log
  await waitForHealth(base);

  const args = ['--disable-gpu', '--lang=zh-CN', '--font-render-hinting=none'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox'); // Chromium refuses root otherwise
  browser = await puppeteer.launch({ executablePath: chromium, headless: true, args });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.kill('SIGTERM');
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

// --- what a parent does ------------------------------------------------------------------------------

test('the page opens at phone width on the sign-in form, under its own policy', async () => {
  page = await newPage(browser.defaultBrowserContext(), 390, 844);
  const response = await page.goto(base + '/query/', { waitUntil: 'networkidle0' });
  assert.equal(response.status(), 200);
  const csp = response.headers()['content-security-policy'];
  assert.match(csp, /script-src 'self'/);
  assert.doesNotMatch(csp, /unsafe-inline/);
  assert.equal(response.headers()['x-content-type-options'], 'nosniff');
  await visible(page, '#signInView');
  assert.equal(await page.title(), '学生成绩查询');
  assert.equal(await page.$eval('#studentView', (e) => e.hidden), true);
  // Nothing wider than the phone's screen.
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), 'no sideways scrolling at 390 px');
  await shot(page, 'query-signin-390');
});

test('a student signs in and reads the published exam with the numbers the database holds', async () => {
  const s = students[0];
  await signIn(page, s.sno, s.password);
  await visible(page, '#studentView');
  assert.equal(await text(page, '#studentName'), s.name);
  const cookies = await page.cookies();
  const session = cookies.find((c) => c.name === 'lumeko_query');
  assert.ok(session && session.httpOnly && session.sameSite === 'Strict', 'an HttpOnly, SameSite=Strict session cookie');
  assert.equal(await page.evaluate(() => document.cookie), '', 'scripts cannot read the session');

  const code = studentCodeOf(s.sno);
  const published = sql(
    `SELECT t."Id", t."ExamName" FROM "CJ_ExamTotal" t JOIN "CJ_ExamStudent" es ON es."examId" = t."Id" AND es."StudentCode" = ?
      WHERE t."WXshowed" = 1 AND t."PageName" = ? ORDER BY t."dDefDay" DESC, t."Id" DESC`, [code, '\u22A5']);
  assert.ok(published.length >= 1, 'the demo school published an exam he sat');
  assert.deepEqual(await listedExams(page), published.map(([id, name]) => ({ id: String(id), name })));

  // On a phone the report opens when the exam is chosen.
  await page.click(`#examList button[data-id="${published[0][0]}"]`);
  await visible(page, '#reportContent');
  assert.equal(await text(page, '#reportTitle'), published[0][1]);
  assert.deepEqual(await page.$$eval('#reportHead th', (ths) => ths.map((t) => t.textContent)), ['科目', '成绩', '年级排名']);
  assert.deepEqual(await reportRows(page), expectedReport(code, published[0][0]));
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), 'the report fits the phone');
  await shot(page, 'query-exam-390');
});

test('at desktop width the exams stand beside the latest report, shown as the display type says', async () => {
  const desk = await newPage(browser.defaultBrowserContext(), 1280, 800);
  await desk.goto(base + '/query/', { waitUntil: 'networkidle0' });
  await visible(desk, '#reportContent');
  const [side, report] = await Promise.all([desk.$eval('.side', (e) => e.getBoundingClientRect().toJSON()),
                                            desk.$eval('#reportView', (e) => e.getBoundingClientRect().toJSON())]);
  assert.ok(report.left >= side.right, 'two columns');
  assert.ok(Math.abs(report.top - side.top) < 2, 'side by side');
  const code = studentCodeOf(students[0].sno);
  const [[examId]] = sql(`SELECT t."Id" FROM "CJ_ExamTotal" t JOIN "CJ_ExamStudent" es ON es."examId" = t."Id" AND es."StudentCode" = ?
                           WHERE t."WXshowed" = 1 ORDER BY t."dDefDay" DESC, t."Id" DESC LIMIT 1`, [code]);
  assert.deepEqual(await reportRows(desk), expectedReport(code, examId));
  await shot(desk, 'query-exam-desktop');

  // The school changes the display type on the exam management page: levels instead of ranks,
  // then nothing at all.
  const levels = sql('SELECT "sValue" FROM "XT_RegList" WHERE "sListName" = \'ExamGrade\'').map(([v]) => v);
  try {
    sql('UPDATE "CJ_ExamTotal" SET "markShowType" = \'2\' WHERE "Id" = ?', [examId]);
    await desk.reload({ waitUntil: 'networkidle0' });
    await visible(desk, '#reportContent');
    assert.deepEqual(await desk.$$eval('#reportHead th', (ths) => ths.map((t) => t.textContent)), ['科目', '成绩', '等级']);
    const rows = await reportRows(desk);
    assert.deepEqual(rows.map((r) => r.slice(0, 2)), expectedReport(code, examId).map((r) => r.slice(0, 2)));
    for (const [, , level] of rows) assert.ok(levels.includes(level), `a level of the registry: ${level}`);
    await shot(desk, 'query-levels-desktop');

    sql('UPDATE "CJ_ExamTotal" SET "markShowType" = \'4\' WHERE "Id" = ?', [examId]);
    await desk.reload({ waitUntil: 'networkidle0' });
    await visible(desk, '#reportNotice');
    assert.equal(await text(desk, '#reportNotice'), '学校未公开本次考试的成绩。');
    assert.equal(await desk.$eval('#reportTable', (e) => e.hidden), true);
  } finally {
    sql('UPDATE "CJ_ExamTotal" SET "markShowType" = \'3\' WHERE "Id" = ?', [examId]);
  }
  await desk.close();
});

test('changing ids reaches no other exam and no other student', async () => {
  const s = students[0], other = students[1];
  const code = studentCodeOf(s.sno), otherCode = studentCodeOf(other.sno);
  const [[mine]] = sql(`SELECT t."Id" FROM "CJ_ExamTotal" t JOIN "CJ_ExamStudent" es ON es."examId" = t."Id" AND es."StudentCode" = ?
                         WHERE t."WXshowed" = 1 LIMIT 1`, [code]);
  // Another grade's exam, published for the occasion: he did not sit it.
  const [[foreign]] = sql(`SELECT t."Id" FROM "CJ_ExamTotal" t WHERE NOT EXISTS (SELECT 1 FROM "CJ_ExamStudent" es
                            WHERE es."examId" = t."Id" AND es."StudentCode" = ?) ORDER BY t."Id" LIMIT 1`, [code]);
  sql('UPDATE "CJ_ExamTotal" SET "WXshowed" = 1 WHERE "Id" = ?', [foreign]);

  await page.evaluate((id) => { location.hash = 'exam-' + id; }, foreign);
  await page.waitForFunction(() => !document.getElementById('reportMessage').hidden);
  assert.equal(await text(page, '#reportMessage'), '没有找到这次考试的成绩。');
  assert.equal(await page.$eval('#reportContent', (e) => e.hidden), true);
  assert.equal((await listedExams(page)).some((e) => e.id === String(foreign)), false);

  // The API asked by hand: another exam is not found; naming the classmate changes nothing.
  const answers = await page.evaluate(async (foreignId, mineId, classmate, classmateNo) => {
    const get = async (p) => { const r = await fetch(p); return { status: r.status, body: await r.text() }; };
    return {
      foreign: await get('api/exams/' + foreignId),
      mine: await get('api/exams/' + mineId),
      named: await get(`api/exams/${mineId}?student=${encodeURIComponent(classmate)}&sno=${classmateNo}`),
      me: await get('api/me?sno=' + classmateNo),
    };
  }, foreign, mine, otherCode, other.sno);
  assert.equal(answers.foreign.status, 404);
  assert.equal(answers.named.status, 200);
  assert.equal(answers.named.body, answers.mine.body, 'his own report, whoever the request names');
  assert.equal(JSON.parse(answers.me.body).student.sno, s.sno);
  assert.ok(!answers.mine.body.includes(other.name));

  // Back to his own exam by its id: his numbers.
  await page.evaluate((id) => { location.hash = 'exam-' + id; }, mine);
  await page.waitForFunction(() => !document.getElementById('reportContent').hidden);
  assert.deepEqual(await reportRows(page), expectedReport(code, mine));
  sql('UPDATE "CJ_ExamTotal" SET "WXshowed" = 0 WHERE "Id" = ?', [foreign]);
});

test('a name holding markup is shown as text', async () => {
  const s = students[0];
  const code = studentCodeOf(s.sno);
  const name = '<script>window.__pwned=1</script><b>杨</b>';
  const [[examId]] = sql(`SELECT t."Id" FROM "CJ_ExamTotal" t JOIN "CJ_ExamStudent" es ON es."examId" = t."Id" AND es."StudentCode" = ?
                           WHERE t."WXshowed" = 1 LIMIT 1`, [code]);
  const [[examName]] = sql('SELECT "ExamName" FROM "CJ_ExamTotal" WHERE "Id" = ?', [examId]);
  const [[realName]] = sql('SELECT "sName" FROM "XJ_Student" WHERE "sCode" = ?', [code]);
  const markedExam = '期中<img src=x onerror="window.__pwned=2">考试';
  sql('UPDATE "XJ_Student" SET "sName" = ? WHERE "sCode" = ?', [name, code]);
  sql('UPDATE "CJ_ExamTotal" SET "ExamName" = ? WHERE "Id" = ?', [markedExam, examId]);
  try {
    await page.goto(`${base}/query/#exam-${examId}`, { waitUntil: 'networkidle0' });
    await page.reload({ waitUntil: 'networkidle0' });
    await visible(page, '#reportContent');
    assert.equal(await text(page, '#studentName'), name);
    assert.equal(await text(page, '#reportTitle'), markedExam);
    assert.equal(await page.$eval('#examList .exam-name', (e) => e.textContent), markedExam);
    assert.equal(await page.evaluate(() => window.__pwned), undefined, 'no script of the text ran');
    assert.equal(await page.$$eval('main b, main img, main script, header b', (els) => els.length), 0, 'no element made of the text');
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), 'a long name breaks within the phone\'s width');
    await shot(page, 'query-markup-390');
  } finally {
    sql('UPDATE "CJ_ExamTotal" SET "ExamName" = ? WHERE "Id" = ?', [examName, examId]);
    sql('UPDATE "XJ_Student" SET "sName" = ? WHERE "sCode" = ?', [realName, code]);
  }
});

test('an exam the school hides again disappears', async () => {
  const code = studentCodeOf(students[0].sno);
  const published = sql(`SELECT t."Id" FROM "CJ_ExamTotal" t JOIN "CJ_ExamStudent" es ON es."examId" = t."Id" AND es."StudentCode" = ?
                          WHERE t."WXshowed" = 1`, [code]);
  // 隐藏 on the exam management page: WXshowed false (frozen or not).
  sql('UPDATE "CJ_ExamTotal" SET "WXshowed" = 0, "Freeze" = 1 WHERE "Id" = ?', [published[0][0]]);
  await page.goto(`${base}/query/#exam-${published[0][0]}`, { waitUntil: 'networkidle0' });
  await page.reload({ waitUntil: 'networkidle0' });
  await visible(page, '#studentView');
  await page.waitForFunction(() => !document.getElementById('reportMessage').hidden);
  assert.equal((await listedExams(page)).length, published.length - 1);
  assert.equal(await text(page, '#reportMessage'), '没有找到这次考试的成绩。');
  assert.equal(await page.$eval('#reportContent', (e) => e.hidden), true);
  if (published.length === 1) await visible(page, '#noExams');
  await shot(page, 'query-hidden-390');
});

test('signing out ends the session', async () => {
  await page.click('#signOut');
  await visible(page, '#signInView');
  assert.equal(await text(page, '#signInMessage'), '已退出登录。');
  await shot(page, 'query-signedout-390');
  const status = await page.evaluate(async () => (await fetch('api/me')).status);
  assert.equal(status, 401);
});

test('five wrong passwords lock the number', async () => {
  const context = await browser.createBrowserContext();
  const p = await newPage(context, 390, 844);
  await p.goto(base + '/query/', { waitUntil: 'networkidle0' });
  await visible(p, '#signInView');
  const s = students[1];
  for (let i = 1; i <= 5; ++i) {
    await signIn(p, s.sno, 'wrong-' + i);
    await p.waitForFunction((n) => document.getElementById('signInMessage').textContent.includes(n), {}, i < 5 ? `再错${5 - i}次` : '锁定');
  }
  assert.match(await text(p, '#signInMessage'), /该账号已被锁定，请15分钟后再试/);
  // Now even the right password is refused.
  await signIn(p, s.sno, s.password);
  await p.waitForFunction(() => document.getElementById('signInMessage').textContent !== '');
  assert.match(await text(p, '#signInMessage'), /锁定/);
  assert.equal(await p.$eval('#studentView', (e) => e.hidden), true);
  await shot(p, 'query-locked-390');
  await context.close();
});

test('the page ran without errors or refused content', () => {
  assert.deepEqual(pageErrors, []);
});
