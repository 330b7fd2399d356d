// Text, number and date helpers shared by the list grid's painting, sorting,
// searching, filtering, editing and file formats. They keep no state besides
// the process-wide FormatSettings record below.
// Strings are 8-bit byte strings; positions are 1-based and 0 means "not found".
// CR is character 13, LF character 10. Only the date routines throw
// (EConvertError for an impossible date); everything else returns its
// not-found value.
#pragma once

#include "platform/converterror.h"
#include "platform/geometry.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace grid {

enum TTextType { ttText, ttHTML, ttRTF, ttFormula, ttURL };
enum TAutoType { atNumeric, atFloat, atString, atDate, atTime };

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// A date that cannot exist (31 April, month 13, ...).
using EConvertError = platform::EConvertError;

// Separators and date order the helpers work with. Amounts are written with
// "." and "," everywhere, whatever the user's locale; only the short date
// format (and its separator) is taken from QLocale when first used.
struct FormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    std::string ShortDateFormat;  // e.g. "dd/MM/yyyy": the order of D, M and Y matters
    char DateSeparator = '/';
    char TimeSeparator = ':';  // the long time format is "hh:mm:ss"
};
FormatSettings& formatSettings();

// A block of cells, columns Left..Right and rows Top..Bottom inclusive.
using TGridRect = platform::GridRect;

inline int Max(int A, int B) { return A > B ? A : B; }
inline int Min(int A, int B) { return A < B ? A : B; }

// ---- search and small routines
bool IsInGridRect(const TGridRect& Rect, int ACol, int ARow);
int Pos(const std::string& Sub, const std::string& S);  // 1-based, 0 when absent
int VarPos(const std::string& Sub, const std::string& S, int& P);
int FIPos(const std::string& Sub, const std::string& S);
char FirstChar(const std::string& Set, const std::string& S);
std::string GetToken(std::string& S, const std::string& Sep);
std::string StringListToText(const std::vector<std::string>& List);
struct CellPoint { int X = 0, Y = 0; };
bool NameToCell(const std::string& Name, CellPoint& Point);
std::string RectString(int Left, int Top, int Right, int Bottom);
int SinglePos(char Ch, const std::string& S);
int NumSingleChar(char Ch, const std::string& S);

// ---- ASCII case mapping (the same map the engine uses, byte positions stay valid)
std::string UpperCase(std::string S);
std::string LowerCase(std::string S);
std::string Trim(const std::string& S);

// ---- classification
TTextType TextType(const std::string& S, bool HTML);
bool IsURL(const std::string& S);
void StripURLProtocol(std::string& S);
TAutoType IsType(const std::string& S);

// ---- line breaks and escapes
int LinesInText(const std::string& S, bool Multi);
void GetNextLine(std::string& S, bool Multi, std::string& Line);
std::string CLFToLF(const std::string& S);
std::string LFToCLF(const std::string& S);
std::string HTMLLineBreaks(const std::string& S);
std::string LineFeedsToJava(const std::string& S);
std::string JavaToLineFeeds(const std::string& S);
void LineFeedsToCSV(std::string& S);
void CSVToLineFeeds(std::string& S);
std::string LineFeedsToXLS(const std::string& S);
std::string LfToFile(const std::string& S);
std::string FileToLf(const std::string& S, bool Multi);
std::string DoubleToSingleChar(char Ch, const std::string& S);

// ---- other conversions
void StringToPassword(std::string& S, char Ch);
// Our UTF-8 text to the OEM code page (437) and back; "?" for a character it lacks.
void StringToOem(std::string& S);
void OemToString(std::string& S);
std::string FixDecimalSeparator(const std::string& S);
std::string RemoveSeps(const std::string& S);
std::string HTMLColor(unsigned Color);
std::string ShiftCase(const std::string& S);

// Reads a whole (trimmed) text as a number, locale-free; false when it is not one.
bool TextToFloat(const std::string& S, double& Value);
bool TextToInt(const std::string& S, int& Value);

// ---- dates
TDateTime EncodeDate(int Year, int Month, int Day);  // throws EConvertError
void DecodeDate(TDateTime D, int& Year, int& Month, int& Day);
// The next value of a date series: D plus DayStep days when only days step,
// D moved by StepDate when only years or only months step, else D + Delta.
TDateTime GetNextDate(TDateTime D, int YearStep, int MonthStep, int DayStep, double Delta);
// D moved by whole years and months; a day the target month lacks becomes its
// last day (31 January + 1 month = 28 or 29 February). The time of day is kept.
TDateTime StepDate(TDateTime D, int YearStep, int MonthStep);
TDateTime Now();  // the current local date and time
// The short date format with a four-digit year (a two-digit year would read
// back in the first century), and the date written in it.
std::string ShortDateFormatText();
std::string DateToShortText(TDateTime D);
// A time "h:m" or "h:m:s" (each field a whole number in range); false when S is not one.
bool ParseTime(const std::string& S, TDateTime& T);
// The time of day of T as "hh:mm:ss", rounded to the second.
std::string TimeToLongText(TDateTime T);
TDateTime StrToShortdateUS(const std::string& S);
TDateTime StrToShortDateEU(const std::string& S);
bool ParseShortDate(const std::string& S, TDateTime& D);

// ---- filter and search matching
bool MatchStrEx(const std::string& Pattern, const std::string& S, bool CaseSensitive);
bool MatchStr(const std::string& Pattern, const std::string& S, bool CaseSensitive);
bool Matches(const std::string& Pattern, const std::string& S);

}  // namespace grid
