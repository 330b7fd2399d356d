// For tests of message texts: whether a label draws its text as the plain
// characters it was given (a name or path that looks like markup is not
// taken as markup).
#pragma once

#include <QImage>
#include <QLabel>

inline QImage labelPixels(QLabel& label)
{
    QImage image(label.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// True when the label looks like its text set as plain text on a twin label.
inline bool drawnAsPlainText(QLabel& label)
{
    QLabel twin;
    twin.setTextFormat(Qt::PlainText);
    twin.setFont(label.font());
    twin.setPalette(label.palette());
    twin.setAlignment(label.alignment());
    twin.setWordWrap(label.wordWrap());
    twin.setText(label.text());
    twin.resize(label.size());
    return labelPixels(twin) == labelPixels(label);
}
