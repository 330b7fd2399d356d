// The ready-made cell checker and the text routine that checkers and the
// grid's own highlighting share: wrapping every occurrence of a fragment in
// a pair of tags in text that may already hold tags. Texts are 8-bit (UTF-8)
// byte strings; letter case is folded for ASCII letters only, so positions
// found in the folded text are byte positions of the original.
#pragma once

#include "grid/cellobjects.h"

#include <string>

namespace grid {

// Wraps every occurrence of Fragment in Text with Open and Close. Occurrences
// are searched in the text with its tags taken out ("<" up to the next ">";
// a "<" without one is plain text); with BreaksAsLines a "<BR>" or "<HR>" tag
// (any case) stands for the two characters CR LF there. Case-sensitive when
// MatchCase. An empty Fragment leaves Text unchanged.
std::string WrapOccurrences(const std::string& Text, const std::string& Fragment, const std::string& Open,
                            const std::string& Close, bool MatchCase, bool BreaksAsLines);

// Capitalises the first letter of every sentence: the first character of the
// text and any character after ".", "!" or "?" and exactly one blank.
class TCapitalCheck : public RIvuZuvuzoZuvuCheck {
public:
    std::string Correct(int ACol, int ARow, const std::string& S) override;
};

}  // namespace grid
