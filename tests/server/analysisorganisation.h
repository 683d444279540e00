#pragma once
// The organisation the analysis suites work on, added to the fixture school S1: 七年级 (1701, intake
// 2026) with 一班 and 二班 in 本部 and 三班 in 分校; 张老师 heads 一班 and teaches 数学 in 一班 and
// 三班, 李老师 heads 二班 and teaches its 数学, 王老师 teaches 语文 in 三班. Subjects 语文 (001) and
// 数学 (002), both in the grade with full mark 100 when asked.

#include "server/storage/database.h"

namespace lumeko::server::testing {

inline constexpr char kZhang[] = "{00000000-0000-0000-0000-0000000000A1}";
inline constexpr char kLi[] = "{00000000-0000-0000-0000-0000000000A2}";

void seedAnalysisOrganisation(Database &db, bool gradeSubjects);

} // namespace lumeko::server::testing
