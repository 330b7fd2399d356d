// The list grid's own error ("Invalid Row accessed", "Cannot open file ...").
// Thrown by the grid and by its exchange formats; the text is the message
// the user sees.
#pragma once

#include <stdexcept>

namespace grid {

class DIdiZedoRorid : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace grid
