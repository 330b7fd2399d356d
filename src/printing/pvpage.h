// Pages of a preview document (objects kept in order, numbered by their place
// in the page list, rendered into a picture) and the header and footer, three
// captions with page tokens on a rule line.
#pragma once

#include "platform/canvas.h"
#include "printing/pvunits.h"

#include <QPicture>
#include <QString>
#include <memory>
#include <vector>

class PvDeviceMap;
namespace printing {
class ByteStream;
class TPvValueList;
}  // namespace printing
class TPvBaseObject;
class TPvHeaderFooter;
class TPvPreview;

class TPvPage {
public:
    explicit TPvPage(TPvPreview* preview);
    ~TPvPage();
    TPvPage(const TPvPage&) = delete;
    TPvPage& operator=(const TPvPage&) = delete;

    QPicture Metafile;  // the rendered page
    std::vector<std::unique_ptr<TPvBaseObject>> Objects;
    int PageNum = 0;
    TPvPreview* Preview = nullptr;
    bool ShowHeader = true;
    bool ShowFooter = true;

    // Takes ownership; the object carries this page's number.
    TPvBaseObject* AddObject(std::unique_ptr<TPvBaseObject> object);
    void Clear();
    void RemoveLastObject();
    void SetPageNum(int n);
    void SetShowHeader(bool show);
    void SetShowFooter(bool show);
    // The picture's size for the preview's page at `pixelsPerInch`.
    QSize SetSize(QPicture& metafile, int pixelsPerInch) const;
    // Renders the objects, then the header and footer, into `metafile`.
    void Draw(QPicture& metafile, int pixelsPerInch) const;
    // Draws the page as Draw renders it at `pixelsPerInch`, stretched into `r`
    // of the painter as its picture would be played there, with no picture
    // recorded and played in between.
    void Paint(QPainter& painter, const platform::Rect& r, int pixelsPerInch) const;
    // Prints this page alone on one sheet.
    bool PrintPage();
    // Prints header, footer and objects onto a printer canvas.
    void Print(platform::Canvas& canvas, long double scale, const platform::Rect& pageRect, QPoint offset,
               int pixelsPerInch) const;
    // The oldest document generation's page: Int32 object count, then per
    // object an Int32 type (1 to 12) and the object's oldest stored form.
    // Throws printing::StreamReadError, the page left as it was, when the
    // bytes run out or a type is unknown (nothing tells how long it is).
    void LoadFromStream(printing::ByteStream& stream, long double fileVersion);

private:
    // The objects, header and footer onto a painter whose page is `size` pixels.
    void drawOn(QPainter& painter, QSize size, int pixelsPerInch) const;
};

// Pages numbered from 1.
class TPvPageList {
public:
    explicit TPvPageList(TPvPreview* preview) : Preview(preview) {}
    ~TPvPageList();
    TPvPreview* Preview;
    int GetNumPages() const { return int(pages_.size()); }
    // Null when n is not a page number.
    TPvPage* GetPage(int n) const;
    TPvPage* AddPage();
    // Removes page n and renumbers the pages after it; false when there is no page n.
    bool DeletePage(int n);

private:
    std::vector<std::unique_ptr<TPvPage>> pages_;
};

class TPvHeaderFooterCaption {
public:
    explicit TPvHeaderFooterCaption(TPvHeaderFooter* owner);
    QString Caption() const { return caption_; }
    const platform::Font& Font() const { return font_; }
    void SetCaption(const QString& text);
    void SetFont(const platform::Font& font);
    void Assign(const TPvHeaderFooterCaption& source);
    // The caption as one keyed record carried in a string: text under 50.0,
    // font under 1004.0. Loading throws printing::StreamReadError, the
    // caption left as it was, when the text is no such record.
    QByteArray SaveToString() const;
    void LoadFromString(const QByteArray& text);

private:
    QString caption_;
    platform::Font font_;  // "Arial" 12 at the screen's dpi
    TPvHeaderFooter* owner_;
};

class TPvHeaderFooter {
public:
    explicit TPvHeaderFooter(TPvPreview* preview);
    virtual ~TPvHeaderFooter();
    TPvHeaderFooter(const TPvHeaderFooter&) = delete;
    TPvHeaderFooter& operator=(const TPvHeaderFooter&) = delete;

    TPvHeaderFooterCaption CaptionLeft{this}, CaptionCenter{this}, CaptionRight{this};
    TPvPreview* Preview;
    TPvValue Height;  // filled by GetHeight

    const platform::Pen& Pen() const { return pen_; }
    void SetPen(const platform::Pen& pen);
    bool ShowLine() const { return showLine_; }
    void SetShowLine(bool show);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    // The caption font of the largest point size (left, centre, right; ties keep the earlier).
    const platform::Font& GetLargestFont() const;
    // The height of " " in the largest font, hundredths of a millimetre; also kept in Height.
    std::int32_t GetHeight();
    void Assign(const TPvHeaderFooter& source);
    // Repaints the preview when it is idle.
    void Redraw();
    // The oldest document generation: left caption text and font, pen,
    // ShowLine and Visible. Throws printing::StreamReadError, nothing
    // changed, when the bytes run out.
    void LoadFromStream(printing::ByteStream& stream);
    // The middle generation stores nothing of a header or footer worth reading.
    void LoadFromValues(const printing::TPvValueList&, long double) {}

    // On the page's picture at `pixelsPerInch`, less `offset`.
    void Draw(platform::Canvas& canvas, int pixelsPerInch, QPoint offset, int pageNum, int pageCount) const;
    // On a printed sheet, scaled into `pageRect`, less the printer's `offset`.
    void Print(platform::Canvas& canvas, long double scale, const platform::Rect& pageRect, QPoint offset,
               int pixelsPerInch, int pageNum, int pageCount) const;

protected:
    // The rule's y and whether the captions stand on it (header) or hang from it (footer).
    virtual int ruleY(const PvDeviceMap& map, int h) const = 0;
    virtual bool captionsAboveRule() const = 0;

private:
    void layout(platform::Canvas& canvas, const PvDeviceMap& map, int pageNum, int pageCount) const;
    platform::Pen pen_;
    bool showLine_ = true;
    bool visible_ = true;
};

class TPvHeader : public TPvHeaderFooter {
public:
    using TPvHeaderFooter::TPvHeaderFooter;

protected:
    int ruleY(const PvDeviceMap& map, int h) const override;
    bool captionsAboveRule() const override { return true; }
};

class TPvFooter : public TPvHeaderFooter {
public:
    using TPvHeaderFooter::TPvHeaderFooter;

protected:
    int ruleY(const PvDeviceMap& map, int h) const override;
    bool captionsAboveRule() const override { return false; }
};
