// Where the HTML renderer gets the pictures that <IMG SRC=...> and
// <BODY BACKGROUND=...> name: "SSYS:" and "LSYS:" give the small or large
// shell icon of a path (or a generic icon for an icon number), a name without
// ":" is looked up in the grid's picture container, one with "://" in its
// picture cache. A picture that is not found is a null image of size 0.
#pragma once

#include <QImage>

#include <string>

namespace grid {

class THTMLPictureCache;
class TPictureContainer;

struct HTMLPictureRef {
    QImage Image;
    int Width = 0, Height = 0;  // pixels at 96 dpi
};

HTMLPictureRef FindHTMLPicture(const std::string& Src, THTMLPictureCache* Cache, TPictureContainer* Container,
                               bool Printing, double Resolution);

}  // namespace grid
