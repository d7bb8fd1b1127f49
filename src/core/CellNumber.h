// Numbers read back from the texts the program itself wrote into cells, where thousands are
// grouped with spaces or non-breaking spaces: formulas, bars and pictures need the number again.
#pragma once

#include <string>
#include <string_view>

// The whole number a cell text reads as once its spaces and non-breaking spaces are taken out
// ("1 234.50" reads 1234, not 1), read as atoi reads: leading blanks and a sign, then digits; 0
// when it does not start with a number. Kept to the int range instead of overflowing.
int CellNumber(std::string_view text);

// The text with the abbreviation "Прод." or "Прод" that some cubes put in front of measure values
// taken out where it stands as a word before a number ("Прод. 1 234", "Прод-5"); anywhere else
// ("Продукты", "Прод. отдел") the text keeps its letters.
std::string WithoutSalesAbbreviation(std::string text);
