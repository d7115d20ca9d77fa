// Control kinds: one adapter per kind holds everything that differs between kinds — which widgets it
// takes, how its value is read and written, its own attributes, the events it raises and how a person (the
// harness) operates it. The panel loader picks the adapter once per control; the operations ask it.
// Adding a kind means writing one adapter and listing it in kinds.cpp.
#pragma once

#include <QPalette>
#include <string>
#include <string_view>

#include "registry.h"
#include "value.h"

namespace platform_detail {

// An adapter's answer for an attribute that is not its own: the common handling applies.
inline constexpr int kNotMine = 1;

class ControlKind {
  public:
    virtual ~ControlKind() = default;

    // ---- what the kind is --------------------------------------------------------------------------------
    // The style and value type of a widget when this kind takes it, else CTRL_NONE.
    virtual CtrlStyle Classify(const QWidget* w, DataType& dataType) const = 0;
    // The widget for a class name in a panel file when the kind makes that class itself, else nullptr.
    virtual QWidget* MakeForFile(const QString& className, QWidget* parent) const;
    // A new widget of `style` for NewCtrl, else nullptr when the kind does not make that style.
    virtual QWidget* Make(CtrlStyle style, const QString& label, QWidget* parent) const;
    // After a control made by Make is registered.
    virtual void MadeAtRunTime(Control& c) const;
    // Readies a registered widget (items, ranges, cell types); before its colours and mode are set.
    virtual void Prepare(Control& c) const;

    // An indicator whatever its mode (text messages, pictures, decorations, bars).
    virtual bool AlwaysIndicator() const { return false; }
    // Has a read-only state of its own: as an indicator it still takes the focus and reports clicks but
    // refuses edits. Other kinds ignore all input while indicators.
    virtual bool HasReadOnlyMode() const { return false; }
    // The panel file made it read-only.
    virtual bool StartsReadOnly(const Control& c) const;
    // Shows c.indicator on the widget (read-only editing, edit triggers).
    virtual void ApplyMode(Control& c) const;
    // Text attributes (fonts, text colours) apply.
    virtual bool HasText() const { return true; }

    // ---- value -------------------------------------------------------------------------------------------
    virtual int Read(const Control& c, Value& v) const;
    // Program writes raise no events.
    virtual int Write(Control& c, const Value& v) const;
    // The value as text (GetCtrlVal into a string).
    virtual int ReadText(const Control& c, std::string& text) const;

    // ---- attributes --------------------------------------------------------------------------------------
    // Attributes only this kind has, or handles its own way; kNotMine for the rest.
    virtual int GetAttr(const Control& c, CtrlAttr attr, int& v) const;
    virtual int SetAttr(Control& c, CtrlAttr attr, int v) const;
    // ATTR_MIN_VALUE / ATTR_MAX_VALUE; UIEInvalidAttribute for kinds without limits.
    virtual int GetLimit(const Control& c, bool max, double& v) const;
    virtual int SetLimit(Control& c, bool max, double v) const;
    // ATTR_LABEL_TEXT: kinds that show a label themselves keep it on the widget.
    virtual QString Label(const Control& c) const { return c.label; }
    virtual void ShowLabel(Control& c) const;
    // Where an unset colour attribute reads from.
    virtual QPalette::ColorRole ColorRole(CtrlAttr attr) const;
    // Draws the colours recorded in c.
    virtual void ShowColors(Control& c) const;
    // Puts the value kept for the screen's pace on the widget (ShowAtScreenPace).
    virtual void ShowPaced(Control&) const {}

    // ---- events ------------------------------------------------------------------------------------------
    // Connects the widget's own signals to the events the kind raises.
    virtual void Hook(Control& c) const;

    // ---- a person at the screen (the harness) ------------------------------------------------------------
    // Where a click lands, in widget coordinates.
    virtual QPoint ClickPoint(const Control& c) const;
    // Puts a value in as typing or choosing would, then raises value changed and commit.
    virtual int PersonSets(Control& c, const Value& v) const;
    // Commits the current value (Enter in a field, a button press).
    virtual int PersonCommits(Control& c) const;
    // Picks an item from an opened list.
    virtual int PersonChoosesItem(Control& c, int index) const;
    // Edits a table cell in its editor and commits it.
    virtual int PersonEditsCell(Control& c, Point cell, const QString& text) const;
};

// The kind for a widget, its style and value type; a kind of its own (CTRL_NONE) for unknown classes.
const ControlKind& KindOf(const QWidget* w, CtrlStyle& style, DataType& dataType);
// A new widget of `style` from the kind that makes it (NewCtrl); nullptr when none does.
QWidget* MakeControlWidget(CtrlStyle style, const QString& label, QWidget* parent);

// The adapters (kinds/*.cpp, lists.cpp, tables.cpp).
const ControlKind& NumericKind();
const ControlKind& RingKind();
const ControlKind& TextFieldKind();
const ControlKind& TextMessageKind();
const ControlKind& PictureKind();
const ControlKind& TextBoxKind();
const ControlKind& CommandButtonKind();
const ControlKind& ToggleKind();
const ControlKind& SliderKind();
const ControlKind& NumericBarKind();
const ControlKind& TableKind();
const ControlKind& StripChartKind();
const ControlKind& GraphKind();
const ControlKind& DecorationKind();

// Helpers the adapters share (appearance.cpp, events.cpp).
// Puts the colours that are set on the palette: text in the text roles, background in `bgRole`.
void ShowPaletteColors(QWidget* w, std::optional<int> text, std::optional<int> background,
                       QPalette::ColorRole bgRole);
// Buttons and rings draw their face from a style sheet, the only way that colours them in every style; a
// button's face darkens while pressed.
void ShowFaceStyle(QWidget* w, std::optional<int> face, std::optional<int> text, bool pressedShade);
QString FocusFrameStyle(const QWidget* w, std::optional<int> face);
// A text message made at run time grows with its text.
void SizeToText(const Control& c);

}  // namespace platform_detail
