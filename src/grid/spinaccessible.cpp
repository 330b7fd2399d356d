#include "grid/spinaccessible.h"

#include "grid/spinedit.h"

#include <QAccessibleWidget>
#include <QFontMetrics>

namespace grid {

namespace {

class SpinEditInterface : public QAccessibleWidget, public QAccessibleValueInterface, public QAccessibleTextInterface {
public:
    explicit SpinEditInterface(TAsgSpinEdit* Spin) : QAccessibleWidget(Spin, QAccessible::SpinBox) {}
    TAsgSpinEdit* spin() const { return static_cast<TAsgSpinEdit*>(widget()); }
    bool numeric() const { return spin()->SpinType() == sptNormal || spin()->SpinType() == sptFloat; }

    QString text(QAccessible::Text T) const override
    {
        return T == QAccessible::Value ? spin()->text() : QAccessibleWidget::text(T);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !spin()->isReadOnly() && spin()->EditorEnabled;
        s.readOnly = !s.editable;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType T) override
    {
        if (T == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        if (T == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(T);
    }

    // ---- value: the number of an integer or float spin edit, the text of a date or time one
    QVariant currentValue() const override
    {
        switch (spin()->SpinType()) {
        case sptNormal: return spin()->Value();
        case sptFloat: return spin()->FloatValue();
        default: return spin()->text();
        }
    }
    void setCurrentValue(const QVariant& Value) override
    {
        switch (spin()->SpinType()) {
        case sptNormal: spin()->SetValue(Value.toInt()); break;
        case sptFloat: spin()->SetFloatValue(Value.toDouble()); break;
        default: break;
        }
    }
    QVariant maximumValue() const override
    {
        if (!numeric())
            return {};
        return spin()->SpinType() == sptNormal ? QVariant(spin()->MaxValue) : QVariant(spin()->MaxFloatValue);
    }
    QVariant minimumValue() const override
    {
        if (!numeric())
            return {};
        return spin()->SpinType() == sptNormal ? QVariant(spin()->MinValue) : QVariant(spin()->MinFloatValue);
    }
    QVariant minimumStepSize() const override
    {
        if (!numeric())
            return {};
        return spin()->SpinType() == sptNormal ? QVariant(spin()->Increment) : QVariant(spin()->IncrementFloat);
    }

    // ---- actions: the steps of the buttons
    QStringList actionNames() const override
    {
        return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& Name) override
    {
        if (Name == increaseAction())
            spin()->UpClick(spin());
        else if (Name == decreaseAction())
            spin()->DownClick(spin());
        else
            QAccessibleWidget::doAction(Name);
    }
    QStringList keyBindingsForAction(const QString& Name) const override
    {
        if (Name == increaseAction())
            return {QStringLiteral("Up")};
        if (Name == decreaseAction())
            return {QStringLiteral("Down")};
        return QAccessibleWidget::keyBindingsForAction(Name);
    }

    // ---- text: the edit's line
    void selection(int Index, int* Start, int* End) const override
    {
        *Start = *End = 0;
        if (Index == 0 && spin()->hasSelectedText()) {
            *Start = spin()->selectionStart();
            *End = *Start + static_cast<int>(spin()->selectedText().size());
        }
    }
    int selectionCount() const override { return spin()->hasSelectedText() ? 1 : 0; }
    void addSelection(int Start, int End) override { setSelection(0, Start, End); }
    void removeSelection(int Index) override
    {
        if (Index == 0)
            spin()->deselect();
    }
    void setSelection(int, int Start, int End) override { spin()->setSelection(Start, End - Start); }
    int cursorPosition() const override { return spin()->cursorPosition(); }
    void setCursorPosition(int Position) override { spin()->setCursorPosition(Position); }
    QString text(int Start, int End) const override { return spin()->text().mid(Start, End - Start); }
    int characterCount() const override { return static_cast<int>(spin()->text().size()); }
    QRect characterRect(int Offset) const override
    {
        // Measured from the left of the edit's text area (the line is short and not scrolled).
        const QFontMetrics m(spin()->font());
        const QString t = spin()->text();
        if (Offset < 0 || Offset >= t.size())
            return {};
        const QRect area = spin()->EditRect();
        const QRect r(area.left() + m.horizontalAdvance(t.left(Offset)), area.top(),
                      m.horizontalAdvance(t.at(Offset)), area.height());
        return QRect(spin()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& Point) const override
    {
        return spin()->cursorPositionAt(spin()->mapFromGlobal(Point));
    }
    void scrollToSubstring(int, int End) override { spin()->setCursorPosition(End); }
    QString attributes(int Offset, int* Start, int* End) const override
    {
        *Start = Offset;
        *End = Offset;
        return {};
    }
};

}  // namespace

QAccessibleInterface* SpinEditAccessible(QObject* Object)
{
    auto* spin = dynamic_cast<TAsgSpinEdit*>(Object);
    return spin ? new SpinEditInterface(spin) : nullptr;
}

}  // namespace grid
