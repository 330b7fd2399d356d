#include "platform/geometry.h"

#include <algorithm>

namespace platform {

Object::~Object() = default;

Rect Rect::United(const Rect& o) const
{
    if (o.IsEmpty()) return *this;
    if (IsEmpty()) return o;
    return {std::min(Left, o.Left), std::min(Top, o.Top), std::max(Right, o.Right), std::max(Bottom, o.Bottom)};
}

Rect Rect::Intersected(const Rect& o) const
{
    Rect r{std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right), std::min(Bottom, o.Bottom)};
    if (r.IsEmpty()) return {};
    return r;
}

}  // namespace platform
