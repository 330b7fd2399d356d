// The amount of a cheque in words: dollars and cents spelled in upper-case US
// English with "AND" after the hundreds, the layout's currency words, " ONLY"
// for a whole amount, the single-AND, hyphen and small-letter styles, and the
// split into two lines at the layout's length. Pure functions: the cheque
// window feeds them its controls and writes the two lines back.
#pragma once

#include <stdexcept>
#include <string>

// The amount is negative or its dollars do not fit a signed 32-bit integer.
struct ChequeAmountRangeError : std::runtime_error {
    ChequeAmountRangeError();
};

// The message of ChequeAmountRangeError.
extern const char* const kChequeAmountRangeText;

struct ChequeWordingOptions {
    std::string dollar = "DOLLARS";  // after the dollars, in capitals; blank: none
    std::string cent = "CENTS";      // after the cents, as typed
    bool singleAnd = false;          // only the last " AND " stays
    bool hyphen = false;             // TWENTY-FIVE
    bool smallLetter = false;        // Title Case
};

// The value of an amount text ("," allowed), rounded to the cent as the
// contact list shows it. Throws AmountConvertError when the text is not a
// number and ChequeAmountRangeError when it lies outside 0 .. 2,147,483,647.99.
double ChequeAmountValue(const std::string& amountText);

// The words of a value that ChequeAmountValue accepted, on one line.
std::string ChequeAmountWords(double value, const ChequeWordingOptions& options);

struct ChequeWordLines {
    std::string first, second;
};

// Splits the words at the last blank within the first maxLen + 1 characters
// (code points) so that the first line holds at most maxLen of them; a split
// whose second line would be "ONLY" alone is passed over. Words no longer
// than maxLen, or without a usable blank, stay whole on the first line.
ChequeWordLines SplitChequeWords(const std::string& words, int maxLen);
