#pragma once
// Names of the session object: sign-in and the context the host services hand to the module.
//
//   Session.SignIn(login text, password text, computer text) -> result: the session token (text)
//       login is the teacher's login name, mobile number or e-mail address.
//   Session.SignOut()                                         -> result: null
//   Session.Context()                                         -> result: a one-row data packet with
//       the fields named below (texts, except UserType integer and the two ViewAll booleans)
//
//   Session.SchoolOutline()                                   -> result: a packet of the school's
//       classes by grade with their student counts (InYear, GradeCode, ClassCode, ClassName, sArea,
//       TeacherCode, bMine, nStudents), for the host's navigation and desk
//   Session.RecentExams(limit integer)                        -> result: the latest school-wide
//       exams of the grades the user may see, newest first, with their subject codes
//
// Every other object needs the token of a signed-in session in Call::token.

#include <QLatin1StringView>

namespace lumeko::server::session {

inline constexpr QLatin1StringView Object{"Session"};
inline constexpr QLatin1StringView SignIn{"SignIn"};
inline constexpr QLatin1StringView SignOut{"SignOut"};
inline constexpr QLatin1StringView Context{"Context"};
inline constexpr QLatin1StringView SchoolOutline{"SchoolOutline"};
inline constexpr QLatin1StringView RecentExams{"RecentExams"};

// Fields of the context packet, in this order.
inline constexpr QLatin1StringView ContextFields[] = {
    QLatin1StringView{"SchoolId"}, QLatin1StringView{"SchoolName"}, QLatin1StringView{"SchoolType"},
    QLatin1StringView{"UserCode"}, QLatin1StringView{"UserName"},   QLatin1StringView{"UserID"},
    QLatin1StringView{"UserType"}, QLatin1StringView{"Roles"},      QLatin1StringView{"ViewAllGrade"},
    QLatin1StringView{"ViewAllClass"},
};

} // namespace lumeko::server::session
