// Writes tests/toolkit/data/register.xls with SheetJS (npm install xlsx; node make-register-xls.js register.xls);
// FreeXL can only read, so the Excel 97-2003 sample the tests open is made once and kept.
const XLSX = require('xlsx');
const rows = [
  ['姓名', '学籍辅号', '座号', '出生日期', '身高'],
  ['张 三', '0001', 5, new Date(Date.UTC(2012, 2, 5)), 1.52],
  ['李四', '0002', 6, null, null],
];
const ws = XLSX.utils.aoa_to_sheet(rows, {cellDates: true, dateNF: 'yyyy-mm-dd'});
ws['C4'] = {t: 'n', v: 42}; // a lone cell below a gap
ws['!ref'] = 'A1:E4';
const wb = XLSX.utils.book_new();
XLSX.utils.book_append_sheet(wb, ws, '学生名单');
// A second sheet big enough that the workbook stream leaves the compound file's mini stream,
// which FreeXL does not read as SheetJS writes it.
const filler = [];
for (let i = 0; i < 400; ++i) filler.push(['其他' + i, i]);
XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet(filler), '第二页');
XLSX.writeFile(wb, process.argv[2], {bookType: 'biff8'});
