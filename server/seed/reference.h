#pragma once
// Reference data that more than one part of the seeding refers to.

namespace lumeko::server::seed {

// Student states (registry list "StudState").
inline constexpr const char *kStudying = "00";
inline constexpr const char *kSuspended = "01";
inline constexpr const char *kTransferredOut = "02";
inline constexpr const char *kGraduated = "04";

// The exam names every school shares (CJ_ExamInfo rows of the school "SYSTEM").
struct SharedExamName {
    const char *code;
    const char *name;
    const char *type;
};
inline constexpr SharedExamName kSharedExamNames[] = {
    {"001", "第一学期期中考试", "综合考试"}, {"002", "第一学期期末考试", "综合考试"},
    {"003", "第二学期期中考试", "综合考试"}, {"004", "第二学期期末考试", "综合考试"},
    {"005", "第一次月考", "综合考试"},       {"006", "第二次月考", "综合考试"},
    {"007", "第三次月考", "综合考试"},       {"008", "第四次月考", "综合考试"},
    {"009", "单元测验", "单元考试"},         {"010", "区统一调研考试", "系统考试"},
};

// The key of "ExamShowType" that new exams get: scores shown as they are.
inline constexpr const char *kShowScores = "0";

} // namespace lumeko::server::seed
