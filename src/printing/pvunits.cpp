#include "printing/pvunits.h"

#include "platform/converterror.h"
#include "platform/dialogs.h"
#include "platform/screen.h"

#include <QPaintDevice>
#include <cmath>
#include <limits>

namespace {

constexpr long double kUnitsPerInch = 2540.0L;

}  // namespace

std::int32_t RoundToPvUnits(long double units)
{
    if (!std::isfinite(units)) throw platform::EConvertError("A length must be a finite number");
    const long double r = std::rint(units);  // as nearbyint, without saving the FPU state per call
    if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
        throw platform::EConvertError("A length is out of range (about 21 km at most)");
    return std::int32_t(r);
}

int PvRound(long double v)
{
    if (!std::isfinite(v)) return 0;
    const long double r = std::rint(v);
    if (r < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (r > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return int(r);
}

long double PolyPointX(int i) { return (i + 1) / 1000.0L + 61; }
long double PolyPointY(int i) { return (i + 1) / 1000.0L + 62; }

// ---------------------------------------------------------------- TPvValue

void TPvValue::store(long double units)
{
    AsPvUnits = RoundToPvUnits(units);
    changed();
}

void TPvValue::changed()
{
    if (OnChange) OnChange(this);
}

void TPvValue::SetAsMm(long double mm) { store(mm * 100); }
long double TPvValue::GetAsMm() const { return AsPvUnits / 100.0L; }
void TPvValue::SetAsCm(long double cm) { store(cm * 100 * 10); }
long double TPvValue::GetAsCm() const { return AsPvUnits / 100.0L / 10; }
void TPvValue::SetAsInches(long double inches) { store(inches * 100 * 25.4L); }
long double TPvValue::GetAsInches() const { return AsPvUnits / 100.0L / 25.4L; }

void TPvValue::SetAsPixels(std::int32_t pixels)
{
    // The product is formed in 64 bits: 1,000,000 pixels must not wrap.
    const std::int64_t product = std::int64_t(pixels) * 2540;
    store(product / static_cast<long double>(platform::ScreenPixelsPerInch()));
}

std::int32_t TPvValue::GetAsPixels()
{
    const int px = PvRound(AsPvUnits / kUnitsPerInch * platform::ScreenPixelsPerInch());
    changed();
    return px;
}

// ---------------------------------------------------------------- unit functions

long double UnitsToInches(long double units) { return units / 100 / 25.4L; }
long double UnitsToMillimeters(long double units) { return units / 100; }
long double UnitsToCentimeters(long double units) { return units / 100 / 10; }
int UnitsToPixels(long double units) { return PvRound(units / kUnitsPerInch * platform::ScreenPixelsPerInch()); }

long double PvUnitFactor(TPvMeasurement m)
{
    switch (m) {
    case PvUnits: return 1;
    case PvPixels: return kUnitsPerInch / platform::ScreenPixelsPerInch();
    case PvMillimeters: return 100;
    case PvCentimeters: return 1000;
    case PvInches: return kUnitsPerInch;
    }
    return 1;
}

long double ConvertPvUnits(long double value, TPvMeasurement from, TPvMeasurement to)
{
    if (from == to) return value;
    return value * PvUnitFactor(from) / PvUnitFactor(to);
}

void FillPvUnits(TPvUnits& u)
{
    u.Millimeters = u.Units / 100.0L;
    u.Centimeters = u.Units / 1000.0L;
    u.Inches = u.Units / 100.0L / 25.4L;
    u.Pixels = PvRound(platform::ScreenPixelsPerInch() * u.Inches);
}

int CalculatePenWidth(const TPvPen& pen, int pixelsPerInch)
{
    return PvRound(static_cast<long double>(pen.Width) * pixelsPerInch / platform::ScreenPixelsPerInch());
}

int PixelsPerInchX(const QPaintDevice* device) { return device ? device->logicalDpiX() : 96; }
int PixelsPerInchY(const QPaintDevice* device) { return device ? device->logicalDpiY() : 96; }

void ShowPvError(const QString& className, const QString& message)
{
    platform::ShowMessage(className + QStringLiteral(" Error...\r\r") + message, nullptr,
                          platform::MessageKind::Information);
}
