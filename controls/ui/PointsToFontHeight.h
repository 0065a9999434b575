#pragma once
// The negative character height of a font of `points` on the primary screen, as a logical
// font's height field takes it: -(points * dots per inch / 72), rounded.

int PointsToFontHeight(int points);
