// One cheque as the cheque window lays it out: the page size and every printed
// text and picture at its position in whole millimetres from the page's
// top-left corner, with the text's font record and colour. It is recorded on
// a preview's one page, from which the preview shows and prints it.
#pragma once

#include "platform/color.h"
#include "platform/logfont.h"
#include "printing/pvtypes.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

class TPvPreview;

struct ChequeText {
    QString text;
    platform::LogFont font;
    platform::TColor color = 0;
    int left = 0, top = 0;  // mm
    // What the user is told the text is ("the amount in figures") when it
    // must print whole on the page; empty: not checked.
    QString mustFit = {};
};

struct ChequePicture {
    QImage image;           // drawn at its pixel size on the screen (96 dpi)
    int left = 0, top = 0;  // mm
};

struct ChequePage {
    double widthMm = 170, heightMm = 90;
    std::vector<ChequePicture> pictures;  // drawn first, in order
    std::vector<ChequeText> texts;
};

// Clears the preview and records the page on it: its size, the pictures at
// their screen size, then the texts left-aligned at their positions; then the
// preview is repainted. Raises platform::EConvertError for a page size the
// preview cannot hold, before anything is cleared.
// Each text that must fit is measured as the preview's printer will print it
// (its resolution; the screen's without a printer): the names of those that
// run past the page's edge come back in page order, and the preview marks
// where they are cut.
QStringList LayChequeOnPreview(const ChequePage& page, TPvPreview& preview);
