// Residue names to one-letter codes, and codes to residue classes 1..21.
#pragma once

#include <string_view>

// One-letter code of a three-letter residue name; "B" and "Z" for some
// unrecognised names beginning with A and G, lower-case 'x' for the rest.
// Positions a shorter name does not have count as blanks.
char getChar(std::string_view name);

// Class 1..20 for the twenty standard codes in alphabetical order of the
// code letters (A C D E F G H I K L M N P Q R S T V W Y), 21 for anything else.
int ResID(char code);
