// Turns a display figure into the text a host shows for a parameter.
#pragma once

// Writes the figure truncated toward zero as "%d" text. Figures whose text
// would not fit 8 characters, or that are not numbers, get a short word
// instead ("nan", "inf", "-inf", "Huge!", "-Huge!"), so converting them to an
// integer is never attempted.
//
// text: at least 9 bytes; at most 9 are written.
void formatDisplayFigure(double figure, char* text);
