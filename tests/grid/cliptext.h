// The plain text on the application's clipboard, read and set as the grid's
// clipboard exchange reads and writes it, for the clipboard tests.
#pragma once

#include "grid/dragdrop.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <string>

inline std::string clipText()
{
    return QApplication::clipboard()->mimeData()->data(grid::kTextFormat).toStdString();
}

inline void setClipText(const std::string& Text)
{
    auto* data = new QMimeData;
    data->setData(grid::kTextFormat, QByteArray::fromStdString(Text));
    QApplication::clipboard()->setMimeData(data);
}
