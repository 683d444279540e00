#pragma once
// Invented Chinese names for the demo school: a surname drawn by how common it is in the south of
// the country and one or two given-name characters, with the pinyin needed for login names. Names
// are generated, never taken from real persons.

#include "server/seed/random.h"

#include <QString>

namespace lumeko::server::seed {

struct Surname {
    QString text;
    QString pinyin;
};

struct PersonName {
    QString text;     // 陈思远
    Surname surname;
    QString initials; // of the given name, "sy"
};

Surname randomSurname(Random &rng);
// A name; with `surname` the family name is that one (a child takes the father's).
PersonName randomName(Random &rng, bool male, const Surname *surname = nullptr);
// An ASCII login made of the surname's pinyin and the given name's initials ("chensy").
inline QString loginBase(const PersonName &n) { return n.surname.pinyin + n.initials; }

// Place words for invented school and company names.
QString randomPlaceWord(Random &rng);

} // namespace lumeko::server::seed
