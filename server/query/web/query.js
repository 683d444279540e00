// The score query page: signs a student in, lists the exams his school published and shows his
// report of the one chosen. Every text from the server goes into the page as text (textContent),
// never as HTML.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);

  // One call of the page's API: the HTTP status and the JSON answer (an error text when the server
  // could not be reached or answered something else).
  async function api(path, body) {
    const options = { credentials: 'same-origin', headers: { Accept: 'application/json' } };
    if (body !== undefined) {
      options.method = 'POST';
      options.headers['Content-Type'] = 'application/json';
      options.body = JSON.stringify(body);
    }
    try {
      const response = await fetch('api/' + path, options);
      const type = response.headers.get('Content-Type') || '';
      const data = type.startsWith('application/json') ? await response.json() : {};
      return { status: response.status, data };
    } catch (e) {
      return { status: 0, data: { error: '无法连接服务器，请检查网络后再试。' } };
    }
  }

  function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }

  function say(target, text) {
    target.textContent = text || '';
    target.hidden = !text;
  }

  // Pieces of a line joined by " · ", each kept whole when the line breaks.
  function parts(texts) {
    const nodes = [];
    for (const t of texts.filter(Boolean)) {
      if (nodes.length) nodes.push(document.createTextNode(' · '));
      nodes.push(element('span', 'part', t));
    }
    return nodes;
  }

  // "2026-11-12" as the school writes it.
  function dateText(iso) {
    const m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(iso || '');
    return m ? `${m[1]}年${Number(m[2])}月${Number(m[3])}日` : '';
  }

  function show(view) {
    $('loading').hidden = true;
    $('signInView').hidden = view !== 'signIn';
    $('studentView').hidden = view !== 'student';
    $('who').hidden = view !== 'student';
  }

  // --- signing in and out ---------------------------------------------------------------------

  // `notice` is news rather than a refusal (signed out), shown in the calm colour.
  function showSignIn(message, notice = false) {
    show('signIn');
    $('examList').replaceChildren();
    clearReport();
    say($('signInMessage'), message);
    $('signInMessage').classList.toggle('info', notice);
    $('password').value = '';
    ($('sno').value ? $('password') : $('sno')).focus();
  }

  async function signIn(event) {
    event.preventDefault();
    const sno = $('sno').value.trim();
    const password = $('password').value;
    if (!sno || !password) {
      $('signInMessage').classList.remove('info');
      say($('signInMessage'), '请输入学号和密码。');
      return;
    }
    $('signInButton').disabled = true;
    const { status, data } = await api('signin', { sno, password });
    $('signInButton').disabled = false;
    if (status === 200) {
      $('password').value = '';
      say($('signInMessage'), '');
      await showStudent(data.student);
      return;
    }
    $('password').value = '';
    $('signInMessage').classList.remove('info');
    say($('signInMessage'), data.error || '登录失败，请稍后再试。');
    $('password').focus();
  }

  async function signOut() {
    await api('signout', {});
    history.replaceState(null, '', location.pathname);
    showSignIn('已退出登录。', true);
  }

  // A 401 in the middle of reading: the session ended (timed out, or the password was changed).
  function sessionEnded() {
    showSignIn('登录已过期，请重新登录。');
  }

  // --- the student and his exams ----------------------------------------------------------------

  async function showStudent(student) {
    show('student');
    $('whoName').textContent = `${student.name}（${student.sno}）`;
    $('studentName').textContent = student.name;
    $('studentInfo').replaceChildren(...parts([student.school, student.grade, student.className, `学号 ${student.sno}`]));
    const { status, data } = await api('exams');
    if (status === 401) return sessionEnded();
    const list = $('examList');
    list.replaceChildren();
    if (status !== 200) {
      say($('reportMessage'), data.error || '读取考试失败，请稍后再试。');
      return;
    }
    $('noExams').hidden = data.exams.length > 0;
    for (const exam of data.exams) {
      const item = element('li');
      const button = element('button', 'exam');
      button.type = 'button';
      button.dataset.id = String(exam.id);
      const meta = element('span', 'exam-meta');
      meta.append(...parts([exam.grade, dateText(exam.date)]));
      button.append(element('span', 'exam-name', exam.name), meta);
      button.addEventListener('click', () => {
        location.hash = 'exam-' + exam.id;
      });
      item.append(button);
      list.append(item);
    }
    const wanted = examOfHash();
    if (wanted) await openExam(wanted);
    else if (data.exams.length > 0 && window.matchMedia('(min-width: 900px)').matches) await openExam(String(data.exams[0].id));
    else clearReport();
  }

  function examOfHash() {
    const m = /^#exam-(.+)$/.exec(location.hash);
    return m ? decodeURIComponent(m[1]) : '';
  }

  function clearReport() {
    $('reportPrompt').hidden = false;
    $('reportContent').hidden = true;
    say($('reportMessage'), '');
    for (const b of document.querySelectorAll('.exam[aria-current]')) b.removeAttribute('aria-current');
  }

  // --- one exam's report ---------------------------------------------------------------------------

  async function openExam(id) {
    for (const b of document.querySelectorAll('.exam')) {
      if (b.dataset.id === id) b.setAttribute('aria-current', 'true');
      else b.removeAttribute('aria-current');
    }
    const { status, data } = await api('exams/' + encodeURIComponent(id));
    if (status === 401) return sessionEnded();
    $('reportPrompt').hidden = true;
    if (status !== 200) {
      $('reportContent').hidden = true;
      say($('reportMessage'), data.error || '读取成绩失败，请稍后再试。');
      return;
    }
    say($('reportMessage'), '');
    renderReport(data);
    if (!window.matchMedia('(min-width: 900px)').matches) $('reportView').scrollIntoView({ block: 'start' });
  }

  function renderReport(report) {
    const exam = report.exam;
    $('reportContent').hidden = false;
    $('reportTitle').textContent = exam.name;
    const info = [exam.grade, dateText(exam.date)];
    if (exam.candidates) info.push(`参考 ${exam.candidates} 人`);
    $('reportInfo').replaceChildren(...parts(info));
    say($('reportNotice'), report.notice);

    const lines = report.subjects.concat(report.totals);
    const columns = [{ key: 'name', caption: '科目' }];
    if (exam.shows.score) columns.push({ key: 'score', caption: '成绩' });
    if (exam.shows.level) columns.push({ key: 'level', caption: '等级' });
    if (lines.some((l) => l.letter !== undefined)) columns.push({ key: 'letter', caption: '字母等级' });
    if (exam.shows.rank) columns.push({ key: 'rank', caption: '年级排名' });

    const head = $('reportHead');
    head.replaceChildren(...columns.map((c) => element('th', c.key === 'name' ? 'name' : 'value', c.caption)));
    const row = (line) => {
      const tr = element('tr');
      for (const c of columns) {
        const value = line[c.key];
        const cell = element(c.key === 'name' ? 'th' : 'td', c.key === 'name' ? 'name' : 'value', value === undefined ? '—' : value);
        if (c.key === 'name') cell.scope = 'row';
        tr.append(cell);
      }
      return tr;
    };
    const shown = report.notice ? [] : [report.subjects, report.totals];
    $('reportTable').hidden = shown.length === 0;
    $('reportSubjects').replaceChildren(...(shown[0] || []).map(row));
    $('reportTotals').replaceChildren(...(shown[1] || []).map(row));
  }

  // --- start -------------------------------------------------------------------------------------------

  document.addEventListener('DOMContentLoaded', async () => {
    $('signInForm').addEventListener('submit', signIn);
    $('signOut').addEventListener('click', signOut);
    window.addEventListener('hashchange', () => {
      if ($('studentView').hidden) return;
      const id = examOfHash();
      if (id) openExam(id);
      else clearReport();
    });
    const { status, data } = await api('me');
    if (status === 200) await showStudent(data.student);
    else showSignIn(status === 401 || status === 0 ? (status === 0 ? data.error : '') : data.error);
  });
})();
