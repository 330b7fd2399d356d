// The spin edit (TAsgSpinEdit, the grid's spin editor among others) as a
// screen reader reads it: a spin box whose value is its integer or float
// (a date or time spin edit gives its text as the value), which steps up
// and down by the actions "Increase" and "Decrease" as by its buttons, and
// whose text is read and moved through as a line edit's.
#pragma once

class QAccessibleInterface;
class QObject;

namespace grid {

// The interface of Object when it is a spin edit; nullptr otherwise.
QAccessibleInterface* SpinEditAccessible(QObject* Object);

}  // namespace grid
