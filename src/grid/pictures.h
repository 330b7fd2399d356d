// Pictures for HTML cell texts and the program's picture resources.
//
// THTMLPicture keeps a picture file's bytes and the decoded picture; an
// animated GIF is decoded once into all its frames (each frame composed onto
// the GIF's logical screen), and Frame selects the one that is drawn. The
// grid's THTMLPictureCache holds the pictures loaded by URL; a
// TPictureContainer holds named pictures; THTMLImage shows one picture.
//
// Reading never blocks: a file name that is not a regular file (a directory,
// a device, a pipe) is refused before it is opened, and files larger than
// MaxPictureFileSize are refused. LoadFromFile and LoadFromData raise
// EPictureError on such input and on data no decoder understands;
// LoadFromURL, which the renderer calls while painting, never raises: a
// picture it cannot load stays empty. Network addresses are kept as the
// picture's URL and never fetched.
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace grid {

class EPictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr qint64 MaxPictureFileSize = 64 * 1024 * 1024;
// The decoded frames of one animated picture are kept up to this many bytes.
constexpr qint64 MaxDecodedFrameBytes = 256 * 1024 * 1024;

// Reads a whole regular file of at most MaxPictureFileSize bytes; false (and
// nothing opened) for anything else.
bool ReadPictureFile(const QString& FileName, QByteArray& Data);
// Decodes a picture file; a null image when it cannot be read or decoded.
QImage LoadPictureFile(const QString& FileName);

// The program's own resources: the data of the named resource (Qt resource
// ":/rcdata/<Name>"), empty when there is none.
QByteArray ResourceData(const QString& Name);
// The program's glyph bitmaps by name ("ASGCHK01" ... "ASGCHK08",
// "ASGRAD01" ... "ASGRAD08", "ASGLEAFOPEN", "ASGLEAFCLOSE", the spin arrows
// "AsgSpinUp" and "AsgSpinDown"); their top-left
// pixel holds the transparent colour. A null image for an unknown name.
QImage BitmapResource(const QString& Name);

class THTMLPicture {
public:
    using NotifyEvent = std::function<void(THTMLPicture* Sender)>;

    THTMLPicture() = default;
    virtual ~THTMLPicture() = default;
    THTMLPicture(const THTMLPicture&) = delete;
    THTMLPicture& operator=(const THTMLPicture&) = delete;

    bool Stretch = false;
    bool Asynch = true;
    int HorzPPI = 96, VertPPI = 96;  // pixels per inch the picture's size is given at
    NotifyEvent OnChange;
    NotifyEvent OnFrameChange;
    // Events of a background download. Nothing is ever fetched, so none of
    // them fires; they are kept so that handlers can be attached as usual.
    std::function<void(THTMLPicture* Sender, unsigned Size, unsigned TotalSize)> OnDownLoadProgress;
    std::function<void(THTMLPicture* Sender, bool& Cancel)> OnDownLoadCancel;
    NotifyEvent OnDownLoadComplete;
    std::function<void(THTMLPicture* Sender, const std::string& Err)> OnDownLoadError;

    const std::string& URL() const { return url_; }
    const std::string& DownloadURL() const { return downloadURL_; }
    bool Downloading() const { return downloading_; }

    void Assign(const THTMLPicture* Source);
    void LoadFromURL(const std::string& Url);  // never raises
    void LoadFromFile(const QString& FileName);
    void LoadFromData(const QByteArray& Data);  // the stream form
    void LoadFromResourceName(const QString& Name);
    void LoadFromResourceID(int Id);
    QByteArray SaveToData() const { return data_; }
    // A picture's size comes from its data; the clipboard has no picture
    // format of this kind. These do nothing.
    void SetWidth(int) {}
    void SetHeight(int) {}
    void LoadFromClipboardFormat(int /*Format*/, const QByteArray& /*Data*/) {}
    void SaveToClipboardFormat(int& /*Format*/, QByteArray& /*Data*/) const {}

    bool GetEmpty() const { return empty_; }
    bool Empty() const { return GetEmpty(); }
    int GetWidth() const;
    int GetHeight() const;
    int GetMaxWidth() const;
    int GetMaxHeight() const;
    // Stretched into R, or at its size (at the canvas's dpi) from R's top-left.
    void Draw(platform::Canvas& Canvas, const platform::Rect& R) const;
    // The frame being shown, as decoded (whole logical screen for a GIF).
    QImage CurrentImage() const;
    int FramesDecoded() const { return static_cast<int>(frames_.size()); }

    // ---- frames (1-based)
    bool IsGIFFile() const;
    int GetFrameCount() const;      // -1 for data that is not a GIF
    int GetFrameTime(int Frame);    // delay in hundredths of a second, -1 when unknown
    int Frame() const { return frame_; }
    void SetFrame(int Value);
    void FrameNext();
    void FramePrev();
    // The current frame's rectangle inside the logical screen, from its image
    // descriptor. The drawn image already holds the frame in place, so this is
    // information, not an offset to add.
    int FrameXPos() const { return frameLeft_; }
    int FrameYPos() const { return frameTop_; }
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    bool FrameTransparent() const { return frameTransparent_; }
    // One animation tick of a tenth of a second; true when the frame changed.
    bool Step();

private:
    struct GifFrame {
        qsizetype Start = 0;  // offset of its graphic control extension
        int Left = 0, Top = 0, Width = 0, Height = 0;
        int Delay = 0;
        bool Transparent = false;
    };
    void setData(const QByteArray& Data, bool Notify);
    void load();  // decodes data_ (raises EPictureError)
    void selectFrame();
    void scanGif() const;

    QByteArray data_;
    bool empty_ = true;
    std::vector<QImage> frames_;     // decoded frames (one for a still picture)
    std::string url_, downloadURL_;
    bool downloading_ = false;
    int frame_ = 1;
    int frameLeft_ = 0, frameTop_ = 0, frameWidth_ = 0, frameHeight_ = 0;
    bool frameTransparent_ = false;
    int screenWidth_ = 0, screenHeight_ = 0;
    int nextTime_ = -1, ticks_ = -1;
    mutable bool scanned_ = false;
    mutable std::vector<GifFrame> gifFrames_;
};

// The pictures a grid has loaded by URL; it owns them.
class THTMLPictureCache {
public:
    THTMLPicture* AddPicture();
    THTMLPicture* FindPicture(const std::string& Url) const;  // exact, case-sensitive
    int Count() const { return static_cast<int>(pictures_.size()); }
    THTMLPicture* GetPicture(int I) const { return pictures_.at(I).get(); }
    void SetPicture(int I, THTMLPicture* P);  // takes ownership
    void ClearPictures();
    bool Animate();

private:
    std::vector<std::unique_ptr<THTMLPicture>> pictures_;
};

class TPictureCollection;

class TPictureItem {
public:
    explicit TPictureItem(TPictureCollection* Owner = nullptr) : owner_(Owner) {}
    THTMLPicture Picture;
    std::string Name;
    int Tag = 0;
    void Assign(const TPictureItem& Source);
    TPictureCollection* Collection() const { return owner_; }

private:
    TPictureCollection* owner_;
};

class TPictureCollection {
public:
    TPictureItem* Add();
    TPictureItem* Insert(int Index);  // appends, as Add does
    int Count() const { return static_cast<int>(items_.size()); }
    TPictureItem* GetItem(int I) const { return items_.at(I).get(); }
    void SetItem(int I, const TPictureItem& Item) { items_.at(I)->Assign(Item); }
    bool Animate();

private:
    std::vector<std::unique_ptr<TPictureItem>> items_;
};

// Named pictures. Callers pass names in upper case; the lookup compares the
// item's name upper-cased with the given name exactly.
class TPictureContainer : public platform::Object {
public:
    TPictureCollection Items;
    THTMLPicture* FindPicture(const std::string& Name) const;
};

enum TPicturePosition { bpTopLeft, bpTopRight, bpBottomLeft, bpBottomRight, bpCenter, bpTiled, bpStretched };

// A control showing one picture, placed by PicturePosition.
class THTMLImage : public QWidget {
    Q_OBJECT
public:
    explicit THTMLImage(QWidget* Parent = nullptr);
    THTMLPicture& HTMLPicture() { return picture_; }
    void SetHTMLPicture(const THTMLPicture* Source);  // copies and repaints
    TPicturePosition PicturePosition() const { return position_; }
    void SetPicturePosition(TPicturePosition Value);
    // Loads through the picture and takes the control's dpi for it.
    void LoadFromURL(const std::string& Url);

    // The picture's download events, passed on with this control as sender.
    std::function<void(THTMLImage* Sender, unsigned Size, unsigned TotalSize)> OnDownLoadProgress;
    std::function<void(THTMLImage* Sender, bool& Cancel)> OnDownLoadCancel;
    std::function<void(THTMLImage* Sender)> OnDownLoadComplete;
    std::function<void(THTMLImage* Sender, const std::string& Err)> OnDownLoadError;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void forwardDownloadEvents();
    THTMLPicture picture_;
    TPicturePosition position_ = bpTopLeft;
};

}  // namespace grid
