// The list grid's floating footer: a panel along the grid's bottom edge that
// shows the grid's last row as a fixed row, one column of the current row, or
// a template filled from the current row ("Total: <#2>" shows the text of
// column 2). TFloatingFooter holds the settings (published as the grid's
// FloatingFooter); assigning any of them resizes the panel, recomputes the
// grid's footer-row flag and repaints. TFooterPanel draws; the grid creates
// it and places it (the grid's viewport ends where the panel begins).
#pragma once

#include "grid/gridsettings.h"

#include <QWidget>

#include <string>

namespace grid {

enum TFooterStyle { fsFixedLastRow, fsColumnPreview, fsCustomPreview };

class TFloatingFooter : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<int> Height{this};
    Setting<bool> Visible{this};
    Setting<platform::TColor> Color{this, platform::clBtnFace};
    Setting<TFooterStyle> FooterStyle{this, fsFixedLastRow};
    Setting<int> Column{this};
    Setting<std::string> CustomTemplate{this};

    // The panel is Height - 1 pixels high while visible, else 0.
    void Changed() override;
};

class TFooterPanel : public QWidget {
public:
    explicit TFooterPanel(RIvuZuvuzoZuvu* Grid);
    RIvuZuvuzoZuvu* Grid() const { return grid_; }

    // The template with every "<#n>" replaced by the text of column n of the
    // grid's current row. A mark whose n is no column of the grid is dropped;
    // an unclosed "<#" stays as written.
    std::string HTMLColReplace(const std::string& Template) const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    // Width of the grid's visible columns: fixed ones and LeftCol onwards.
    int visibleWidth() const;
    void paintLastRow(platform::Canvas& Canvas, int W);
    void paintPreview(platform::Canvas& Canvas, int W);

    RIvuZuvuzoZuvu* grid_;
};

}  // namespace grid
