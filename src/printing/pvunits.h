// Lengths in whole hundredths of a millimetre (signed 32-bit) and their
// conversions, rounded to nearest, ties to even. A length that does not fit
// raises platform::EConvertError and leaves the value and its listeners alone.
#pragma once

#include "printing/pvtypes.h"

#include <QString>
#include <cstdint>
#include <functional>

class QPaintDevice;

// One length that tells its owner when it is set.
class TPvValue {
public:
    // Owners may read and write the count directly; that fires no OnChange.
    std::int32_t AsPvUnits = 0;
    // Called after every set, also when the number is unchanged, and when
    // AsPixels is read.
    std::function<void(TPvValue* sender)> OnChange;

    void SetAsMm(long double mm);
    long double GetAsMm() const;
    void SetAsCm(long double cm);
    long double GetAsCm() const;
    void SetAsInches(long double inches);
    long double GetAsInches() const;
    void SetAsPixels(std::int32_t pixels);
    std::int32_t GetAsPixels();

private:
    void store(long double units);
    void changed();
};

// The whole hundredths of a millimetre nearest to `units` (ties to even);
// EConvertError when it is not finite or does not fit 32 bits.
std::int32_t RoundToPvUnits(long double units);
// Round to nearest, ties to even, of a value known to fit (device pixels).
int PvRound(long double v);

// Hundredths of a millimetre in other units (not rounded).
long double UnitsToInches(long double units);
long double UnitsToMillimeters(long double units);
long double UnitsToCentimeters(long double units);
// Screen pixels, rounded.
int UnitsToPixels(long double units);
// One unit of `m` in hundredths of a millimetre (pixels at the screen's dpi).
long double PvUnitFactor(TPvMeasurement m);
// A value in unit `from` given in unit `to`, through hundredths of a millimetre, not rounded.
long double ConvertPvUnits(long double value, TPvMeasurement from, TPvMeasurement to);

// Fills Pixels, Millimeters, Centimeters and Inches from units.Units.
void FillPvUnits(TPvUnits& units);

// A pen width chosen in screen pixels, for a device of `pixelsPerInch`.
int CalculatePenWidth(const TPvPen& pen, int pixelsPerInch);

// The logical pixels per inch of a paint device (96 without one).
int PixelsPerInchX(const QPaintDevice* device);
int PixelsPerInchY(const QPaintDevice* device);

// The suite's messages.
inline const QString kPvMsgNoPreview = QStringLiteral("Preview property not assigned.");
inline const QString kPvMsgNoPrinter = QStringLiteral("No printer selected");
inline const QString kPvMsgPageRange = QStringLiteral("Page is out of range.");
inline const QString kPvMsgPrinting = QStringLiteral("Unable to initialise printer... Printing in progress.");
inline const QString kPvMsgThumbSize = QStringLiteral("Thumbnail size must be in the range 1-20.");

// Tells the user of a misuse: an information box reading the component's
// class name, " Error...", two carriage returns, then the message. Raises nothing.
void ShowPvError(const QString& className, const QString& message);
