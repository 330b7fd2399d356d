// The preview suite's records (one length in every unit, rectangles, points, the
// stored brush, pen and font) and its enumerations. Stored documents hold the
// enumerations' ordinals, so members keep their order.
#pragma once

#include "platform/color.h"

#include <QString>
#include <cstdint>
#include <limits>

// Keys of the stored records and the suite's real values are 80-bit extended.
static_assert(sizeof(long double) >= 10 && std::numeric_limits<long double>::digits == 64,
              "the print-preview suite needs the 80-bit extended format for long double");

enum TPvMeasurement : std::uint8_t { PvUnits, PvPixels, PvMillimeters, PvCentimeters, PvInches };
enum TPvOrientation : std::uint8_t { gmPortrait, gmLandscape };
enum TPvPagesPerSheet : std::uint8_t { gmOnePage, gmTwoPage, gmFourPage };
enum TPvPaperSize : std::uint8_t { A3, A4, A5, A6, B5, C5, Legal, Letter, Custom };
enum TPvCoordsRelative : std::uint8_t { fromPage, fromPrinterMargins, fromUserMargins, fromHeaderLine };
enum TPvZoomStyle : std::uint8_t { gmFixedZoom, gmVariableZoom };
enum TPreviewState : std::uint8_t {
    gmCreating, gmDestroying, gmUpdating, gmLoading, gmSaving, gmZooming, gmIdle, gmRendering
};
enum TPvPrintColor : std::uint8_t { gmColor, gmMonochrome };
enum TPvPrintQuality : std::uint8_t { gmDraft, gmLow, gmMedium, gmHigh };
enum TPvDitherType : std::uint8_t { gmNone, gmCourse, gmFine, gmLineArt, gmGrayscale };
enum TPvVertAlignment : std::uint8_t { gmTop, gmMiddle, gmBottom };
enum TPvThumbNailLayout : std::uint8_t { gmThumbHorz, gmThumbVert, gmThumbGrid };
// Scoped: its member names are also members of TPreviewState.
enum class TThumbnailState : std::uint8_t { gmCreating, gmIdle };
enum TPvGraphicType : std::uint8_t { gtMetafile, gtBitmap };
enum TPvShiftState : std::uint8_t { PvShiftDown, PvShiftUp };
enum TPvCtrlState : std::uint8_t { PvCtrlDown, PvCtrlUp };
enum TPvCursorState : std::uint8_t { PvCrDefault, PvCrPanning, PvCrZoomIn, PvCrZoomOut, PvCrDragZoom };
enum TPvLineType : std::uint8_t { PvLine, PvLineExt };

// The highest ordinal of each enumeration, for readers that clamp stored numbers.
template <typename E> constexpr int PvEnumMax();
template <> constexpr int PvEnumMax<TPvMeasurement>() { return PvInches; }
template <> constexpr int PvEnumMax<TPvOrientation>() { return gmLandscape; }
template <> constexpr int PvEnumMax<TPvPagesPerSheet>() { return gmFourPage; }
template <> constexpr int PvEnumMax<TPvPaperSize>() { return Custom; }
template <> constexpr int PvEnumMax<TPvCoordsRelative>() { return fromHeaderLine; }
template <> constexpr int PvEnumMax<TPvZoomStyle>() { return gmVariableZoom; }
template <> constexpr int PvEnumMax<TPreviewState>() { return gmRendering; }
template <> constexpr int PvEnumMax<TPvPrintColor>() { return gmMonochrome; }
template <> constexpr int PvEnumMax<TPvPrintQuality>() { return gmHigh; }
template <> constexpr int PvEnumMax<TPvDitherType>() { return gmGrayscale; }
template <> constexpr int PvEnumMax<TPvVertAlignment>() { return gmBottom; }
template <> constexpr int PvEnumMax<TPvThumbNailLayout>() { return gmThumbGrid; }
template <> constexpr int PvEnumMax<TThumbnailState>() { return int(TThumbnailState::gmIdle); }
template <> constexpr int PvEnumMax<TPvGraphicType>() { return gtBitmap; }
template <> constexpr int PvEnumMax<TPvShiftState>() { return PvShiftUp; }
template <> constexpr int PvEnumMax<TPvCtrlState>() { return PvCtrlUp; }
template <> constexpr int PvEnumMax<TPvCursorState>() { return PvCrDragZoom; }
template <> constexpr int PvEnumMax<TPvLineType>() { return PvLineExt; }

// A stored ordinal as a member: numbers past the last member become the last, negatives the first.
template <typename E> constexpr E PvEnumFromOrdinal(long long n)
{
    return E(n < 0 ? 0 : n > PvEnumMax<E>() ? PvEnumMax<E>() : n);
}

// One length in every unit at once; FillPvUnits fills the others from Units.
struct TPvUnits {
    std::int32_t Units = 0;   // hundredths of a millimetre
    std::int32_t Pixels = 0;  // screen pixels
    long double Millimeters = 0;
    long double Centimeters = 0;
    long double Inches = 0;
};

struct TPvRect {
    long double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct TPvPoint {
    long double X = 0, Y = 0;
};

// Brush styles of the stored records (class library ordinals).
enum : std::uint8_t {
    PvBsSolid, PvBsClear, PvBsHorizontal, PvBsVertical, PvBsFDiagonal, PvBsBDiagonal, PvBsCross, PvBsDiagCross
};
// Pen styles of the stored records.
enum : std::uint8_t { PvPsSolid, PvPsDash, PvPsDot, PvPsDashDot, PvPsDashDotDot, PvPsClear, PvPsInsideFrame };
// Font style bits of the stored records.
enum : std::uint8_t { PvFsBold = 1, PvFsItalic = 2, PvFsUnderline = 4, PvFsStrikeOut = 8 };
// The pen mix mode a reader gives a pen that stores none: the plain copy mode.
constexpr std::uint8_t kPvPenModeCopy = 4;

struct TPvBrush {
    platform::TColor Color = 0;
    std::uint8_t Style = 0;
    friend bool operator==(const TPvBrush&, const TPvBrush&) = default;
};

struct TPvPen {
    platform::TColor Color = 0;
    std::uint8_t Style = 0;
    std::int32_t Width = 0;  // screen pixels; hundredths of a millimetre for PvLineExt lines
    std::uint8_t Mode = 0;   // the class library's mix-mode ordinal (4 = copy)
    friend bool operator==(const TPvPen&, const TPvPen&) = default;
};

struct TPvFont {
    long double Angle = 0;  // degrees counter-clockwise
    platform::TColor Color = 0;
    QString Name;
    std::int32_t Size = 0;  // points
    std::uint8_t Style = 0; // PvFs... bits
    std::uint8_t Charset = 0;
    friend bool operator==(const TPvFont&, const TPvFont&) = default;
};

// Keys of point i (0-based) in a stored point list: 61.001, 61.002, ... and 62.001, ...
long double PolyPointX(int i);
long double PolyPointY(int i);
