// TCellGraphic: the one graphic object a cell may carry (a tree node, a
// check box, a picture, ...), kept as the graphic object of the cell's
// TCellProperties, which frees it. It travels with its cell wherever rows
// and columns move. Painting and sizing read its fields; the grid's
// operations set them.
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"

#include <cstdint>

namespace grid {

enum TCellType : std::uint8_t {
    ctBitmap, ctIcon, ctNone, ctImageList, ctCheckBox, ctDataCheckBox, ctRotated, ctDataImage, ctNode, ctRadio,
    ctEmpty, ctImages, ctPicture, ctFilePicture, ctValue, ctProgress, ctComment, ctButton, ctBitButton
};
enum TCellVAlign : std::uint8_t { vaTop, vaBottom, vaCenter, vaUnderText, vaAboveText, vaFull };
enum TCellHAlign : std::uint8_t { haLeft, haRight, haCenter, haBeforeText, haAfterText, haFull };

class TCellGraphic : public platform::Object {
public:
    TCellType CellType = ctNone;
    platform::Object* CellObject = nullptr;  // owned only when OwnsObject
    platform::Object* SecondObject = nullptr;
    TCellVAlign CellVAlign = vaTop;
    TCellHAlign CellHAlign = haLeft;
    int CellIndex = 0;        // image index, radio index, node span, button size, padding
    bool CellTransparent = false;
    bool OwnsObject = false;
    bool CellBoolean = false;  // check state, node contracted, ...
    int CellAngle = 0;         // angle, stretch mode, item count
    std::uint32_t ButtonPos = 0;
    platform::TColor CellColor = platform::clNone;
    std::uint16_t MarkerStart = 0, MarkerLength = 0;
    bool OwnsSecondObject = false;  // SecondObject too was created for the graphic

    ~TCellGraphic() override
    {
        if (OwnsObject)
            delete CellObject;
        if (OwnsSecondObject)
            delete SecondObject;
    }

    // Size of the cell's picture (ctPicture, ctFilePicture) in a cell of the
    // given size, by its stretch mode (CellAngle) and padding (CellIndex).
    QPoint GetPictureSize(int CellWidth, int CellHeight, bool NoText) const;
};

}  // namespace grid
