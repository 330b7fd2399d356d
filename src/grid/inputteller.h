// What a window says about its grid after the user's own key or mouse input
// in it: a state the window works out from the grid (how many rows are
// selected, their total), said through the window's announcer
// (platform::Announce) when the input changed it. A sighted user sees such a
// state beside the grid, where the focus is not; the reader hears the row
// the user lands on from the grid itself.
//
// The state is taken as the grid gets a key or a mouse press and again once
// the grid and its window have handled the input (a drag selects until the
// button comes up); the second text is said when it differs from the first.
// Nothing is worked out while no reader listens. Changes the window makes
// itself (a query, Ctrl+A) are for the window to say.
#pragma once

#include <QString>

#include <functional>

namespace grid {

class RIvuZuvuzoZuvu;

// Watches Grid's input for as long as the grid lives. `state` is called on
// the user-interface thread and must stay callable as long as the grid.
void TellStateAfterInput(RIvuZuvuzoZuvu& Grid, std::function<QString()> state);

}  // namespace grid
