#include "grid/pictures.h"

#include "grid/vurirod.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMovie>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace grid {

// ---------------------------------------------------------------- files and resources

bool ReadPictureFile(const QString& FileName, QByteArray& Data)
{
    Data.clear();
    if (FileName.isEmpty())
        return false;
    // Directories, devices and pipes are refused before any open: opening a
    // pipe for reading would wait for a writer.
    const QFileInfo info(FileName);
    if (!info.exists() || !info.isFile() || info.size() > MaxPictureFileSize)
        return false;
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Data = file.read(MaxPictureFileSize + 1);
    if (Data.size() > MaxPictureFileSize) {
        Data.clear();
        return false;
    }
    return true;
}

QImage LoadPictureFile(const QString& FileName)
{
    QByteArray data;
    if (!ReadPictureFile(FileName, data))
        return {};
    return QImage::fromData(data);
}

QByteArray ResourceData(const QString& Name)
{
    if (Name.isEmpty() || Name.contains(QLatin1Char('/')))
        return {};
    QFile file(QStringLiteral(":/rcdata/") + Name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

namespace {

// The glyphs are drawn once into images whose corner pixels hold the key
// colour (magenta), which transparent drawing leaves out.
constexpr QRgb kKeyColour = qRgb(255, 0, 255);

QImage checkGlyph(int size, bool checked, bool enabled, bool round)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(kKeyColour);
    QPainter p(&image);
    const QColor frame = enabled ? QColor(28, 81, 128) : QColor(160, 160, 160);
    const QColor face = enabled ? QColor(255, 255, 255) : QColor(236, 236, 236);
    const QColor mark = enabled ? QColor(33, 161, 33) : QColor(160, 160, 160);
    const int inset = size > 16 ? 3 : 1;
    const QRect box(inset, inset, size - 2 * inset - 1, size - 2 * inset - 1);
    p.setPen(frame);
    p.setBrush(face);
    if (round) {
        p.drawEllipse(box);
        if (checked) {
            p.setPen(Qt::NoPen);
            p.setBrush(mark);
            p.drawEllipse(box.adjusted(4, 4, -3, -3));
        }
    } else {
        p.drawRect(box);
        if (checked) {
            QPen pen(mark, 2);
            p.setPen(pen);
            const int l = box.left() + 3, t = box.top() + 3, r = box.right() - 3, b = box.bottom() - 3;
            p.drawLine(l, t + (b - t) / 2, l + (r - l) / 3, b);
            p.drawLine(l + (r - l) / 3, b, r, t);
        }
    }
    return image;
}

QImage leafGlyph(bool open)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(kKeyColour);
    QPainter p(&image);
    p.setPen(QColor(96, 96, 96));
    p.setBrush(open ? QColor(255, 255, 224) : QColor(240, 200, 96));
    p.drawRect(2, 4, 11, 9);
    p.drawLine(2, 4, 5, 2);
    p.drawLine(5, 2, 8, 4);
    if (open)
        p.drawLine(4, 8, 11, 8);
    return image;
}

// A small black arrow (9 x 5, tip up or down) inside a key-colour margin of 1.
QImage spinGlyph(bool up)
{
    QImage image(11, 7, QImage::Format_RGB32);
    image.fill(kKeyColour);
    for (int row = 0; row < 5; ++row) {
        const int y = up ? row : 4 - row;
        for (int x = 4 - row; x <= 4 + row; ++x)
            image.setPixel(x + 1, y + 1, qRgb(0, 0, 0));
    }
    return image;
}

QImage makeBitmapResource(const QString& name)
{
    if (name == QLatin1String("AsgSpinUp") || name == QLatin1String("AsgSpinDown"))
        return spinGlyph(name == QLatin1String("AsgSpinUp"));
    bool ok = false;
    if (name.startsWith(QLatin1String("ASGCHK")) || name.startsWith(QLatin1String("ASGRAD"))) {
        const int n = name.mid(6).toInt(&ok);
        if (!ok || n < 1 || n > 8 || name.size() != 8)
            return {};
        const bool round = name.startsWith(QLatin1String("ASGRAD"));
        const int k = (n - 1) % 4;  // 0 on, 1 off, 2 on disabled, 3 off disabled
        const int size = (!round && n <= 4) ? 20 : 16;
        return checkGlyph(size, k == 0 || k == 2, k < 2, round);
    }
    if (name == QLatin1String("ASGLEAFOPEN"))
        return leafGlyph(true);
    if (name == QLatin1String("ASGLEAFCLOSE"))
        return leafGlyph(false);
    return {};
}

}  // namespace

