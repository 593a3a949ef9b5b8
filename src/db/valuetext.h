#pragma once
// How database values read as text, the way the Basic programs of the suite saw them: the
// grids, the tickets and the SQL built from read values all depend on these forms.
#include <QString>
#include <QVariant>

namespace tavo::db {

// A number in its shortest plain form: 2, 0.5, 1000000, -3.25 (never an exponent), rounded to
// 15 significant digits as Basic prints a double, so 0.1 + 0.2 reads 0.3.
QString numberText(double value);

// A value as text: NULL is empty, numbers as numberText, QDateTime "YYYY/MM/DD hh:mm:ss",
// QDate "YYYY/MM/DD", QTime "hh:mm:ss", booleans "True"/"False", text as it is.
QString valueText(const QVariant &value);

// Basic's Val(): the number at the start of the text, blanks anywhere ignored ("1 2" is 12),
// "&H"/"&O" prefixes for hexadecimal and octal; 0 when there is none.
double basicVal(const QString &text);

} // namespace tavo::db
