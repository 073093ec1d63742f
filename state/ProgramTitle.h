#pragma once
// The program's title: the window's caption, the caption of its questions,
// and what a second start looks for to find the first one.
inline constexpr char kProgramTitle[] = "Scourix Ver 1.0";