QImage BitmapResource(const QString& Name)
{
    static QHash<QString, QImage> cache;
    auto it = cache.find(Name);
    if (it == cache.end())
        it = cache.insert(Name, makeBitmapResource(Name));
    return *it;
}

// ---------------------------------------------------------------- THTMLPicture

namespace {
int word16(const QByteArray& d, qsizetype at)
{
    return static_cast<unsigned char>(d[at]) | (static_cast<unsigned char>(d[at + 1]) << 8);
}
}  // namespace

bool THTMLPicture::IsGIFFile() const { return data_.size() > 4 && data_.startsWith("GIF8"); }

// Frame starts: a graphic control extension ("!", 0xF9, block size 4) with
// the image descriptor "," eight bytes after it. Every read is bounded.
void THTMLPicture::scanGif() const
{
    if (scanned_)
        return;
    scanned_ = true;
    gifFrames_.clear();
    if (!IsGIFFile())
        return;
    const qsizetype n = data_.size();
    for (qsizetype i = 0; i + 9 < n; ++i) {
        if (data_[i] != '!' || static_cast<unsigned char>(data_[i + 1]) != 0xF9 || data_[i + 2] != 4 ||
            data_[i + 8] != ',')
            continue;
        GifFrame f;
        f.Start = i;
        f.Transparent = data_[i + 3] & 1;
        f.Delay = word16(data_, i + 4);
        if (i + 16 < n) {
            f.Left = word16(data_, i + 9);
            f.Top = word16(data_, i + 11);
            f.Width = word16(data_, i + 13);
            f.Height = word16(data_, i + 15);
        }
        gifFrames_.push_back(f);
    }
}

int THTMLPicture::GetFrameCount() const
{
    if (!IsGIFFile())
        return -1;
    scanGif();
    return static_cast<int>(gifFrames_.size());
}

int THTMLPicture::GetFrameTime(int AFrame)
{
    if (!IsGIFFile())
        return -1;
    scanGif();
    if (AFrame < 1 || AFrame > static_cast<int>(gifFrames_.size()))
        return -1;
    const GifFrame& f = gifFrames_[static_cast<std::size_t>(AFrame - 1)];
    frameTransparent_ = f.Transparent;
    return f.Delay;
}

void THTMLPicture::selectFrame()
{
    frameLeft_ = frameTop_ = frameWidth_ = frameHeight_ = 0;
    if (frame_ >= 1 && frame_ <= GetFrameCount()) {
        const GifFrame& f = gifFrames_[static_cast<std::size_t>(frame_ - 1)];
        frameLeft_ = f.Left;
        frameTop_ = f.Top;
        frameWidth_ = f.Width;
        frameHeight_ = f.Height;
        frameTransparent_ = f.Transparent;
    }
}

// Decodes data_: a GIF with frames through QMovie, once, into every frame;
// anything else as one image.
void THTMLPicture::load()
{
    frames_.clear();
    screenWidth_ = screenHeight_ = 0;
    scanned_ = false;
    if (data_.isEmpty())
        throw EPictureError("Could not load image");
    if (IsGIFFile() && GetFrameCount() >= 1) {
        if (data_.size() >= 10) {
            screenWidth_ = word16(data_, 6);
            screenHeight_ = word16(data_, 8);
        }
        QBuffer buffer(&data_);
        buffer.open(QIODevice::ReadOnly);
        QMovie movie(&buffer, "gif");
        movie.setCacheMode(QMovie::CacheNone);
        // Frames beyond the memory budget are not kept; selecting one shows the last kept frame.
        // A looping GIF starts over after its last frame: decoding stops there.
        qsizetype bytes = 0;
        const int total = movie.frameCount();
        int last = -1;
        while (movie.isValid() && bytes < MaxDecodedFrameBytes && movie.jumpToNextFrame()) {
            const int number = movie.currentFrameNumber();
            if (number <= last)
                break;
            last = number;
            frames_.push_back(movie.currentImage());
            bytes += frames_.back().sizeInBytes();
            if (total > 0 && static_cast<int>(frames_.size()) >= total)
                break;
        }
    } else {
        const QImage image = QImage::fromData(data_);
        if (!image.isNull())
            frames_.push_back(image);
    }
    if (frames_.empty() || frames_.front().isNull()) {
        frames_.clear();
        screenWidth_ = screenHeight_ = 0;
        throw EPictureError("Could not load image. Invalid format");
    }
    selectFrame();
}

