// Money amounts as text: the two-decimal form shown in the contact list and
// printed on cheques, with or without thousands separators. Amounts are
// written with "." as the decimal point and "," between thousands whatever the
// user's locale; parsing never depends on the locale either.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Raised when an amount text (without its commas) is not a number.
struct AmountConvertError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Two decimals, rounded half up at the third decimal after adding 0.001;
// amounts strictly between -0.001 and 0.001 give "0". No separators.
std::string FormatMoney(double v);

// Inserts "," before every group of three trailing characters.
std::string AddThousandsSeparators(const std::string& s);

// Drops every "," and re-formats the number with FormatMoney.
// Throws AmountConvertError when the rest is not a number.
std::string NormalizeAmount(const std::string& s);

// NormalizeAmount with thousands separators in the whole part.
// Throws AmountConvertError when the text is not a number.
std::string FormatAmount(const std::string& s);

// A contact's default amount is stored as a 4-byte float, which holds every
// cent only below 131,072. These decide what may be stored there.

// The largest amount a contact is sure to keep to the cent.
inline constexpr double kLargestKeptAmount = 131071.99;

// `v` rounded to the cent the way FormatMoney shows it, as a number
// (FormatMoney's text read back); 0 for amounts that are not finite.
double RoundToCent(double v);

// Whether `amount` can be kept as a contact's 4-byte amount to the cent: it is
// rounded to the cent, stored in the 4-byte form, read back and compared at
// the cent. True with `held` set to the value to store; false (held untouched)
// when the value read back would show another cent, or is not finite.
bool HoldAmountToTheCent(double amount, float& held);

// Why `amount` cannot be a contact's default amount, as a message that names
// it; empty when it can (zero or more, and kept to the cent).
std::string ContactAmountProblem(double amount);
// A number as a file writes it: its value, and the decimals its digits give
// it, trailing zeros aside ("12.50" has one, "19.999" three, "1.5e-3" four,
// "1200e-2" none). The decimals are counted on the digits, never on the
// binary value, so that 4999.999 has three at every size.
struct WrittenNumber {
    double value = 0;
    int decimals = 0;
};

// A number cell of a spreadsheet as the user typed it: the digits of the
// shortest text that reads back as the cell's value (locale-free), kept to
// the 15 significant digits a spreadsheet keeps of a number typed in. Every
// number typed in comes back as typed (12.34, not 12.339999999999999857891);
// a sum's binary noise past the 15th digit goes (0.1 + 0.2 gives 0.3).
// False, with `out` untouched, for a value that is not finite.
bool ReadNumberCell(double value, WrittenNumber& out);

// Whether an amount read from a file can come in as a contact's default
// amount as it stands: Kept (with `held` set, as HoldAmountToTheCent sets
// it) when it is zero or more, has no more than two decimals and is kept to
// the cent; otherwise why not (held untouched). Unlike an amount typed in,
// it is never rounded: 19.999 and 4999.999 are BeyondTheCent.
enum class FileAmountFit { Kept, BelowZero, BeyondTheCent, TooLarge };
FileAmountFit FitFileAmount(const WrittenNumber& amount, float& held);
// The rule HoldAmountToTheCent follows, as a sentence for messages: every
// amount up to kLargestKeptAmount is kept, above it only some are.
std::string KeptAmountRule();
// After `amount` could not be stored on a contact that kept `previous`: says
// so, naming both.
std::string PreviousAmountKept(double amount, double previous);

// Reads a plain decimal number: an optional sign, digits and at most one "."
// (locale-free); surrounding blanks are allowed. With `exponent` an exponent
// may follow ("1.5e3", "2E-2"). Returns false for anything else, including
// "inf", "nan" and numbers out of range.
bool ParseDecimal(const std::string& s, double& out, bool exponent = false);

// Reads a number as a spreadsheet program reads one typed in a locale whose
// decimal mark is `decimalMark` ("." or ","): the other mark, a space, a
// no-break space (U+00A0) or a narrow no-break space (U+202F) may separate
// the whole part's groups of three digits, one kind of them in a number
// ("1,234.56"; "1.234,56" and "1 234,56" with a decimal comma), and an
// exponent may follow. A whole part that starts with a zero has no groups
// ("0,500" is no number with a decimal point). Locale-free otherwise, as
// ParseDecimal, which it ends in: false for anything else ("12.50" with a
// decimal comma, "1,5" with a decimal point).
bool ParseLocaleNumber(const std::string& s, double& out, char decimalMark);

// The amount texts of one file, read by one rule decided from all of them.
// Amounts are kept to the cent, so a mark ("." or ",") followed by exactly
// three digits is no decimal mark unless the file shows it as one; an
// amount that cannot be decided is told apart, never rounded:
//  - Some amount shows a mark as the decimal mark when it holds it once,
//    followed by one or two digits at its end ("12.50", "1.234,5"), after
//    the other mark ("1,234.567") or after a whole part that starts with a
//    zero ("0.500", "01.500": a zero never starts a group of thousands), or
//    when it shows the other mark setting thousands apart, seen twice
//    ("1.234.567"). The mark the amounts show so is the file's decimal mark;
//    where they show neither, or both, it is `open`.
//  - One mark followed by exactly three digits at the end, seen once and
//    with no other mark, after a whole part that does not start with a zero
//    ("1.234", "2,500"), sets thousands apart (1234, 2500), unless some
//    amount of the file shows that mark as the decimal mark: then it is the
//    decimal mark (1.234, which has more than two decimals), and where the
//    amounts show both marks so, it cannot be decided.
//  - Every other amount is read with the file's decimal mark
//    (ParseLocaleNumber). One that does not read so, but shows the other
//    mark as its decimal mark, is OtherMark: the file shows both marks, and
//    it was read with the one this amount does not use ("12,50" in a file
//    read with a decimal point).
class FileAmounts {
public:
    FileAmounts(const std::vector<std::string>& texts, char open);

    enum class Reading { Number, NoNumber, Undecided, OtherMark };
    // A text of the file (a blank one is NoNumber); `out` is set for a
    // Number only.
    Reading Read(const std::string& text, WrittenNumber& out) const;
    char DecimalMark() const { return decimalMark_; }

private:
    char decimalMark_;
    bool pointShownDecimal_ = false, commaShownDecimal_ = false;
};
