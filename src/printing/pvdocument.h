// The preview document that TPvPreview saves and loads (pvdocument.cpp).
// AFileVersion holds the version of the document being, or last, loaded.
//
// Format (little-endian; extended = the 10-byte reals of bytestream.h):
//   head: the version as an extended value; this program writes 2.22.
//   v <= 2.1          oldest: 1 byte Orientation, Int32 page height, Int32 page
//                     width (hundredths of a millimetre), the header and then the
//                     footer (string left caption, font, pen, Boolean ShowLine,
//                     Boolean Visible; plain forms of pvlegacy.h), Int32 page
//                     count, and per page: Int32 object count, then per object an
//                     Int32 type 1..12 and its oldest stored form (pvobjects.h).
//   2.1 < v <= 2.13   middle: keyed records of TPvValueList to the end.
//   v > 2.13          current: keyed records of TPvExtValueList to the end.
// Every keyed record carries its kind as the integer 10.0:
//   1  new page: the objects after it belong to it
//   2  page setup: 2.01 width, 2.02 height (hundredths of a millimetre),
//      2.03 paper size, 2.04 orientation (ordinals)
//   3  margins: 3.01 Left, 3.02 Top, 3.03 Right, 3.04 Bottom, 3.05 Visible,
//      3.06 ShowPrinterMargins, pens 3.07 Pen and 3.08 PrinterMarginPen
//      (middle: no 3.06, and one flat pen 40.0 colour, 40.01 style, 40.02 width)
//   4  shadow: 4.01 Color, 4.02 Width, 4.03 Visible
//   5  information: 5.01 extended date of saving (days since 30 Dec 1899),
//      5.02 page count
//   6  header, 7 footer: 6.03/7.03 ShowLine, 6.04/7.04 Visible, strings 50.01,
//      50.02, 50.03 the left, centre and right caption each as a keyed record
//      (text 50.0, font 1004.0), pen 1005.0 (the middle generation stores
//      nothing of them that is read)
//   10 drawing object: 10.01 type id 1..13 and the object's own entries; in
//      the middle generation up to 2.12 a graphic's picture follows its record.
// Unknown kinds and type ids are passed over; there is no end marker.
//
// Reading trusts nothing: every length and count is checked against the bytes
// left, a version that is not a positive finite number is refused, page sizes
// must be positive and below ten metres, objects before the first page go on
// a new page, and a document without pages loads as a preview without pages.
#pragma once

#include <QString>

extern long double AFileVersion;

// The versions that tell the generations apart.
constexpr long double kPvOldestVersionMax = 2.1L;
constexpr long double kPvMiddleVersionMax = 2.13L;
constexpr long double kPvGraphicAfterRecordMax = 2.12L;

inline const QString kPvMsgNotADocument = QStringLiteral("The file is not a valid preview document.");
inline const QString kPvMsgNotSaved = QStringLiteral("The preview document could not be saved.");