void THTMLPicture::setData(const QByteArray& Data, bool Notify)
{
    data_ = Data;
    empty_ = true;
    scanned_ = false;
    try {
        load();
    } catch (...) {
        frames_.clear();
        throw;
    }
    empty_ = false;
    if (Notify && OnChange)
        OnChange(this);
}

void THTMLPicture::Assign(const THTMLPicture* Source)
{
    empty_ = true;
    frames_.clear();
    scanned_ = false;
    nextTime_ = -1;
    ticks_ = -1;
    frame_ = 1;
    if (!Source) {
        data_.clear();
        return;
    }
    if (Source == this)
        return;
    data_ = Source->data_;
    if (data_.isEmpty())
        return;
    try {
        load();
        empty_ = false;
    } catch (const EPictureError&) {
        frames_.clear();
    }
    if (OnChange)
        OnChange(this);
}

void THTMLPicture::LoadFromFile(const QString& FileName)
{
    QByteArray data;
    if (!ReadPictureFile(FileName, data))
        throw EPictureError("Could not load image");
    setData(data, true);
}

void THTMLPicture::LoadFromData(const QByteArray& Data) { setData(Data, true); }

void THTMLPicture::LoadFromResourceName(const QString& Name)
{
    const QByteArray data = ResourceData(Name);
    if (!data.isEmpty())
        setData(data, true);
}

void THTMLPicture::LoadFromResourceID(int Id) { LoadFromResourceName(QString::number(Id)); }

void THTMLPicture::LoadFromURL(const std::string& Url)
{
    const std::string upper = UpperCase(Url);
    try {
        if (upper.rfind("RES://", 0) == 0) {
            url_ = Url;
            if (Url.size() > 6)
                LoadFromResourceName(QString::fromStdString(Url.substr(6)));
        } else if (upper.rfind("FILE://", 0) == 0) {
            url_ = Url;
            if (Url.size() > 7)
                LoadFromFile(QString::fromStdString(Url.substr(7)));
        } else if (Asynch) {
            // Nothing is fetched from the network: the address is only noted.
            if (!downloading_) {
                downloadURL_ = Url;
                downloading_ = true;
            }
        } else {
            downloadURL_ = Url;
            url_ = Url;
        }
    } catch (const std::exception&) {
        // Painting must go on: the picture stays empty.
        empty_ = true;
        frames_.clear();
    }
}

QImage THTMLPicture::CurrentImage() const
{
    if (empty_ || frames_.empty())
        return {};
    const std::size_t i = static_cast<std::size_t>(std::clamp(frame_, 1, static_cast<int>(frames_.size())) - 1);
    return frames_[i];
}

int THTMLPicture::GetWidth() const
{
    const QImage image = CurrentImage();
    return image.isNull() ? 0 : image.width() * HorzPPI / 96;
}

int THTMLPicture::GetHeight() const
{
    const QImage image = CurrentImage();
    return image.isNull() ? 0 : image.height() * VertPPI / 96;
}

int THTMLPicture::GetMaxWidth() const
{
    if (empty_ || frames_.empty())
        return 0;
    return screenWidth_ > 0 ? screenWidth_ : GetWidth();
}

int THTMLPicture::GetMaxHeight() const
{
    if (empty_ || frames_.empty())
        return 0;
    return screenHeight_ > 0 ? screenHeight_ : GetHeight();
}

void THTMLPicture::Draw(platform::Canvas& Canvas, const platform::Rect& R) const
{
    const QImage image = CurrentImage();
    if (image.isNull())
        return;
    if (Stretch) {
        Canvas.StretchDraw(R, image);
        return;
    }
    const int w = image.width() * Canvas.Dpi() / 96;
    const int h = image.height() * Canvas.Dpi() / 96;
    if (w == image.width() && h == image.height())
        Canvas.Draw(R.Left, R.Top, image);
    else
        Canvas.StretchDraw(platform::Rect::FromSize(R.Left, R.Top, w, h), image);
}

void THTMLPicture::SetFrame(int Value)
{
    frame_ = Value;
    if (!data_.isEmpty()) {
        selectFrame();
        if (OnFrameChange)
            OnFrameChange(this);
    }
}

void THTMLPicture::FrameNext()
{
    ++frame_;
    if (frame_ > GetFrameCount())
        frame_ = 1;
}

void THTMLPicture::FramePrev()
{
    --frame_;
    if (frame_ < 1)
        frame_ = std::max(1, GetFrameCount());
}

