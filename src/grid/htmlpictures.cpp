#include "grid/htmlpictures.h"

#include "grid/pictures.h"
#include "grid/vurirod.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>

namespace grid {

namespace {

// The shell icon of a path (its own folder icon for a directory, else by its
// type), or the generic file icon for an icon number. Nothing is read from the file.
HTMLPictureRef shellIcon(const std::string& Rest, bool Large)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    const int size = Large ? 32 : 16;
    QFileIconProvider provider;
    QIcon icon;
    const std::string trimmed = Trim(Rest);
    const bool number = !trimmed.empty() && trimmed.find_first_not_of("0123456789") == std::string::npos;
    if (number || trimmed.empty())
        icon = provider.icon(QAbstractFileIconProvider::File);
    else
        icon = provider.icon(QFileInfo(QString::fromUtf8(trimmed.c_str())));
    if (icon.isNull())
        icon = provider.icon(QAbstractFileIconProvider::File);
    HTMLPictureRef ref;
    ref.Image = icon.pixmap(size, size).toImage();
    if (ref.Image.isNull())
        return {};
    ref.Width = ref.Height = size;
    return ref;
}

}  // namespace

HTMLPictureRef FindHTMLPicture(const std::string& Src, THTMLPictureCache* Cache, TPictureContainer* Container,
                               bool /*Printing*/, double /*Resolution*/)
{
    const std::string up = UpperCase(Src);
    if (up.rfind("SSYS:", 0) == 0)
        return shellIcon(Src.substr(5), false);
    if (up.rfind("LSYS:", 0) == 0)
        return shellIcon(Src.substr(5), true);
    THTMLPicture* picture = nullptr;
    if (Src.find(':') == std::string::npos) {
        // Container items are named in any case; the lookup is by the upper-cased name.
        if (Container)
            picture = Container->FindPicture(up);
    } else if (Src.find("://") != std::string::npos && Cache) {
        picture = Cache->FindPicture(Src);
        if (!picture) {
            picture = Cache->AddPicture();
            picture->Asynch = false;
            picture->LoadFromURL(Src);
        }
    }
    if (!picture || picture->Empty())
        return {};
    HTMLPictureRef ref;
    ref.Image = picture->CurrentImage();
    ref.Width = picture->GetMaxWidth();
    ref.Height = picture->GetMaxHeight();
    if (ref.Image.isNull() || ref.Width <= 0 || ref.Height <= 0)
        return {};
    return ref;
}

}  // namespace grid