bool THTMLPicture::Step()
{
    if (GetFrameCount() < 2 || empty_)
        return false;
    if (nextTime_ < 0)
        nextTime_ = std::max(0, GetFrameTime(frame_));
    bool changed = false;
    if (static_cast<long long>(ticks_) * 10 >= nextTime_) {
        FrameNext();
        SetFrame(frame_);
        nextTime_ += std::max(0, GetFrameTime(frame_));
        changed = true;
    }
    ++ticks_;
    return changed;
}

// ---------------------------------------------------------------- cache, items, container

THTMLPicture* THTMLPictureCache::AddPicture()
{
    pictures_.push_back(std::make_unique<THTMLPicture>());
    return pictures_.back().get();
}

THTMLPicture* THTMLPictureCache::FindPicture(const std::string& Url) const
{
    for (const auto& p : pictures_)
        if (p->URL() == Url)
            return p.get();
    return nullptr;
}

void THTMLPictureCache::SetPicture(int I, THTMLPicture* P) { pictures_.at(I).reset(P); }

void THTMLPictureCache::ClearPictures() { pictures_.clear(); }

bool THTMLPictureCache::Animate()
{
    bool any = false;
    for (const auto& p : pictures_)
        any = p->Step() || any;
    return any;
}

void TPictureItem::Assign(const TPictureItem& Source)
{
    if (&Source == this)
        return;
    Name = Source.Name;
    Tag = Source.Tag;
    Picture.Assign(&Source.Picture);
}

TPictureItem* TPictureCollection::Add()
{
    items_.push_back(std::make_unique<TPictureItem>(this));
    return items_.back().get();
}

TPictureItem* TPictureCollection::Insert(int) { return Add(); }

bool TPictureCollection::Animate()
{
    bool any = false;
    for (const auto& item : items_)
        any = item->Picture.Step() || any;
    return any;
}

THTMLPicture* TPictureContainer::FindPicture(const std::string& Name) const
{
    for (int i = 0; i < Items.Count(); ++i)
        if (UpperCase(Items.GetItem(i)->Name) == Name)
            return &Items.GetItem(i)->Picture;
    return nullptr;
}

// ---------------------------------------------------------------- THTMLImage

THTMLImage::THTMLImage(QWidget* Parent) : QWidget(Parent)
{
    resize(100, 100);
    picture_.OnChange = [this](THTMLPicture*) { update(); };
    picture_.OnFrameChange = [this](THTMLPicture*) { update(); };
    forwardDownloadEvents();
}

void THTMLImage::forwardDownloadEvents()
{
    picture_.OnDownLoadProgress = [this](THTMLPicture*, unsigned Size, unsigned Total) {
        if (OnDownLoadProgress)
            OnDownLoadProgress(this, Size, Total);
    };
    picture_.OnDownLoadCancel = [this](THTMLPicture*, bool& Cancel) {
        if (OnDownLoadCancel)
            OnDownLoadCancel(this, Cancel);
    };
    picture_.OnDownLoadComplete = [this](THTMLPicture*) {
        if (OnDownLoadComplete)
            OnDownLoadComplete(this);
    };
    picture_.OnDownLoadError = [this](THTMLPicture*, const std::string& Err) {
        if (OnDownLoadError)
            OnDownLoadError(this, Err);
    };
}

void THTMLImage::SetHTMLPicture(const THTMLPicture* Source)
{
    picture_.Assign(Source);
    update();
}

void THTMLImage::SetPicturePosition(TPicturePosition Value)
{
    position_ = Value;
    update();
}

void THTMLImage::LoadFromURL(const std::string& Url)
{
    picture_.LoadFromURL(Url);
    picture_.HorzPPI = logicalDpiX();
    picture_.VertPPI = logicalDpiY();
    update();
}

void THTMLImage::paintEvent(QPaintEvent*)
{
    const QImage image = picture_.CurrentImage();
    if (image.isNull())
        return;
    QPainter painter(this);
    const int w = image.width(), h = image.height();
    const int dx = std::max(0, width() - w), dy = std::max(0, height() - h);
    switch (position_) {
    case bpTopLeft: painter.drawImage(0, 0, image); break;
    case bpTopRight: painter.drawImage(dx, 0, image); break;
    case bpBottomLeft: painter.drawImage(0, dy, image); break;
    case bpBottomRight: painter.drawImage(dx, dy, image); break;
    case bpCenter: painter.drawImage(dx / 2, dy / 2, image); break;
    case bpTiled:
        if (w > 0 && h > 0)
            for (int y = 0; y < height(); y += h)
                for (int x = 0; x < width(); x += w)
                    painter.drawImage(x, y, image);
        break;
    case bpStretched: painter.drawImage(rect(), image); break;
    }
}

}  // namespace grid
